// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/Main.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QMetaObject>
#include <QScreen>
#include <QShowEvent>

#include <cerrno>
#include <chrono>
#include <exception>
#include <iterator>
#include <tuple>
#include <utility>

#include "net/ConnectionServer.h"
#include "pool/ProxyImport.h"
#include "shell/FlatButton.h"
#include "shell/LimitedEdit.h"
#include "shell/NativeShape.h"
#include "shell/Messages.h"
#include "shell/Picture.h"
#include "shell/PoolHandover.h"
#include "shell/ProxyListModel.h"
#include "shell/ProxyListBox.h"
#include "shell/WindowShape.h"

TForm1* Form1 = nullptr;

namespace {

// Field and list texts are single-byte; Latin-1 maps each byte to one character
// and back without loss.
std::string ToBytes(const QString& text) {
  return text.toLatin1().toStdString();
}
QString FromBytes(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void Paint(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(role, colour);
  widget->setPalette(palette);
}

}  // namespace

QFont LayoutFont(int pixels, bool bold) {
  static const bool hasVerdana = QFontDatabase::hasFamily(QStringLiteral("Verdana"));
  QFont font(hasVerdana ? QStringLiteral("Verdana") : QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

TForm1::TForm1(std::int32_t relayPort, ProxyPool& pool, TrayPresence* trays)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      pool_(pool),
      relayPort_(relayPort),
      trays_(trays ? trays : new TrayPresence(TrayPresence::Watching::Desktop, this)),
      tray_(new TrayOrTaskbar(*this, *trays_, [this](QSystemTrayIcon::ActivationReason reason) {
        TrayIconMessage(reason);
      })) {
  LoadArtwork();
  Form1 = this;
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Form1"));
  setFixedSize(kWidth, kHeight);
  Paint(this, QPalette::Window, QColor::fromRgb(kKeyColour));
  setAutoFillBackground(true);

  dialogs_.chooseFile = [this] { return AskForFile(); };
  dialogs_.showError = [this](const QString& text) { ShowErrorBox(this, text); };
  dialogs_.showDownloadMessage = [this] {
    DownloadMessageBox box(this);
    box.exec();
  };

  MakeControls();
  // From here on the pool's changes are made on this thread, and each is
  // heard right after it is made.
  handover_ = std::make_shared<PoolHandover>(this, [this](const std::exception& error) { ShowLater(error); });
  pool_.SetOwner(handover_);
  const std::pair<ProxyListBox*, ProxyListId> lists[] = {
      {lstAll, ProxyListId::All}, {lstWorking, ProxyListId::Working}, {lstFailed, ProxyListId::Failed}};
  for (auto [view, id] : lists) view->setModel(new ProxyListModel(pool_, id, view));
  listenerId_ = pool_.AddListener([this](const PoolChange& change) { HearPool(change); });
  DescribeCounts();
  edtHost->SetProgramText(FromBytes(pool_.FieldText(FieldId::Host)));
  edtPort->SetProgramText(FromBytes(pool_.FieldText(FieldId::Port)));
  WireControls();
  FormCreate();
}

TForm1::~TForm1() {
  FormDestroy();
  // No relay thread may reach the window from here on: the changes still
  // handed over are made by their own threads, unheard.
  pool_.RemoveListener(listenerId_);
  pool_.SetOwner(nullptr);
  handover_->Close();
  // Stop accepting; connections already relayed go on with the process.
  if (relayListener_) relayListener_->StopAccepting();
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::MakeControls() {
  // The pictures drawn for the screen the window starts on.
  const double ratio = devicePixelRatioF();
  const auto Artwork = [ratio](const char* name) { return ::Artwork(name, ratio); };
  // Made in painting order: each later control lies over the earlier ones, and
  // the lists and fields over all of them.
  Image1 = new Picture(QPixmap::fromImage(Artwork("background.png")), this);
  Image1->setGeometry(0, 0, 607, 358);

  SpeedButton1 = new FlatButton(this);
  SpeedButton1->setGeometry(544, 8, 20, 20);
  SpeedButton1->SetGlyph(Artwork("glyph-close.png"));
  SpeedButton2 = new FlatButton(this);
  SpeedButton2->setGeometry(520, 8, 20, 20);
  SpeedButton2->SetGlyph(Artwork("glyph-hide.png"));

  Image2 = new Picture(KeyedPixmap(Artwork("plate-host.png")), this);
  Image2->setGeometry(200, 312, 169, 33);
  Image3 = new Picture(KeyedPixmap(Artwork("plate-port.png")), this);
  Image3->setGeometry(424, 312, 89, 33);

  Label1 = new QLabel(QStringLiteral("Port"), this);
  Label2 = new QLabel(QStringLiteral("Host"), this);
  for (auto [label, at] : {std::pair{Label1, QPoint(376, 318)}, std::pair{Label2, QPoint(152, 318)}}) {
    label->setFont(LayoutFont(16, true));
    label->setContentsMargins(0, 0, 0, 0);
    Paint(label, QPalette::WindowText, Qt::white);
    label->move(at);
    label->adjustSize();
  }

  SpeedButton3 = new FlatButton(this);
  SpeedButton3->setGeometry(512, 315, 49, 25);
  SpeedButton3->setText(QStringLiteral("Set!"));
  SpeedButton3->setFont(LayoutFont(19));
  Paint(SpeedButton3, QPalette::ButtonText, Qt::white);

  SpeedButton4 = new FlatButton(this);
  SpeedButton4->setGeometry(45, 308, 89, 19);
  SpeedButton4->SetGlyph(Artwork("glyph-open.png"));
  SpeedButton5 = new FlatButton(this);
  SpeedButton5->setGeometry(45, 328, 89, 19);
  SpeedButton5->SetGlyph(Artwork("glyph-download.png"));

  const std::tuple<ProxyListBox**, int, QColor> lists[] = {{&lstAll, 24, QColor(0, 0, 0)},
                                                           {&lstWorking, 216, QColor(0, 128, 0)},
                                                           {&lstFailed, 408, QColor(255, 0, 0)}};
  for (auto [list, left, colour] : lists) {
    *list = new ProxyListBox(this);
    (*list)->setGeometry(left, 224, 169, 81);
    (*list)->setFont(LayoutFont(13));
    Paint(*list, QPalette::Text, colour);
  }

  edtHost = new LimitedEdit(15, this);
  edtHost->setGeometry(212, 317, 145, 21);
  edtPort = new LimitedEdit(5, this);
  edtPort->setGeometry(436, 317, 55, 21);
  for (LimitedEdit* field : {edtHost, edtPort}) {
    field->setFrame(false);
    field->setFont(LayoutFont(16));
  }

  // Named as in the layout, so that tools and tests find them by name.
  const std::pair<QWidget*, const char*> names[] = {{Image1, "Image1"},
                                                    {SpeedButton1, "SpeedButton1"},
                                                    {SpeedButton2, "SpeedButton2"},
                                                    {edtHost, "edtHost"},
                                                    {Image2, "Image2"},
                                                    {Image3, "Image3"},
                                                    {edtPort, "edtPort"},
                                                    {Label1, "Label1"},
                                                    {Label2, "Label2"},
                                                    {SpeedButton3, "SpeedButton3"},
                                                    {lstFailed, "lstFailed"},
                                                    {lstWorking, "lstWorking"},
                                                    {lstAll, "lstAll"},
                                                    {SpeedButton4, "SpeedButton4"},
                                                    {SpeedButton5, "SpeedButton5"}};
  for (auto [control, name] : names) control->setObjectName(QLatin1String(name));

  NameForAssistiveTools();
}

void TForm1::NameForAssistiveTools() {
  // What a screen reader says of each control, whatever the picture shows.
  setAccessibleName(QStringLiteral("IRC Quillmere"));
  const std::tuple<QWidget*, const char*, const char*> said[] = {
      {SpeedButton2, "Hide", "Hides the window to its icon in the notification area"},
      {SpeedButton1, "Close", "Ends the program and every relayed connection"},
      {SpeedButton4, "Open a proxy list", "Imports the proxies of a text file into the list of all proxies"},
      {SpeedButton5, "Proxies", "Downloading proxy lists"},
      {edtHost, "Host", "The proxy's host"},
      {edtPort, "Port", "The proxy's port"},
      {SpeedButton3, "Set!", "Makes the host and port the proxy every new connection goes through"}};
  for (auto [control, name, description] : said) {
    control->setAccessibleName(QString::fromLatin1(name));
    control->setAccessibleDescription(QString::fromLatin1(description));
  }
  Label2->setBuddy(edtHost);
  Label1->setBuddy(edtPort);
  const std::pair<ProxyListBox*, const char*> lists[] = {
      {lstAll, "All proxies"}, {lstWorking, "Working proxies"}, {lstFailed, "Failed proxies"}};
  for (auto [list, name] : lists) list->setAccessibleName(QString::fromLatin1(name));
  // The order a reader meets them on the picture: the top row, the lists left
  // to right, then the row below.
  QWidget* const order[] = {SpeedButton2, SpeedButton1, lstAll,  lstWorking, lstFailed,
                            SpeedButton4, SpeedButton5, edtHost, edtPort,    SpeedButton3};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  // The window opens with the list of all proxies in hand, as it always has.
  lstAll->setFocus(Qt::OtherFocusReason);
}

void TForm1::DescribeCounts() {
  for (ProxyListBox* list : {lstAll, lstWorking, lstFailed}) {
    const int rows = list->model() ? list->model()->rowCount() : 0;
    const QString count = rows == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(rows);
    if (list->accessibleDescription() != count) list->setAccessibleDescription(count);
  }
}

void TForm1::WireControls() {
  const std::pair<FlatButton*, void (TForm1::*)()> buttons[] = {{SpeedButton1, &TForm1::SpeedButton1Click},
                                                                {SpeedButton2, &TForm1::SpeedButton2Click},
                                                                {SpeedButton3, &TForm1::SpeedButton3Click},
                                                                {SpeedButton4, &TForm1::SpeedButton4Click},
                                                                {SpeedButton5, &TForm1::SpeedButton5Click}};
  for (auto [button, handler] : buttons) {
    connect(button, &QAbstractButton::clicked, this, [this, handler = handler] { Handle(handler); });
  }
  const std::pair<ProxyListBox*, void (TForm1::*)()> lists[] = {{lstAll, &TForm1::lstAllClick},
                                                                {lstWorking, &TForm1::lstWorkingClick},
                                                                {lstFailed, &TForm1::lstFailedClick}};
  for (auto [list, handler] : lists) {
    connect(list, &ProxyListBox::UserSelected, this, [this, handler = handler] { Handle(handler); });
  }
  connect(edtHost, &QLineEdit::textEdited, this,
          [this](const QString& text) { pool_.SetFieldText(FieldId::Host, ToBytes(text)); });
  connect(edtPort, &QLineEdit::textEdited, this,
          [this](const QString& text) { pool_.SetFieldText(FieldId::Port, ToBytes(text)); });
  // Enter in either field does what Set! does.
  for (LimitedEdit* field : {edtHost, edtPort}) {
    connect(field, &QLineEdit::returnPressed, this, [this] { Handle(&TForm1::SpeedButton3Click); });
  }
}

void TForm1::HearPool(const PoolChange& change) {
  if (change.kind == PoolChange::Kind::FieldText) {
    (change.field == FieldId::Host ? edtHost : edtPort)->SetProgramText(FromBytes(change.text));
    return;
  }
  for (ProxyListBox* list : {lstAll, lstWorking, lstFailed}) static_cast<ProxyListModel*>(list->model())->Hear(change);
  DescribeCounts();
}

void TForm1::Handle(void (TForm1::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::exception& error) {
    ShowLater(error);
  }
}

void TForm1::ShowLater(const std::exception& error) {
  // Shown once the event that raised it is over, as the event loop would: a
  // box opened inside a mouse press would keep the press going.
  QMetaObject::invokeMethod(
      this, [this, text = ErrorBoxText(error.what())] { dialogs_.showError(text); }, Qt::QueuedConnection);
}

void TForm1::CatchUp() {
  handover_->RunQueued();
}

void TForm1::FormCreate() {
  tray_->Start();

  // A Wayland compositor takes the outline for clicks only: there the margin
  // is left undrawn on a see-through window.
  const bool drawnOutline = QGuiApplication::platformName() == QLatin1String("wayland");
  if (drawnOutline) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
  }
  // The native window, still hidden, with its outline: everything of the
  // finished face but the key colour.
  winId();
  const QImage deviceFace = grab().toImage();
  QImage face = deviceFace;
  if (face.size() != size()) face = face.scaled(size());  // nearest pixels: the key stays exact
  const QRegion outline = ShapeFromImage(face);
  setMask(outline);
  if (drawnOutline) Image1->setMask(outline);
  // Above scale 1 the outline follows the picture's own finer edge.
  if (deviceFace.size() != size()) SetDeviceShape(this, deviceFace);

  pool_.Randomize(StartupSeed());
  pool_.SelectRandomProxy();
  ConnectionHandler relay = RelayHandler;
  if (&pool_ != &ThePool()) relay = MakeRelayHandler(pool_, [] { return std::chrono::steady_clock::now(); });
  errno = 0;
  relayListener_ = TcpServe(relayPort_, relay);
  relayListeningPort_ = relayListener_ ? LocalPort(relayListener_->Get()) : 0;
  if (!relayListener_) {
    // A window that relays nothing would pass for one that works.
    relayFailure_ = ListenFailureText(relayPort_, errno);
    tray_->RemoveIcon();
  }
}

void TForm1::FormActivate() {
  tray_->Activated();
}

void TForm1::FormDestroy() {
  tray_->RemoveIcon();
}

void TForm1::TrayIconMessage(QSystemTrayIcon::ActivationReason reason) {
  // The press of the left button; the rest of a double click and every other
  // button do nothing.
  if (reason == QSystemTrayIcon::Trigger) tray_->Bring();
}

void TForm1::ShowFromElsewhere() {
  tray_->Bring();
}

void TForm1::SpeedButton1Click() {
  close();
}

void TForm1::SpeedButton2Click() {
  tray_->PutAway();
}

void TForm1::SpeedButton3Click() {
  pool_.ApplyUpstream();
}

void TForm1::SpeedButton4Click() {
  const std::optional<std::string> file = dialogs_.chooseFile();
  if (!file) return;
  // A large list takes a while, on this thread: the pointer says the window
  // is at work meanwhile, and is given back however the import ends.
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  struct Restore {
    ~Restore() { QGuiApplication::restoreOverrideCursor(); }
  } restore;
  ImportProxyList(pool_, file);
  // Placing the rows of a list of millions takes a moment of its own: under
  // the same pointer, rather than after it is given back.
  lstAll->LayOut();
}

void TForm1::SpeedButton5Click() {
  dialogs_.showDownloadMessage();
}

void TForm1::lstAllClick() {
  FillFieldsFrom(lstAll, ProxyListId::All);
}

void TForm1::lstWorkingClick() {
  FillFieldsFrom(lstWorking, ProxyListId::Working);
}

void TForm1::lstFailedClick() {
  FillFieldsFrom(lstFailed, ProxyListId::Failed);
}

void TForm1::FillFieldsFrom(ProxyListBox* list, ProxyListId id) {
  // The view shows the pool's own list: its row is the pool's position. No
  // row gives the pool's own complaint, "List index out of bounds (-1)".
  pool_.FillFieldsFromList(id, list->SelectedRow());
}

std::optional<std::string> TForm1::AskForFile() {
  // Made for each use and let go after it: a dialog kept alive goes on
  // watching the file system and holds its model's memory for the whole run.
  // Only the folder it ended in is kept, for the next one to start there.
  OpenDialog1 = new QFileDialog(this, QString(), lastFolder_);
  OpenDialog1->setFileMode(QFileDialog::AnyFile);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  const bool accepted = OpenDialog1->exec() == QDialog::Accepted;
  // Enter in the file-name box accepts the dialog while its completion popup is
  // still open. The popup is a window of its own that outlives the dialog's
  // hiding: left alone it stays over the lists and swallows the next click.
  for (QCompleter* completer : OpenDialog1->findChildren<QCompleter*>()) {
    if (QAbstractItemView* popup = completer->popup(); popup->isVisible()) popup->hide();
  }
  const QStringList chosen = OpenDialog1->selectedFiles();
  // A path typed whole leaves the dialog where it was: the folder used is the file's.
  lastFolder_ = accepted && !chosen.isEmpty() ? QFileInfo(chosen.first()).absolutePath()
                                              : OpenDialog1->directory().absolutePath();
  OpenDialog1->deleteLater();
  OpenDialog1 = nullptr;
  if (!accepted || chosen.isEmpty()) return std::nullopt;
  return QFile::encodeName(chosen.first()).toStdString();
}

bool TForm1::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QWidget::event(event);
}

void TForm1::showEvent(QShowEvent* event) {
  // Sent before the window is mapped: the last moment to set its state itself.
  if (!event->spontaneous()) tray_->AboutToShow();
  QWidget::showEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program; nothing holds it back.
  event->accept();
  QCoreApplication::quit();
}

void ShowCentred(TForm1& form) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->geometry();
    form.move(area.topLeft() + CentredPosition(area.size(), form.size()));
  }
  form.show();
  form.raise();
  form.activateWindow();
}
