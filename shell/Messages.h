// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The program's message boxes: the error box that ends a failed handler, and
// the message of the download button. Every box is captioned with the
// application title.
#pragma once

#include <QDialog>
#include <QString>

#include <string_view>

inline const QString kApplicationTitle = QStringLiteral("IRC Quillmere");
inline const QString kMakerSite = QStringLiteral("https://irc-quillmere.example.org/");

// The error's message with a full stop appended when its last character's
// code is above that of "." (so none after ".", ")", "!" or a blank).
QString ErrorBoxText(std::string_view message);
// Modal: stop icon, one OK button.
void ShowErrorBox(QWidget* owner, const QString& text);

// Why the relay cannot listen on `port`, from the error of the failed bind or
// listen, as the error box shows it (ErrorBoxText adds the full stop).
QString ListenFailureText(int port, int error);

QString DownloadMessageText();
// A running copy that took the connection but not the request.
QString SilentCopyText(long pid);

// No icon, one OK button that Enter and Escape press too; the text wraps at
// half the screen's width and the box is sized to it, centred on the screen.
class DownloadMessageBox : public QDialog {
  Q_OBJECT

 public:
  explicit DownloadMessageBox(QWidget* owner = nullptr);
  // The widest the text may run: half the width of the owner's screen.
  int WrapWidth() const { return wrapWidth_; }

 private:
  int wrapWidth_ = 0;
};
