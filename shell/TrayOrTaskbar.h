// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Where the window goes when it is off the screen, and how it comes back. With
// a tray the window has no taskbar entry, hides to the icon and is named
// "Form1" (a name nobody sees); without one it keeps an entry named after the
// program and minimises to it, so that it is never lost. This decides when
// the icon is made, what the hide button does, what a tray that comes or goes
// does to the window, and how a request to show it (a press on the icon, a
// second start of the program) brings it back.
#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <optional>

#include "shell/TrayPresence.h"

class QWidget;

class TrayOrTaskbar : public QObject {
  Q_OBJECT

 public:
  // How long a tray may be gone before the window takes a taskbar entry: a
  // panel that restarts is back sooner.
  static constexpr int kTrayAbsenceMs = 5000;

  // `activated` hears every activation of the icon, once there is one.
  TrayOrTaskbar(QWidget& window, TrayPresence& trays,
                std::function<void(QSystemTrayIcon::ActivationReason)> activated);

  // The icon, where a tray is there to take it; else it is made when one comes
  // (Qt chooses the kind of tray once, when the icon is made).
  void Start();
  // Takes the icon out of the tray: at the end, or when the program stops
  // before it has begun.
  void RemoveIcon();

  QSystemTrayIcon* Icon() const { return icon_; }
  bool InTray() const { return inTray_; }

  // The hide button: hidden to the icon, or minimised to the taskbar entry.
  void PutAway();
  // What PutAway does now, as a screen reader describes the hide button.
  QString PutAwayDescription() const;
  // Shown where it was (restored when minimised), raised and activated; an
  // open box of the program comes first, since that is what the user must answer.
  void Bring();
  // Each time the window becomes active, and just before it is mapped.
  void Activated();
  void AboutToShow();

 signals:
  // The window went into the tray or out of it: PutAway does another thing.
  void PlaceChanged();

 private:
  void MakeIcon();
  void TraysChanged();
  void EnterTray();
  void LeaveTray();
  void Name();

  QWidget& window_;
  TrayPresence& trays_;
  std::function<void(QSystemTrayIcon::ActivationReason)> activated_;
  QSystemTrayIcon* icon_ = nullptr;
  // The kind of tray Qt put the icon in; Qt keeps to it for the whole run.
  std::optional<TrayKind> iconKind_;
  bool inTray_ = false;
  QTimer absence_;
};
