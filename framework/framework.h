// Services of the dialog framework, owned by the running QApplication: start-up, the main
// window and its status message, the bitmap resources, the beep and the shell's "open".
//
// Errors: a framework call that can fail says so in its result, never in a code or an exception:
// a lookup gives nullptr (CDialog::item) or an empty value (an unregistered bitmap's path), a Qt
// call that reports failure as bool passes it on (OpenUrl).
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace norvane {

// Call once after the QApplication exists: Fusion style (so bar and label palettes are drawn as
// set) and the "MS Shell Dlg" font substitution. The program's resources are its own: it
// registers them after this (RegisterBitmap).
void InitFramework();

// A bitmap resource that dialog templates name as "#id": the program registers the image's path
// at start-up. Unregistered IDs give an empty path (a control without a picture).
void RegisterBitmap(int id, const QString& path);
QString BitmapResource(int id);

// The application's main window: owner of dialogs that are run without a parent.
void SetMainWindow(QWidget* window);
QWidget* MainWindow();

// The idle text of the main window's status message.
QString IdleMessage();
// Sets the main window's status message. The start window has no status line, so the text is
// only kept, where StatusMessage() reads it.
void SetMessageText(const QString& text);
QString StatusMessage();

// The default beep. Tests replace it; an empty function restores QApplication::beep.
void MessageBeep();
using Beeper = std::function<void()>;
Beeper SetBeeper(Beeper beeper);

// Hands a URL to the desktop's browser. Tests replace the opener; an empty function restores
// QDesktopServices::openUrl. Returns what the opener returns (false: no browser took it).
bool OpenUrl(const QUrl& url);
using UrlOpener = std::function<bool(const QUrl&)>;
UrlOpener SetUrlOpener(UrlOpener opener);

}  // namespace norvane
