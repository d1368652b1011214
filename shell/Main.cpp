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
#include <QMetaObject>
#include <QScreen>
#include <QShowEvent>

#include <cerrno>
#include <chrono>
#include <exception>

#include "net/ConnectionServer.h"
#include "pool/ProxyImport.h"
#include "shell/Announcer.h"
#include "shell/FlatButton.h"
#include "shell/Messages.h"
#include "shell/NativeShape.h"
#include "shell/Picture.h"
#include "shell/PoolHandover.h"
#include "shell/ProxyListBox.h"
#include "shell/WindowShape.h"

TForm1* Form1 = nullptr;

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
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor::fromRgb(kKeyColour));
  setPalette(palette);
  setAutoFillBackground(true);

  dialogs_.chooseFile = [this] { return AskForFile(); };
  dialogs_.showError = [this](const QString& text) { ShowErrorBox(this, text); };
  dialogs_.showDownloadMessage = [this] {
    DownloadMessageBox box(this);
    box.exec();
  };

  setAccessibleName(QStringLiteral("IRC Quillmere"));
  MakeControls();
  connect(tray_, &TrayOrTaskbar::PlaceChanged, this,
          [this] { SpeedButton2->setAccessibleDescription(tray_->PutAwayDescription()); });
  // From here on the pool's changes are made on this thread, and each is
  // heard right after it is made.
  handover_ = std::make_shared<PoolHandover>(this, [this](const std::exception& error) { ShowLater(error); });
  pool_.SetOwner(handover_);
  announcer_ = new Announcer(*this, pool_);
  listenerId_ = pool_.AddListener([this](const PoolChange& change) { HearPool(change); });
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
