#include "monitor/window_picture.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPixmap>
#include <QSaveFile>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <string>

#include "framework/message_box.h"

namespace norvane {
namespace {

// Platforms whose screen grab returns what the display shows, window manager frames included.
bool CanReadScreen() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

}  // namespace

QImage GrabWindowWithFrame(QWidget* window) {
    if (window == nullptr) {
        return {};
    }
    if (CanReadScreen()) {
        if (QScreen* screen = window->screen()) {
            // The platform window's frame, asked afresh: QWidget::frameGeometry keeps what it
            // learnt before the window manager framed the window until the window next moves.
            // It is in global coordinates; grabWindow(0, ...) is relative to the screen.
            const QWindow* handle = window->windowHandle();
            const QRect global =
                handle != nullptr ? handle->frameGeometry() : window->frameGeometry();
            const QRect frame = global.translated(-screen->geometry().topLeft());
            const QPixmap shot =
                screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
            if (!shot.isNull()) {
                return shot.toImage();
            }
        }
    }
    return window->grab().toImage();
}

bool StoreJpeg(const QImage& image, const QString& path, QString* reason) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *reason = file.errorString();
        return false;
    }
    QImageWriter writer(&file, "jpeg");
    writer.setQuality(-1);  // the encoder's default
    if (!writer.write(image)) {
        *reason = writer.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

void CaptureWindow(QWidget* window) {
    const QImage image = GrabWindowWithFrame(window);
    if (!image.isNull()) {
        QGuiApplication::clipboard()->setImage(image);
    }

    const QString name = QString::fromLatin1(kCaptureFileName);
    QString text = QString::fromLatin1(kCaptureStoredText);
    QString reason;
    if (image.isNull()) {
        text = QStringLiteral("Could not store %1: the window could not be captured").arg(name);
    } else if (!StoreJpeg(image, name, &reason)) {
        text = QStringLiteral("Could not store %1: %2").arg(name, reason);
    }
    ShowMessageBox(window, text.toStdString(), QApplication::applicationName().toStdString());
}

}  // namespace norvane
