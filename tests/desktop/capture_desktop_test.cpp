// The Capture button on a real X desktop: the picture covers the window's frame (title bar and
// borders from the window manager), another program can paste it from the clipboard, and a
// file that cannot be stored is reported while the clipboard still gets the picture.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <memory>

#include "../gui/monitor_support.h"
#include "monitor/monitor_window.h"

namespace norvane {
namespace {

// What another X client gets when it pastes the clipboard as PNG (xclip), or a null image.
QImage PasteFromOtherProgram() {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                 QStringLiteral("image/png"), QStringLiteral("-o")});
    // Our event loop must keep running: this process owns the selection and answers xclip.
    test::WaitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 10000);
    if (xclip.state() != QProcess::NotRunning) {
        xclip.kill();
        xclip.waitForFinished();
        return {};
    }
    return QImage::fromData(xclip.readAllStandardOutput(), "PNG");
}

class DesktopCapture : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.isValid());
        ASSERT_TRUE(work.isValid());
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work.path()));
        dlg = std::make_unique<CComDlg>();
        dlg->Create();  // no port: the recorder takes the "No Mobile Port" message
        ui.calls.clear();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        // The window manager frames the window: its frame becomes larger than its client area.
        ASSERT_TRUE(test::WaitUntil([&] { return Frame().height() > dlg->height(); }, 5000));
        QTest::qWait(300);  // let the frame and the window paint
    }
    void TearDown() override {
        dlg.reset();
        QDir::setCurrent(previous);
    }

    // The window's frame as the platform reports it now.
    QRect Frame() const { return dlg->windowHandle()->frameGeometry(); }
    void PressCapture() {
        QTest::mouseClick(qobject_cast<QPushButton*>(dlg->item(IDC_CAPTURE)), Qt::LeftButton);
    }
    // Where a point of the client area lies in a picture of the whole frame.
    QPoint InFrame(QPoint client) const {
        return client + (dlg->geometry().topLeft() - Frame().topLeft());
    }
    QPoint SarLabelCentre() const { return dlg->item(IDC_SAR_LABEL)->geometry().center(); }

    QTemporaryDir runtime;
    test::RuntimeDir env{runtime.path().toStdString()};
    QTemporaryDir work;
    QString previous;
    test::UiRecorder ui;
    std::unique_ptr<CComDlg> dlg;
};

TEST_F(DesktopCapture, PictureOfTheWholeFrameOnClipboardAndInTheFile) {
    const QSize frame = Frame().size();
    ASSERT_GT(frame.width(), dlg->width());
    ASSERT_GT(frame.height(), dlg->height());

    PressCapture();
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text, "Store to: NetMonitor.JPG");
    EXPECT_EQ(ui.calls[0].caption, QCoreApplication::applicationName().toStdString());

    const QImage file(QStringLiteral("NetMonitor.JPG"), "JPEG");
    ASSERT_FALSE(file.isNull());
    EXPECT_EQ(file.size(), frame);

    const QImage pasted = PasteFromOtherProgram();
    ASSERT_FALSE(pasted.isNull());
    EXPECT_EQ(pasted.size(), frame);
    // The client area sits inside the frame where the window manager put it: the SAR label's
    // cyan is found there.
    EXPECT_EQ(pasted.pixelColor(InFrame(SarLabelCentre()) + QPoint(-40, 0)), QColor(0, 255, 255));
    const QColor inFile = file.pixelColor(InFrame(SarLabelCentre()) + QPoint(-40, 0));
    EXPECT_LT(inFile.red(), 24);
    EXPECT_GT(inFile.green(), 231);
    EXPECT_GT(inFile.blue(), 231);
    // The title bar is the window manager's, not the dialog's background.
    EXPECT_NE(pasted.pixelColor(frame.width() / 2, 2), dlg->palette().color(QPalette::Window));
}

TEST_F(DesktopCapture, FileThatCannotBeWrittenIsReportedAndTheClipboardKeepsThePicture) {
    // /proc takes no new files, for root as for anyone.
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral("/proc")));
    PressCapture();
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text.rfind("Could not store NetMonitor.JPG: ", 0), 0U)
        << ui.calls[0].text;
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/NetMonitor.JPG")));
    const QImage pasted = PasteFromOtherProgram();
    EXPECT_EQ(pasted.size(), Frame().size());
}

TEST_F(DesktopCapture, DirectoryInTheWayIsReportedAndLeftAlone) {
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("NetMonitor.JPG")));
    PressCapture();
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text.rfind("Could not store NetMonitor.JPG: ", 0), 0U)
        << ui.calls[0].text;
    EXPECT_TRUE(QFileInfo(QStringLiteral("NetMonitor.JPG")).isDir());
    EXPECT_EQ(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"NetMonitor.JPG"});
    EXPECT_EQ(PasteFromOtherProgram().size(), Frame().size());
}

}  // namespace
}  // namespace norvane
