// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Draws the window's artwork into the folder given on the command line. The PNG
// files it writes are committed, so building the program never needs this tool;
// run it (target `assets`) after changing a picture here.
//
// The window is colour-keyed: every pixel that is exactly lime (or magenta, for
// the download glyph) is left undrawn. An antialiased edge that faded into the
// key colour would leave a green fringe, so plates and glyphs are drawn over a
// copy of the background that lies beneath them in the finished window, and a
// pixel becomes the key only where nothing at all was drawn.
#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QString>
#include <QTextStream>
#include <QVector>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

constexpr QRgb kLime = qRgb(0, 255, 0);
constexpr QRgb kMagenta = qRgb(255, 0, 255);

constexpr QSize kBackgroundSize{602, 356};
// The visible face: columns 5..595 and rows 3..350 of the background.
const QRectF kFace{5, 3, 591, 348};
constexpr double kFaceRadius = 40;

// Where the keyed pictures land over the background. A flat button centres its
// glyph, so a glyph sits at the button's corner plus half the spare room.
constexpr QPoint kHostPlateAt{200, 312};
constexpr QPoint kPortPlateAt{424, 312};
constexpr QPoint kCloseGlyphAt{544 + (20 - 15) / 2, 8 + (20 - 13) / 2};
constexpr QPoint kHideGlyphAt{520 + (20 - 15) / 2, 8 + (20 - 13) / 2};
constexpr QPoint kOpenGlyphAt{45 + (89 - 70) / 2, 308 + (19 - 16) / 2};
constexpr QPoint kDownloadGlyphAt{45 + (89 - 70) / 2, 328 + (19 - 17) / 2};

// A small deterministic generator, so that every run draws the same pictures.
class Dice {
 public:
  explicit Dice(std::uint32_t seed) : state_(seed) {}
  double Uniform(double low, double high) {
    state_ = state_ * 1664525u + 1013904223u;
    return low + (high - low) * (state_ >> 8) / double(1u << 24);
  }

 private:
  std::uint32_t state_;
};

bool InsideFace(double x, double y) {
  if (!kFace.contains(x, y)) return false;
  const double dx = std::max({kFace.left() + kFaceRadius - x, 0.0, x - (kFace.right() - kFaceRadius)});
  const double dy = std::max({kFace.top() + kFaceRadius - y, 0.0, y - (kFace.bottom() - kFaceRadius)});
  return dx * dx + dy * dy <= kFaceRadius * kFaceRadius;
}

// A drawn pixel that happened to be the key would punch a hole in the window.
QRgb AvoidKey(QRgb pixel, QRgb key) {
  if ((pixel & 0xFFFFFF) != (key & 0xFFFFFF)) return pixel;
  return qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel) ^ 1);
}

// ---- the night sky ------------------------------------------------------------

void PaintSky(QPainter& p) {
  QLinearGradient sky(0, 0, 0, 240);
  sky.setColorAt(0.0, QColor(4, 8, 30));
  sky.setColorAt(0.6, QColor(14, 26, 72));
  sky.setColorAt(1.0, QColor(34, 52, 112));
  p.fillRect(QRect(QPoint(0, 0), kBackgroundSize), sky);

  Dice dice(7300);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 170; ++i) {
    const QPointF at(dice.Uniform(0, 602), dice.Uniform(0, 210));
    const double shine = dice.Uniform(0.25, 1.0);
    if (shine > 0.9) {
      QRadialGradient glow(at, 3.5);
      glow.setColorAt(0, QColor(255, 255, 240, 230));
      glow.setColorAt(1, QColor(200, 210, 255, 0));
      p.setBrush(glow);
      p.drawEllipse(at, 3.5, 3.5);
    } else {
      p.setBrush(QColor(220, 228, 255, int(255 * shine)));
      p.drawEllipse(at, 0.7, 0.7);
    }
  }
}

// ---- clouds -------------------------------------------------------------------

struct CloudRow {
  double baseline;  // centre line of the puffs
  double minRadius, maxRadius;
  QColor lit, shade;
};

void PaintClouds(QPainter& p) {
  // Rows further down lie deeper in the bank and in its shadow, so that the
  // white lists, plates and captions stand out against them.
  const CloudRow rows[] = {
      {182, 12, 22, QColor(170, 184, 216), QColor(52, 66, 112)},
      {198, 14, 26, QColor(236, 240, 252), QColor(96, 114, 162)},
      {222, 16, 30, QColor(255, 255, 255), QColor(122, 140, 186)},
      {250, 18, 32, QColor(236, 242, 252), QColor(104, 122, 170)},
      {282, 18, 34, QColor(176, 192, 226), QColor(70, 88, 138)},
      {314, 20, 36, QColor(132, 150, 194), QColor(50, 66, 112)},
      {346, 22, 38, QColor(98, 116, 164), QColor(36, 50, 92)},
  };
  Dice dice(1179);
  p.setPen(Qt::NoPen);
  for (const CloudRow& row : rows) {
    double x = dice.Uniform(-30, 0);
    while (x < 640) {
      const double r = dice.Uniform(row.minRadius, row.maxRadius);
      const double wide = r * dice.Uniform(1.3, 1.8);
      const QPointF centre(x, row.baseline + dice.Uniform(-7, 7));
      QRadialGradient puff(centre, wide, centre + QPointF(-wide * 0.2, -r * 0.7));
      puff.setColorAt(0.0, row.lit);
      puff.setColorAt(0.5, row.lit.darker(106));
      puff.setColorAt(1.0, row.shade);
      p.setBrush(puff);
      p.drawEllipse(centre, wide, r);
      // Small billows on top of the big puff.
      for (int k = 0; k < 2; ++k) {
        const double br = r * dice.Uniform(0.35, 0.55);
        const QPointF at =
            centre + QPointF(dice.Uniform(-wide * 0.6, wide * 0.6), -r * dice.Uniform(0.45, 0.7));
        QRadialGradient billow(at, br * 1.3, at + QPointF(-br * 0.3, -br * 0.5));
        billow.setColorAt(0.0, row.lit.lighter(104));
        billow.setColorAt(1.0, row.lit.darker(118));
        p.setBrush(billow);
        p.drawEllipse(at, br * 1.3, br);
      }
      x += wide * dice.Uniform(0.8, 1.2);
    }
  }
  QLinearGradient bank(0, 330, 0, 356);
  bank.setColorAt(0, QColor(40, 54, 98, 0));
  bank.setColorAt(1, QColor(40, 54, 98, 255));
  p.fillRect(QRectF(0, 330, 602, 26), bank);
}

// ---- the riveted metal letters ------------------------------------------------

QPainterPath LetterI() {
  QPainterPath stem, slabs;
  stem.addRect(22, 0, 56, 160);
  slabs.addRect(0, 0, 100, 34);
  slabs.addRect(0, 126, 100, 34);
  return stem.united(slabs).simplified();
}

QPainterPath LetterR() {
  QPainterPath stem, bowl, hole, leg;
  stem.addRect(0, 0, 56, 160);
  bowl.addRoundedRect(0, 0, 188, 98, 46, 46);
  bowl.addRect(0, 0, 100, 98);
  bowl.setFillRule(Qt::WindingFill);
  hole.addRoundedRect(56, 32, 84, 36, 17, 17);
  leg.addPolygon(QPolygonF({QPointF(74, 88), QPointF(134, 88), QPointF(200, 160), QPointF(136, 160)}));
  leg.closeSubpath();
  return stem.united(bowl.simplified()).subtracted(hole).united(leg).simplified();
}

QPainterPath LetterC() {
  QPainterPath outer, inner, mouth;
  outer.addRoundedRect(0, 0, 196, 160, 62, 62);
  inner.addRoundedRect(56, 44, 200, 72, 26, 26);
  return outer.subtracted(inner).simplified();
}

void PaintRivets(QPainter& p, const QPainterPath& letter) {
  const double length = letter.length();
  const int count = int(length / 30);
  std::vector<QPointF> placed;
  for (int i = 0; i < count; ++i) {
    const double t = letter.percentAtLength(length * (i + 0.5) / count);
    const QPointF on = letter.pointAtPercent(t);
    const double angle = qDegreesToRadians(letter.angleAtPercent(t));
    const QPointF normal(-std::sin(angle), -std::cos(angle));
    for (double side : {1.0, -1.0}) {
      const QPointF at = on + normal * (12.0 * side);
      if (!letter.contains(QRectF(at - QPointF(7, 7), QSizeF(14, 14)))) continue;
      if (std::any_of(placed.begin(), placed.end(),
                      [&](QPointF q) { return std::hypot(q.x() - at.x(), q.y() - at.y()) < 20; }))
        continue;
      placed.push_back(at);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0, 0, 0, 90));
      p.drawEllipse(at + QPointF(1.2, 1.4), 3.6, 3.6);
      QRadialGradient head(at, 3.6, at + QPointF(-1.3, -1.3));
      head.setColorAt(0, QColor(255, 255, 255));
      head.setColorAt(0.5, QColor(176, 184, 194));
      head.setColorAt(1, QColor(70, 78, 90));
      p.setBrush(head);
      p.drawEllipse(at, 3.4, 3.4);
    }
  }
}

void PaintMetalLetter(QPainter& p, const QPainterPath& letter) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 10, 110));
  p.drawPath(letter.translated(7, 7));

  const QRectF box = letter.boundingRect();
  QLinearGradient steel(box.topLeft(), box.bottomLeft());
  steel.setColorAt(0.00, QColor(150, 160, 172));
  steel.setColorAt(0.30, QColor(214, 220, 228));
  steel.setColorAt(0.48, QColor(132, 142, 154));
  steel.setColorAt(0.52, QColor(96, 106, 118));
  steel.setColorAt(0.70, QColor(170, 178, 188));
  steel.setColorAt(1.00, QColor(88, 96, 108));
  p.setBrush(steel);
  p.drawPath(letter);

  // Brushed grain, then a bevel: light along the inner top-left edges, dark
  // along the inner bottom-right ones.
  p.save();
  p.setClipPath(letter);
  Dice dice(uint32_t(box.left()));
  for (double y = box.top(); y < box.bottom(); y += 2) {
    p.setPen(QPen(QColor(255, 255, 255, int(dice.Uniform(0, 26))), 1));
    p.drawLine(QPointF(box.left(), y), QPointF(box.right(), y + dice.Uniform(-0.5, 0.5)));
  }
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 170), 5));
  p.drawPath(letter.translated(3, 3));
  p.setPen(QPen(QColor(20, 24, 34, 170), 5));
  p.drawPath(letter.translated(-3, -3));
  p.restore();

  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(22, 26, 36), 2));
  p.drawPath(letter);
  PaintRivets(p, letter);
}

void PaintMetalLetters(QPainter& p) {
  const double top = 10;
  PaintMetalLetter(p, LetterI().translated(38, top));
  PaintMetalLetter(p, LetterR().translated(160, top));
  PaintMetalLetter(p, LetterC().translated(380, top));
}

// ---- the gold lettering -------------------------------------------------------

using Stroke = std::vector<QPointF>;

// The strokes of each capital, in a box one unit wide and one unit high.
std::vector<Stroke> Capital(QChar c) {
  std::vector<Stroke> s;
  auto arc = [](double cx, double cy, double rx, double ry, double from, double to) {
    Stroke out;
    for (int i = 0; i <= 16; ++i) {
      const double a = qDegreesToRadians(from + (to - from) * i / 16);
      out.emplace_back(cx + rx * std::cos(a), cy + ry * std::sin(a));
    }
    return out;
  };
  switch (c.unicode()) {
    case 'Q':
      s.push_back(arc(0.5, 0.48, 0.46, 0.5, 250, 95));
      s.push_back(arc(0.5, 0.48, 0.46, 0.5, -110, 105));
      s.push_back({{0.5, 0.68}, {0.8, 0.9}, {1.1, 1.12}});
      break;
    case 'U':
      s.push_back(
          {{0.08, -0.08}, {0.1, 0.55}, {0.2, 0.88}, {0.5, 1.0}, {0.8, 0.88}, {0.9, 0.55}, {0.92, -0.08}});
      break;
    case 'I':
      s.push_back({{0.5, -0.12}, {0.48, 0.5}, {0.5, 1.12}});
      s.push_back({{0.12, 0.0}, {0.88, -0.02}});
      s.push_back({{0.12, 1.0}, {0.88, 1.02}});
      break;
    case 'L':
      s.push_back({{0.18, -0.12}, {0.16, 0.5}, {0.18, 1.04}});
      s.push_back({{0.06, 0.98}, {0.5, 0.96}, {1.02, 1.0}});
      break;
    case 'M':
      s.push_back({{0.04, 1.1}, {0.08, 0.5}, {0.12, -0.06}});
      s.push_back({{0.1, -0.04}, {0.3, 0.35}, {0.5, 0.74}});
      s.push_back({{0.5, 0.74}, {0.7, 0.35}, {0.9, -0.04}});
      s.push_back({{0.88, -0.06}, {0.92, 0.5}, {0.96, 1.1}});
      break;
    case 'E':
      s.push_back({{0.16, -0.1}, {0.14, 0.5}, {0.16, 1.1}});
      s.push_back({{0.06, 0.0}, {0.5, -0.02}, {0.98, -0.06}});
      s.push_back({{0.14, 0.5}, {0.45, 0.49}, {0.78, 0.47}});
      s.push_back({{0.06, 1.0}, {0.5, 1.0}, {1.0, 1.06}});
      break;
    case 'R':
      s.push_back({{0.16, -0.1}, {0.14, 0.5}, {0.16, 1.12}});
      s.push_back({{0.1, 0.0}, {0.6, -0.02}, {0.84, 0.1}, {0.86, 0.34}, {0.62, 0.48}, {0.16, 0.5}});
      s.push_back({{0.42, 0.5}, {0.7, 0.76}, {1.04, 1.12}});
      break;
  }
  return s;
}

// Catmull-Rom through the stroke's points, for a hand-drawn swing.
Stroke Smooth(const Stroke& in) {
  if (in.size() < 3) return in;
  Stroke out;
  for (size_t i = 0; i + 1 < in.size(); ++i) {
    const QPointF p0 = in[i == 0 ? 0 : i - 1], p1 = in[i], p2 = in[i + 1];
    const QPointF p3 = in[std::min(i + 2, in.size() - 1)];
    for (int k = 0; k < 8; ++k) {
      const double t = k / 8.0, t2 = t * t, t3 = t2 * t;
      out.push_back(0.5 * (2 * p1 + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 +
                           (-p0 + 3 * p1 - 3 * p2 + p3) * t3));
    }
  }
  out.push_back(in.back());
  return out;
}

// A brush stroke that swells in the middle and ends in sharp points.
QPainterPath SpikyStroke(const Stroke& line, double width) {
  std::vector<double> along{0};
  for (size_t i = 1; i < line.size(); ++i) {
    const QPointF d = line[i] - line[i - 1];
    along.push_back(along.back() + std::hypot(d.x(), d.y()));
  }
  QPolygonF left, right;
  for (size_t i = 0; i < line.size(); ++i) {
    const QPointF d = line[std::min(i + 1, line.size() - 1)] - line[i == 0 ? 0 : i - 1];
    const double n = std::max(std::hypot(d.x(), d.y()), 1e-9);
    const QPointF normal(-d.y() / n, d.x() / n);
    const double s = along[i] / along.back();
    const double half = 0.5 * width * std::pow(std::sin(M_PI * s), 0.7);
    left << line[i] + normal * half;
    right.prepend(line[i] - normal * half);
  }
  QPainterPath path;
  path.addPolygon(left + right);
  path.closeSubpath();
  return path;
}

QPainterPath GoldName(const QString& name, QRectF box) {
  const double advance = box.width() / name.size();
  const double w = advance * 0.8, h = box.height();
  Dice dice(1003);
  QPainterPath all;
  all.setFillRule(Qt::WindingFill);
  for (int i = 0; i < name.size(); ++i) {
    const QPointF origin(box.left() + i * advance + advance * 0.1, box.top());
    const double slant = dice.Uniform(-0.06, 0.06);
    for (const Stroke& unit : Capital(name[i])) {
      Stroke placed;
      for (QPointF u : unit) {
        placed.emplace_back(origin.x() + (u.x() + slant * (0.5 - u.y())) * w + dice.Uniform(-0.8, 0.8),
                            origin.y() + u.y() * h + dice.Uniform(-0.8, 0.8));
      }
      all.addPath(SpikyStroke(Smooth(placed), h * 0.16));
    }
  }
  return all;
}

void PaintGoldName(QPainter& p) {
  const QPainterPath name = GoldName("QUILLMERE", QRectF(62, 64, 478, 62));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(10, 8, 24, 150), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(name.translated(2, 3));
  p.setPen(QPen(QColor(70, 44, 10), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(name);
  QLinearGradient gold(0, 60, 0, 130);
  gold.setColorAt(0.0, QColor(255, 246, 196));
  gold.setColorAt(0.45, QColor(240, 214, 130));
  gold.setColorAt(0.55, QColor(214, 178, 86));
  gold.setColorAt(1.0, QColor(250, 228, 158));
  p.setPen(Qt::NoPen);
  p.setBrush(gold);
  p.drawPath(name);
}

// ---- the pictures -------------------------------------------------------------

// Device pixels of a logical size or point at a scale: the window's 1.5x
// picture of a 15-pixel glyph is 23 pixels, and it starts where Qt puts a
// picture drawn at that logical point (rounded, a half up).
QSize DeviceSize(QSize logical, double scale) {
  return QSize(qCeil(logical.width() * scale - 1e-9), qCeil(logical.height() * scale - 1e-9));
}
QPoint DevicePoint(QPoint logical, double scale) {
  return QPoint(qFloor(logical.x() * scale + 0.5), qFloor(logical.y() * scale + 0.5));
}

// Everything is painted in the window's logical pixels; `scale` says how many
// device pixels each of them has.
QImage Scene(double scale) {
  QImage scene(DeviceSize(kBackgroundSize, scale), QImage::Format_ARGB32_Premultiplied);
  QPainter p(&scene);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(scale, scale);
  PaintSky(p);
  PaintMetalLetters(p);
  PaintGoldName(p);
  PaintClouds(p);
  // A thin rim inside the rounded edge; its outer half falls into the margin.
  QPainterPath face;
  face.addRoundedRect(kFace, kFaceRadius, kFaceRadius);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(150, 170, 220, 200), 3));
  p.drawPath(face);
  p.setPen(QPen(QColor(8, 12, 36), 1.2));
  p.drawPath(face.translated(0, 0));
  return scene;
}

QImage Background(const QImage& scene, double scale) {
  QImage out = scene.convertToFormat(QImage::Format_RGB888);
  for (int y = 0; y < out.height(); ++y) {
    for (int x = 0; x < out.width(); ++x) {
      const QRgb pixel = out.pixel(x, y);
      const bool inside = InsideFace((x + 0.5) / scale, (y + 0.5) / scale);
      out.setPixel(x, y, inside ? AvoidKey(pixel, kLime) : kLime);
    }
  }
  return out;
}

// Draws `paint` over the part of the scene at `at`; untouched pixels become the key.
template <typename Paint>
QImage KeyedPicture(const QImage& scene, double scale, QPoint logicalAt, QSize logicalSize, QRgb key,
                    Paint paint) {
  const QPoint at = DevicePoint(logicalAt, scale);
  const QSize size = DeviceSize(logicalSize, scale);
  QImage layer(size, QImage::Format_ARGB32_Premultiplied);
  layer.fill(Qt::transparent);
  {
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // The picture's own corner lies where its logical corner does.
    p.translate(logicalAt.x() * scale - at.x(), logicalAt.y() * scale - at.y());
    p.scale(scale, scale);
    paint(p);
  }
  QImage under = scene.copy(QRect(at, size)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  {
    QPainter p(&under);
    p.drawImage(0, 0, layer);
  }
  QImage out(size, QImage::Format_RGB888);
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x) {
      const bool drawn = qAlpha(layer.pixel(x, y)) != 0;
      out.setPixel(x, y, drawn ? AvoidKey(AvoidKey(under.pixel(x, y), kLime), key) : key);
    }
  }
  return out;
}

QImage Plate(const QImage& scene, double scale, QPoint at, QSize size) {
  return KeyedPicture(scene, scale, at, size, kLime, [size](QPainter& p) {
    const QRectF bar(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    const double r = bar.height() / 2;
    p.setPen(QPen(QColor(40, 52, 96), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(bar, r, r);
  });
}

// White with a dark rim and shadow, so that it reads on bright metal and on
// dark clouds alike.
void WhiteWithShadow(QPainter& p, const QPainterPath& shape, double shadow) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(10, 14, 30, 200));
  p.drawPath(shape.translated(shadow, shadow));
  p.setPen(QPen(QColor(16, 20, 40, 170), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(shape);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(shape);
}

QPainterPath ThickLine(QPointF a, QPointF b, double width) {
  QPainterPath line;
  line.moveTo(a);
  line.lineTo(b);
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setCapStyle(Qt::FlatCap);
  return stroker.createStroke(line);
}

QImage CloseGlyph(const QImage& scene, double scale) {
  return KeyedPicture(scene, scale, kCloseGlyphAt, QSize(15, 13), kLime, [](QPainter& p) {
    QPainterPath cross = ThickLine({3, 1.5}, {11, 9.5}, 2.2).united(ThickLine({11, 1.5}, {3, 9.5}, 2.2));
    WhiteWithShadow(p, cross, 1);
  });
}

QImage HideGlyph(const QImage& scene, double scale) {
  return KeyedPicture(scene, scale, kHideGlyphAt, QSize(15, 13), kLime, [](QPainter& p) {
    QPainterPath bar;
    bar.addRect(QRectF(3, 8, 8, 2));
    WhiteWithShadow(p, bar, 1);
  });
}

QFont CaptionFont(int pixels, bool bold) {
  QFont font("DejaVu Sans");
  font.setPixelSize(pixels);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

QPainterPath Caption(const QString& text, QPointF baseline, const QFont& font) {
  QPainterPath path;
  path.addText(baseline, font, text);
  return path;
}

QImage OpenGlyph(const QImage& scene, double scale) {
  return KeyedPicture(scene, scale, kOpenGlyphAt, QSize(70, 16), kLime, [](QPainter& p) {
    // A small yellow folder with its tab.
    QPainterPath back, front;
    back.moveTo(1.5, 3.5);
    back.lineTo(6, 3.5);
    back.lineTo(7.5, 5);
    back.lineTo(15.5, 5);
    back.lineTo(15.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    front.moveTo(3.5, 7.5);
    front.lineTo(18, 7.5);
    front.lineTo(15.5, 13.5);
    front.lineTo(1.5, 13.5);
    front.closeSubpath();
    p.setPen(QPen(QColor(96, 64, 0), 1));
    p.setBrush(QColor(214, 166, 24));
    p.drawPath(back);
    p.setBrush(QColor(255, 214, 64));
    p.drawPath(front);
    WhiteWithShadow(p, Caption("Open", QPointF(24, 13), CaptionFont(13, true)), 1);
  });
}

QImage DownloadGlyph(const QImage& scene, double scale) {
  return KeyedPicture(scene, scale, kDownloadGlyphAt, QSize(70, 17), kMagenta, [](QPainter& p) {
    // Two small screens joined by a cable.
    p.setPen(QPen(QColor(220, 226, 240), 1));
    p.drawLine(QPointF(5.5, 12), QPointF(5.5, 14.5));
    p.drawLine(QPointF(5.5, 14.5), QPointF(12.5, 14.5));
    p.drawLine(QPointF(12.5, 14.5), QPointF(12.5, 9));
    for (QPointF at : {QPointF(1.5, 2.5), QPointF(8.5, 5.5)}) {
      p.setPen(QPen(QColor(20, 24, 40), 1));
      p.setBrush(QColor(190, 198, 214));
      p.drawRect(QRectF(at, QSizeF(8, 6)));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(40, 110, 220));
      p.drawRect(QRectF(at + QPointF(1.5, 1.5), QSizeF(5, 3)));
    }
    WhiteWithShadow(p, Caption("PROXIES", QPointF(20, 13), CaptionFont(10, true)), 1);
  });
}

// The 16 colours of the classic palette; the icon uses them alone.
const QRgb kSixteen[] = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};

// The flask, drawn on a 32-pixel grid. At 32 pixels it is the crisp
// 16-colour icon; at other sizes the same drawing, smoothed.
QImage Icon(int pixels = 32) {
  QImage icon(pixels, pixels, QImage::Format_ARGB32);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing, pixels != 32);
  p.scale(pixels / 32.0, pixels / 32.0);
  const QColor black(kSixteen[0]), grey(kSixteen[8]), silver(kSixteen[7]), white(kSixteen[15]);
  const QColor blue(kSixteen[12]), navy(kSixteen[4]), cyan(kSixteen[14]);
  // The neck, its rim and the glass ball.
  p.setPen(black);
  p.setBrush(silver);
  p.drawRect(12, 3, 7, 10);
  p.setBrush(grey);
  p.drawRect(10, 1, 11, 3);
  p.setBrush(white);
  p.drawEllipse(4, 10, 23, 21);
  // The liquid fills the lower part of the ball.
  QPainterPath ball;
  ball.addEllipse(5, 11, 22, 20);
  p.save();
  p.setClipPath(ball);
  p.setPen(Qt::NoPen);
  p.setBrush(blue);
  p.drawRect(4, 18, 24, 14);
  p.setBrush(navy);
  p.drawRect(4, 27, 24, 5);
  p.setBrush(cyan);
  p.drawEllipse(8, 20, 5, 3);
  p.drawRect(9, 24, 2, 2);
  p.restore();
  p.setPen(grey);
  p.drawLine(14, 5, 14, 11);
  p.setPen(black);
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(4, 10, 23, 21);
  p.setPen(silver);
  p.drawLine(20, 13, 22, 15);
  return icon;
}

// Palette pictures: fewer than 256 colours are reached by dropping low bits of
// every colour but the key, which must stay exact.
QImage Indexed(const QImage& rgb, QRgb key, int maxColours) {
  for (int drop = 0; drop < 8; ++drop) {
    const int mask = 0xFF & ~((1 << drop) - 1);
    QHash<QRgb, int> index;
    QVector<QRgb> table{key | 0xFF000000u};
    index.insert(key | 0xFF000000u, 0);
    QImage out(rgb.size(), QImage::Format_Indexed8);
    out.setColorCount(maxColours);
    bool fits = true;
    for (int y = 0; y < rgb.height() && fits; ++y) {
      for (int x = 0; x < rgb.width(); ++x) {
        QRgb c = rgb.pixel(x, y) | 0xFF000000u;
        if (c != (key | 0xFF000000u))
          c = AvoidKey(qRgb(qRed(c) & mask, qGreen(c) & mask, qBlue(c) & mask), key);
        auto found = index.find(c);
        if (found == index.end()) {
          if (table.size() == maxColours) {
            fits = false;
            break;
          }
          found = index.insert(c, table.size());
          table.push_back(c);
        }
        out.setPixel(x, y, *found);
      }
    }
    if (fits) {
      out.setColorTable(table);
      return out;
    }
  }
  std::abort();
}

QImage IndexedIcon(const QImage& argb) {
  QVector<QRgb> table{qRgba(0, 0, 0, 0)};
  for (QRgb c : kSixteen) table.push_back(c);
  QImage out(argb.size(), QImage::Format_Indexed8);
  out.setColorTable(table);
  for (int y = 0; y < argb.height(); ++y) {
    for (int x = 0; x < argb.width(); ++x) {
      const QRgb c = argb.pixel(x, y);
      int best = 0;
      if (qAlpha(c) >= 128) {
        int bestDistance = 1 << 30;
        for (int i = 1; i < table.size(); ++i) {
          const int dr = qRed(c) - qRed(table[i]), dg = qGreen(c) - qGreen(table[i]),
                    db = qBlue(c) - qBlue(table[i]);
          if (dr * dr + dg * dg + db * db < bestDistance) {
            bestDistance = dr * dr + dg * dg + db * db;
            best = i;
          }
        }
      }
      out.setPixel(x, y, best);
    }
  }
  return out;
}

bool Save(const QImage& image, const QString& folder, const QString& name) {
  const QString path = folder + "/" + name;
  if (image.save(path, "PNG", 9)) return true;
  QTextStream(stderr) << "cannot write " << path << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    QTextStream(stderr) << "usage: generate_assets <folder>\n";
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  // The window's pictures for each screen scale it has its own for; Qt finds
  // the others by their "@<scale>x" names.
  for (const auto& [scale, suffix] : {std::pair{1.0, ""}, std::pair{1.5, "@1.5x"}, std::pair{2.0, "@2x"}}) {
    const QString tail = QString::fromLatin1(suffix) + ".png";
    const QImage scene = Scene(scale);
    ok &= Save(Background(scene, scale), folder, "background" + tail);
    ok &= Save(Plate(scene, scale, kHostPlateAt, QSize(164, 30)), folder, "plate-host" + tail);
    ok &= Save(Plate(scene, scale, kPortPlateAt, QSize(84, 30)), folder, "plate-port" + tail);
    ok &= Save(CloseGlyph(scene, scale), folder, "glyph-close" + tail);
    ok &= Save(HideGlyph(scene, scale), folder, "glyph-hide" + tail);
    ok &= Save(Indexed(OpenGlyph(scene, scale), kLime, 256), folder, "glyph-open" + tail);
    ok &= Save(Indexed(DownloadGlyph(scene, scale), kMagenta, 256), folder, "glyph-download" + tail);
  }
  ok &= Save(IndexedIcon(Icon()), folder, "irc-quillmere.png");
  // The desktop's icon theme takes every size it may show.
  QDir().mkpath(folder + "/icons");
  for (int pixels : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QImage icon = pixels == 32 ? IndexedIcon(Icon()) : Icon(pixels);
    ok &= Save(icon, folder + "/icons", QString("irc-quillmere-%1.png").arg(pixels));
  }
  return ok ? 0 : 1;
}
