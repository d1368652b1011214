// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "shell/Messages.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>

QString ErrorBoxText(std::string_view message) {
  QString text = QString::fromLatin1(message.data(), static_cast<qsizetype>(message.size()));
  // Bytes compare as unsigned, as single-byte characters do.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') text += QLatin1Char('.');
  return text;
}

void ShowErrorBox(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok, owner);
  box.exec();
}

QString ListenFailureText(int port, int error) {
  QString text = QStringLiteral("Unable to listen on port %1: ").arg(port);
  if (error == EADDRINUSE) return ErrorBoxText((text + QStringLiteral("another program is using it")).toStdString());
  return ErrorBoxText((text + QString::fromLocal8Bit(std::strerror(error))).toStdString());
}

QString DownloadMessageText() {
  return QStringLiteral(
             "I am sorry, downloading of proxies is currently not implemented. However this should be "
             "available in the next update. To check for this update, or to get help using this product "
             "please visit: ") +
         kMakerSite;
}

DownloadMessageBox::DownloadMessageBox(QWidget* owner) : QDialog(owner) {
  setWindowTitle(kApplicationTitle);
  setModal(true);
  QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  wrapWidth_ = area.width() / 2;

  auto* text = new QLabel(DownloadMessageText(), this);
  text->setWordWrap(true);
  text->setTextInteractionFlags(Qt::NoTextInteraction);
  text->setFixedWidth(std::min(wrapWidth_, text->fontMetrics().horizontalAdvance(text->text()) + 1));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Horizontal, this);
  buttons->setCenterButtons(true);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setDefault(true);
  // Escape closes a dialog as rejected; with a single button that is OK too.
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(text);
  layout->addWidget(buttons);
  adjustSize();
  move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

QString SilentCopyText(long pid) {
  return QStringLiteral("IRC Quillmere is already running (process %1) but does not answer.").arg(pid);
}
