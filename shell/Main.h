// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The main window: a frameless, shaped picture of 600 x 354 pixels with the
// three proxy lists, the host and port fields and five flat buttons, and the
// tray icon that brings it back when it is hidden.
#pragma once

#include <QFont>
#include <QIcon>
#include <QSystemTrayIcon>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/TcpSocket.h"
#include "pool/ProxyPool.h"
#include "relay/RelayHandler.h"
#include "shell/Artwork.h"
#include "shell/TrayOrTaskbar.h"
#include "shell/TrayPresence.h"

class Announcer;
class FlatButton;
class LimitedEdit;
class Picture;
class PoolHandover;
class ProxyListBox;
class QFileDialog;
class QLabel;

// Verdana where it is installed, else DejaVu Sans, which has nearly its metrics.
QFont LayoutFont(int pixels, bool bold = false);

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 600;
  static constexpr int kHeight = 354;

  // The dialogs the handlers open, replaceable so that the handlers can be
  // driven without a person to close them.
  struct Dialogs {
    // The file to import, or nothing when the user cancels.
    std::function<std::optional<std::string>()> chooseFile;
    std::function<void(const QString& text)> showError;
    std::function<void()> showDownloadMessage;
  };

  // Relays connections on `relayPort` (0: a port the system picks) and shows
  // `pool`, which must not change while the window is being made. The icon
  // goes where `trays` says a tray is; without it the window watches the
  // desktop itself.
  explicit TForm1(std::int32_t relayPort = RelayPort, ProxyPool& pool = ThePool(),
                  TrayPresence* trays = nullptr);
  ~TForm1() override;

  Dialogs& dialogs() { return dialogs_; }
  // The port the relay listens on, 0 when it could not listen.
  std::int32_t RelayListeningPort() const { return relayListeningPort_; }
  // Why the relay could not listen, for the error box; empty when it listens.
  const QString& RelayFailure() const { return relayFailure_; }
  // Nothing until a tray has been there to take it.
  QSystemTrayIcon* TrayIcon() const { return tray_->Icon(); }
  // Another start of the program asks for the window: shown as from the tray.
  void ShowFromElsewhere();
  // Makes now the pool's changes that other threads have handed over.
  void CatchUp();

  // Handlers, named after the control and the event.
  void FormCreate();
  void FormActivate();
  void FormDestroy();
  void TrayIconMessage(QSystemTrayIcon::ActivationReason reason);
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void SpeedButton5Click();
  void lstAllClick();
  void lstWorkingClick();
  void lstFailedClick();

  // The controls, in the order they were declared.
  Picture* Image1 = nullptr;
  FlatButton* SpeedButton1 = nullptr;
  FlatButton* SpeedButton2 = nullptr;
  LimitedEdit* edtHost = nullptr;
  Picture* Image2 = nullptr;
  Picture* Image3 = nullptr;
  LimitedEdit* edtPort = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  FlatButton* SpeedButton3 = nullptr;
  ProxyListBox* lstFailed = nullptr;
  ProxyListBox* lstWorking = nullptr;
  ProxyListBox* lstAll = nullptr;
  FlatButton* SpeedButton4 = nullptr;
  FlatButton* SpeedButton5 = nullptr;
  QFileDialog* OpenDialog1 = nullptr;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Makes, names, describes, orders and wires every control, from one table.
  void MakeControls();
  // Runs one handler; an error ends it and is shown in the error box once the
  // event that ran it is over.
  void Handle(void (TForm1::*handler)());
  // The error box for `error`, once the event being handled is over.
  void ShowLater(const std::exception& error);
  void FillFieldsFrom(ProxyListBox* list, ProxyListId id);
  void HearPool(const PoolChange& change);
  std::optional<std::string> AskForFile();

  ProxyPool& pool_;
  std::int32_t relayPort_;
  std::int32_t relayListeningPort_ = 0;
  // The accept loop closes it; the window only asks that loop to end.
  std::shared_ptr<ListeningSocket> relayListener_;
  Dialogs dialogs_;
  QString relayFailure_;
  // Where the file dialog was last left.
  QString lastFolder_;
  std::shared_ptr<PoolHandover> handover_;
  Announcer* announcer_ = nullptr;
  int listenerId_ = -1;
  TrayPresence* trays_ = nullptr;
  // The tray icon (TrayIconData) and the window's place off the screen.
  TrayOrTaskbar* tray_ = nullptr;
};

// The one main window of the program, set while it is being made.
extern TForm1* Form1;

// Start-up's last step: the window centred on the primary screen, shown.
void ShowCentred(TForm1& form);
