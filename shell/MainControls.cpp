// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The window's controls, one row each: the window makes, names, describes,
// orders and wires every control from its row alone. Moving or adding a
// control is an edit of its row.
#include <QLabel>
#include <QPalette>

#include <algorithm>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "shell/Announcer.h"
#include "shell/FlatButton.h"
#include "shell/LimitedEdit.h"
#include "shell/Main.h"
#include "shell/OutlinedLabel.h"
#include "shell/Picture.h"
#include "shell/ProxyListBox.h"
#include "shell/ProxyListModel.h"

namespace {

struct ControlRow {
  // The window's member that holds the control; its type is the control's kind.
  std::variant<Picture* TForm1::*, FlatButton* TForm1::*, QLabel* TForm1::*, LimitedEdit* TForm1::*,
               ProxyListBox* TForm1::*>
      member;
  const char* name;
  // A label takes only the top-left corner, and the size of its caption.
  QRect place;
  // A picture's or a glyph button's artwork, else a button's or label's caption.
  const char* art = nullptr;
  const char* caption = nullptr;
  // A plate laid over the background: its key colour is left undrawn.
  bool keyed = false;
  int fontPixels = 0;
  bool bold = false;
  // The caption's or the entries' colour; 0 leaves the palette's own.
  QRgb colour = 0;
  int typingLimit = 0;
  ProxyListId list = ProxyListId::All;  // what a list shows
  FieldId field = FieldId::Host;        // what a field edits
  const char* buddy = nullptr;          // the field a label names
  // What a screen reader says of it, whatever the picture shows.
  const char* said = nullptr;
  const char* description = nullptr;
  // Its place in the Tab order, 0 where Tab never stops.
  int tab = 0;
  void (TForm1::*handler)() = nullptr;
};

// In painting order: each later control lies over the earlier ones, and the
// lists and fields over all of them. Tab follows the picture: the top row, the
// lists left to right, then the row below.
const ControlRow kControls[] = {
    {.member = &TForm1::Image1, .name = "Image1", .place = {0, 0, 607, 358}, .art = "background.png"},
    {.member = &TForm1::SpeedButton1, .name = "SpeedButton1", .place = {544, 8, 20, 20}, .art = "glyph-close.png",
     .said = "Close", .description = "Ends the program and every relayed connection", .tab = 2,
     .handler = &TForm1::SpeedButton1Click},
    {.member = &TForm1::SpeedButton2, .name = "SpeedButton2", .place = {520, 8, 20, 20}, .art = "glyph-hide.png",
     .said = "Hide", .tab = 1,  // described by TrayOrTaskbar: what it does depends on the tray
     .handler = &TForm1::SpeedButton2Click},
    {.member = &TForm1::Image2, .name = "Image2", .place = {200, 312, 169, 33}, .art = "plate-host.png", .keyed = true},
    {.member = &TForm1::Image3, .name = "Image3", .place = {424, 312, 89, 33}, .art = "plate-port.png", .keyed = true},
    {.member = &TForm1::Label1, .name = "Label1", .place = {376, 318, 0, 0}, .caption = "Port", .fontPixels = 16,
     .bold = true, .colour = 0xffffffff, .buddy = "edtPort"},
    {.member = &TForm1::Label2, .name = "Label2", .place = {152, 318, 0, 0}, .caption = "Host", .fontPixels = 16,
     .bold = true, .colour = 0xffffffff, .buddy = "edtHost"},
    {.member = &TForm1::SpeedButton3, .name = "SpeedButton3", .place = {512, 315, 49, 25}, .caption = "Set!",
     .fontPixels = 19, .colour = 0xffffffff, .said = "Set!",
     .description = "Makes the host and port the proxy every new connection goes through", .tab = 10,
     .handler = &TForm1::SpeedButton3Click},
    {.member = &TForm1::SpeedButton4, .name = "SpeedButton4", .place = {45, 308, 89, 19}, .art = "glyph-open.png",
     .said = "Open a proxy list", .description = "Imports the proxies of a text file into the list of all proxies",
     .tab = 6, .handler = &TForm1::SpeedButton4Click},
    {.member = &TForm1::SpeedButton5, .name = "SpeedButton5", .place = {45, 328, 89, 19},
     .art = "glyph-download.png", .said = "Proxies", .description = "Downloading proxy lists", .tab = 7,
     .handler = &TForm1::SpeedButton5Click},
    {.member = &TForm1::lstAll, .name = "lstAll", .place = {24, 224, 169, 81}, .fontPixels = 13,
     .colour = 0xff000000, .list = ProxyListId::All, .said = "All proxies", .tab = 3,
     .handler = &TForm1::lstAllClick},
    {.member = &TForm1::lstWorking, .name = "lstWorking", .place = {216, 224, 169, 81}, .fontPixels = 13,
     .colour = 0xff008000, .list = ProxyListId::Working, .said = "Working proxies", .tab = 4,
     .handler = &TForm1::lstWorkingClick},
    {.member = &TForm1::lstFailed, .name = "lstFailed", .place = {408, 224, 169, 81}, .fontPixels = 13,
     .colour = 0xffcc0000, .list = ProxyListId::Failed, .said = "Failed proxies", .tab = 5,
     .handler = &TForm1::lstFailedClick},
    {.member = &TForm1::edtHost, .name = "edtHost", .place = {212, 317, 145, 21}, .fontPixels = 16,
     .typingLimit = 15, .field = FieldId::Host, .said = "Host", .description = "The proxy's host", .tab = 8,
     .handler = &TForm1::SpeedButton3Click},
    {.member = &TForm1::edtPort, .name = "edtPort", .place = {436, 317, 55, 21}, .fontPixels = 16,
     .typingLimit = 5, .field = FieldId::Port, .said = "Port", .description = "The proxy's port", .tab = 9,
     .handler = &TForm1::SpeedButton3Click},
};

// Field and list texts are single-byte; Latin-1 maps each byte to one character
// and back without loss.
QString FromBytes(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void Paint(QWidget* widget, QPalette::ColorRole role, QRgb colour) {
  if (colour == 0) return;
  QPalette palette = widget->palette();
  palette.setColor(role, QColor::fromRgba(colour));
  widget->setPalette(palette);
}

}  // namespace

void TForm1::MakeControls() {
  // The pictures drawn for the screen the window starts on.
  const double ratio = devicePixelRatioF();
  for (const ControlRow& row : kControls) {
    QWidget* made = std::visit(
        [&](auto member) -> QWidget* {
          using Kind = std::remove_pointer_t<std::remove_reference_t<decltype(this->*member)>>;
          Kind* control = nullptr;
          if constexpr (std::is_same_v<Kind, Picture>) {
            const QImage art = Artwork(row.art, ratio);
            control = new Picture(row.keyed ? KeyedPixmap(art) : QPixmap::fromImage(art), this);
          } else if constexpr (std::is_same_v<Kind, FlatButton>) {
            control = new FlatButton(this);
            if (row.art) control->SetGlyph(Artwork(row.art, ratio));
            if (row.caption) control->setText(QLatin1String(row.caption));
            Paint(control, QPalette::ButtonText, row.colour);
            connect(control, &QAbstractButton::clicked, this, [this, &row] { Handle(row.handler); });
          } else if constexpr (std::is_same_v<Kind, QLabel>) {
            control = new OutlinedLabel(QLatin1String(row.caption), this);
            control->setContentsMargins(0, 0, 0, 0);
            Paint(control, QPalette::WindowText, row.colour);
          } else if constexpr (std::is_same_v<Kind, LimitedEdit>) {
            control = new LimitedEdit(row.typingLimit, this);
            control->setFrame(false);
            control->SetProgramText(FromBytes(pool_.FieldText(row.field)));
            connect(control, &QLineEdit::textEdited, this, [this, &row](const QString& text) {
              pool_.SetFieldText(row.field, text.toLatin1().toStdString());
            });
            // Enter in a field does what Set! does.
            connect(control, &QLineEdit::returnPressed, this, [this, &row] { Handle(row.handler); });
          } else {
            control = new ProxyListBox(this);
            control->setModel(new ProxyListModel(pool_, row.list, control));
            Paint(control, QPalette::Text, row.colour);
            connect(control, &ProxyListBox::UserSelected, this, [this, &row] { Handle(row.handler); });
          }
          this->*member = control;
          return control;
        },
        row.member);
    // Named as in the layout, so that tools and tests find them by name.
    made->setObjectName(QLatin1String(row.name));
    if (row.fontPixels) made->setFont(LayoutFont(row.fontPixels, row.bold));
    if (auto* label = qobject_cast<QLabel*>(made)) {
      label->move(row.place.topLeft());
      label->adjustSize();
    } else {
      made->setGeometry(row.place);
    }
    if (row.said) made->setAccessibleName(QLatin1String(row.said));
    if (row.description) made->setAccessibleDescription(QLatin1String(row.description));
  }
  std::vector<const ControlRow*> order;
  const auto named = [this](const char* name) { return findChild<QWidget*>(QLatin1String(name)); };
  for (const ControlRow& row : kControls) {
    if (row.buddy) static_cast<QLabel*>(named(row.name))->setBuddy(named(row.buddy));
    if (row.tab) order.push_back(&row);
  }
  std::ranges::sort(order, {}, &ControlRow::tab);
  for (std::size_t i = 0; i + 1 < order.size(); ++i) {
    setTabOrder(named(order[i]->name), named(order[i + 1]->name));
  }
  // The window opens with the list of all proxies in hand, as it always has.
  lstAll->setFocus(Qt::OtherFocusReason);
}

void TForm1::HearPool(const PoolChange& change) {
  if (change.kind == PoolChange::Kind::FieldText) {
    for (const ControlRow& row : kControls) {
      const auto field = std::get_if<LimitedEdit* TForm1::*>(&row.member);
      if (field && row.field == change.field) (this->**field)->SetProgramText(FromBytes(change.text));
    }
    return;
  }
  for (ProxyListBox* list : findChildren<ProxyListBox*>()) list->ListModel()->Hear(change);
  announcer_->Hear(change);
}
