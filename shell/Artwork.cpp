// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/Artwork.h"

#include <QPixmap>
#include <QString>

#include <iterator>
#include <utility>

// The pictures are compiled into a static library, whose resources register
// only when asked to; the macro cannot stand inside a namespace.
void LoadArtwork() {
  Q_INIT_RESOURCE(quillmere);
}

namespace {

// The scales the artwork is drawn for, smallest first.
constexpr std::pair<double, const char*> kArtworkScales[] = {{1.0, ""}, {1.5, "@1.5x"}, {2.0, "@2x"}};

}  // namespace

QImage Artwork(const char* name, double ratio) {
  static const bool loaded = (LoadArtwork(), true);
  (void)loaded;
  auto chosen = std::end(kArtworkScales) - 1;
  for (auto scale = std::begin(kArtworkScales); scale != std::end(kArtworkScales); ++scale) {
    if (scale->first >= ratio - 0.01) {
      chosen = scale;
      break;
    }
  }
  QString file = QLatin1String(name);
  file.insert(file.lastIndexOf(QLatin1Char('.')), QLatin1String(chosen->second));
  QImage picture(QStringLiteral(":/artwork/") + file);
  picture.setDevicePixelRatio(chosen->first);
  return picture;
}

QIcon ApplicationIcon() {
  return QIcon(QPixmap::fromImage(Artwork("irc-quillmere.png")));
}

