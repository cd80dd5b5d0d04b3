// Window capture without a screen to read (offscreen): the window's picture on the clipboard and
// in NetMonitor.JPG at the encoder's default quality, the next capture replacing both, and a
// target that cannot be written said as such while the clipboard still gets the picture.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QTemporaryDir>

#include "monitor/window_picture.h"
#include "tests/support/window_support.h"

namespace norvane {
namespace {

// Each case in a fresh current directory.
class Capture : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override { QDir::setCurrent(previous); }
    void Paint(const char* colour, QSize size) {
        window.setStyleSheet(QString("background: %1").arg(colour));
        window.resize(size);
    }
    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir dir;
    QString previous;
    QLabel window;
    test::UiRecorder ui;
};

TEST_F(Capture, ClipboardAndFileHoldTheWindowsPictureAndTheNextReplacesThem) {
    const struct {
        const char* colour;
        QSize size;
        QColor pixel;
    } cases[] = {{"rgb(0, 0, 255)", {200, 120}, Qt::blue}, {"rgb(255, 0, 0)", {150, 90}, Qt::red}};
    for (const auto& c : cases) {
        Paint(c.colour, c.size);
        ui.calls.clear();
        CaptureWindow(&window);
        ASSERT_EQ(ui.calls.size(), 1U);
        EXPECT_EQ(ui.calls[0].text, "Store to: NetMonitor.JPG");
        EXPECT_EQ(ui.calls[0].caption, QCoreApplication::applicationName().toStdString());
        EXPECT_EQ(ui.calls[0].owner, &window);
        const QPoint mid(c.size.width() / 2, c.size.height() / 2);
        EXPECT_EQ(QGuiApplication::clipboard()->image().pixelColor(mid), c.pixel);
        QImageReader reader(QStringLiteral("NetMonitor.JPG"));
        EXPECT_EQ(reader.format(), "jpeg");  // by its content, not its name
        const QImage file = reader.read();
        EXPECT_EQ(file.size(), c.size);
        const QColor got = file.pixelColor(mid);  // JPEG: close, not exact
        EXPECT_LT(std::abs(got.red() - c.pixel.red()) + std::abs(got.blue() - c.pixel.blue()), 32);
        EXPECT_EQ(Entries(), QStringList{"NetMonitor.JPG"});  // no temporary file left behind
    }
}

// A directory in the file's place (no one, root included, can replace it by a file), and /proc,
// which takes no new files.
TEST_F(Capture, TargetThatCannotBeWrittenIsReportedAndTheClipboardStillGetsThePicture) {
    Paint("rgb(0, 0, 255)", {200, 120});
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("NetMonitor.JPG")));
    for (const QString& where : {dir.path(), QStringLiteral("/proc")}) {
        ASSERT_TRUE(QDir::setCurrent(where));
        ui.calls.clear();
        QGuiApplication::clipboard()->clear();
        CaptureWindow(&window);
        ASSERT_EQ(ui.calls.size(), 1U);
        const std::string prefix = "Could not store NetMonitor.JPG: ";
        EXPECT_EQ(ui.calls[0].text.rfind(prefix, 0), 0U) << ui.calls[0].text;
        EXPECT_GT(ui.calls[0].text.size(), prefix.size());  // says why
        EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(200, 120));
    }
    EXPECT_TRUE(QFileInfo(dir.filePath("NetMonitor.JPG")).isDir());
    EXPECT_EQ(Entries(), QStringList{"NetMonitor.JPG"});  // the temporary file is gone
}

}  // namespace
}  // namespace norvane
