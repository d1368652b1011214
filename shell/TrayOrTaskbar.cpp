// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/TrayOrTaskbar.h"

#include <QApplication>
#include <QWidget>

#include <chrono>
#include <utility>

#include "shell/Artwork.h"
#include "shell/Messages.h"
#include "shell/Taskbar.h"
#include "shell/TrayDocking.h"

TrayOrTaskbar::TrayOrTaskbar(QWidget& window, TrayPresence& trays,
                             std::function<void(QSystemTrayIcon::ActivationReason)> activated)
    : QObject(&window), window_(window), trays_(trays), activated_(std::move(activated)) {
  absence_.setSingleShot(true);
  absence_.setInterval(kTrayAbsenceMs);
  connect(&absence_, &QTimer::timeout, this, &TrayOrTaskbar::LeaveTray);
}

void TrayOrTaskbar::Start() {
  connect(&trays_, &TrayPresence::Changed, this, &TrayOrTaskbar::TraysChanged);
  if (trays_.Any()) {
    MakeIcon();
    inTray_ = true;
  }
  Name();
}

void TrayOrTaskbar::RemoveIcon() {
  if (icon_) icon_->hide();
}

void TrayOrTaskbar::MakeIcon() {
  icon_ = new QSystemTrayIcon(ApplicationIcon(), this);
  icon_->setToolTip(kApplicationTitle);
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (activated_) activated_(reason);
  });
  // Added means in the tray, as the window is about to show. Qt prefers a
  // StatusNotifierItem host where there is one.
  const TrayKind expected = trays_.Has(TrayKind::StatusNotifier) ? TrayKind::StatusNotifier : TrayKind::XEmbed;
  iconKind_ = ShowTrayIcon(*icon_, expected, std::chrono::milliseconds(500));
}

void TrayOrTaskbar::TraysChanged() {
  const bool held = iconKind_ ? trays_.Has(*iconKind_) : trays_.Any();
  if (held) {
    absence_.stop();
    if (!icon_) MakeIcon();
    EnterTray();
  } else if (inTray_ && !absence_.isActive()) {
    absence_.start();
  }
}

void TrayOrTaskbar::EnterTray() {
  if (inTray_) return;
  inTray_ = true;
  Name();
  if (!window_.isVisible()) return;  // a hidden window takes its state when shown
  if (window_.isMinimized()) {
    // Minimised to the entry that stood in for the tray: hidden now, as the
    // tray's window is, and restored when the icon shows it. (Restoring it
    // here would map it on X11.)
    window_.hide();
  } else {
    KeepOffTaskbar(&window_, true);
  }
}

void TrayOrTaskbar::LeaveTray() {
  if (!inTray_) return;
  inTray_ = false;
  Name();
  if (window_.isVisible()) {
    KeepOffTaskbar(&window_, true, false);
  } else {
    // Hidden to a tray that is gone: put where the user can find it.
    window_.showMinimized();
  }
}

void TrayOrTaskbar::Name() {
  // The taskbar shows the window's own name: the program's while it has an entry.
  window_.setWindowTitle(inTray_ ? QStringLiteral("Form1") : kApplicationTitle);
  emit PlaceChanged();
}

QString TrayOrTaskbar::PutAwayDescription() const {
  return inTray_ ? QStringLiteral("Hides the window to its icon in the notification area")
                 : QStringLiteral("Minimises the window to its entry in the taskbar");
}

void TrayOrTaskbar::PutAway() {
  // Without a tray nothing could show a hidden window again.
  if (inTray_) {
    window_.hide();
  } else {
    window_.showMinimized();
  }
}

void TrayOrTaskbar::Bring() {
  if (window_.isMinimized()) window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
  window_.show();
  QWidget* front = QApplication::activeModalWidget();
  if (!front) front = &window_;
  if (!front->isVisible() || !front->isEnabled()) return;
  front->raise();
  front->activateWindow();
}

void TrayOrTaskbar::Activated() {
  if (inTray_) KeepOffTaskbar(&window_, true);
}

void TrayOrTaskbar::AboutToShow() {
  KeepOffTaskbar(&window_, false, inTray_);
}
