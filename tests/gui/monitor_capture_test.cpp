// Window capture without a screen to read (offscreen): the window's own picture on the clipboard
// and in NetMonitor.JPG, replaced by the next capture, and failures to store it said as such.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QTemporaryDir>

#include "monitor/capture.h"
#include "monitor_support.h"

namespace norvane {
namespace {

// Runs each case in a fresh current directory.
class Capture : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
        window.resize(200, 120);
        window.setStyleSheet("background: rgb(0, 0, 255)");
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override { QDir::setCurrent(previous); }

    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir dir;
    QString previous;
    QLabel window;
    test::UiRecorder ui;
};

TEST_F(Capture, ClipboardAndFileHoldTheWindowsPicture) {
    CaptureWindow(&window);
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text, "Store to: NetMonitor.JPG");
    EXPECT_EQ(ui.calls[0].caption, QCoreApplication::applicationName().toStdString());
    EXPECT_EQ(ui.calls[0].owner, &window);

    const QImage clip = QGuiApplication::clipboard()->image();
    EXPECT_EQ(clip.size(), QSize(200, 120));
    EXPECT_EQ(clip.pixelColor(100, 60), QColor(0, 0, 255));

    QImageReader reader(QStringLiteral("NetMonitor.JPG"));
    EXPECT_EQ(reader.format(), "jpeg");  // by its content, not its name
    const QImage file = reader.read();
    ASSERT_FALSE(file.isNull());
    EXPECT_EQ(file.size(), QSize(200, 120));
    const QColor c = file.pixelColor(100, 60);  // JPEG: close, not exact
    EXPECT_LT(c.red(), 16);
    EXPECT_LT(c.green(), 16);
    EXPECT_GT(c.blue(), 239);
    EXPECT_EQ(Entries(), QStringList{"NetMonitor.JPG"});  // no temporary file left behind
}

TEST_F(Capture, SecondCaptureReplacesFileAndClipboard) {
    CaptureWindow(&window);
    window.setStyleSheet("background: rgb(255, 0, 0)");
    window.resize(150, 90);
    CaptureWindow(&window);
    EXPECT_EQ(QGuiApplication::clipboard()->image().pixelColor(75, 45), QColor(255, 0, 0));
    const QImage file(QStringLiteral("NetMonitor.JPG"));
    EXPECT_EQ(file.size(), QSize(150, 90));
    EXPECT_GT(file.pixelColor(75, 45).red(), 239);
    EXPECT_EQ(Entries(), QStringList{"NetMonitor.JPG"});
}

TEST_F(Capture, DefaultQualityOfTheEncoder) {
    // A picture with detail, so quality shows in the size: the stored file is what the encoder
    // writes at its default (75) and not what it writes at 100.
    QImage noisy(160, 160, QImage::Format_RGB32);
    for (int y = 0; y < noisy.height(); ++y)
        for (int x = 0; x < noisy.width(); ++x)
            noisy.setPixel(x, y, qRgb((x * 37 + y * 11) & 255, (x * y) & 255, (x ^ y) & 255));
    QString reason;
    ASSERT_TRUE(StoreJpeg(noisy, QStringLiteral("NetMonitor.JPG"), &reason));
    ASSERT_TRUE(noisy.save(QStringLiteral("q75.jpg"), "JPEG", 75));
    ASSERT_TRUE(noisy.save(QStringLiteral("q100.jpg"), "JPEG", 100));
    EXPECT_EQ(QFile(QStringLiteral("NetMonitor.JPG")).size(),
              QFile(QStringLiteral("q75.jpg")).size());
    EXPECT_LT(QFile(QStringLiteral("NetMonitor.JPG")).size(),
              QFile(QStringLiteral("q100.jpg")).size());
}

TEST_F(Capture, FileThatCannotBeStoredIsReportedAndTheClipboardStillGetsThePicture) {
    // A directory where the file should go: no one, root included, can replace it by a file.
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("NetMonitor.JPG")));
    CaptureWindow(&window);
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text.rfind("Could not store NetMonitor.JPG: ", 0), 0U)
        << ui.calls[0].text;
    EXPECT_GT(ui.calls[0].text.size(), std::string("Could not store NetMonitor.JPG: ").size());
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(200, 120));
    EXPECT_TRUE(QFileInfo(QStringLiteral("NetMonitor.JPG")).isDir());
    EXPECT_EQ(Entries(), QStringList{"NetMonitor.JPG"});  // the temporary file is gone
}

TEST_F(Capture, DirectoryThatCannotBeWrittenIsReported) {
    // /proc takes no new files, whoever asks.
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral("/proc")));
    CaptureWindow(&window);
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text.rfind("Could not store NetMonitor.JPG: ", 0), 0U)
        << ui.calls[0].text;
    EXPECT_FALSE(QFile::exists(QStringLiteral("/proc/NetMonitor.JPG")));
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(200, 120));
}

}  // namespace
}  // namespace norvane
