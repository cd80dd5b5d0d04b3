// The Capture button: a picture of the monitor window, title bar and borders included where the
// screen can be read, put on the clipboard and stored as "NetMonitor.JPG" in the current
// directory.
#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace norvane {

inline constexpr char kCaptureFileName[] = "NetMonitor.JPG";
inline constexpr char kCaptureStoredText[] = "Store to: NetMonitor.JPG";

// The window as the screen shows it, frame included, where the platform lets us read the
// screen (X11); elsewhere (offscreen, Wayland) the window's own contents.
QImage GrabWindowWithFrame(QWidget* window);

// Writes `image` as a JPEG at the encoder's default quality. The picture goes to a temporary file
// beside `path`, which replaces `path` only once it is complete: a failed write leaves whatever
// was there before and no partial file. On failure returns false and says why in `reason`.
bool StoreJpeg(const QImage& image, const QString& path, QString* reason);

// Grabs `window`, puts the picture on the clipboard, stores it as NetMonitor.JPG and tells the
// user where it went (or why it could not be stored), captioned with the application's name.
void CaptureWindow(QWidget* window);

}  // namespace norvane
