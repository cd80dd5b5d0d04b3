// The coloured status label: colours shown behind and in the text, the background appearing only
// with the first SetBkColor, and colour changes from another thread applied on the UI thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "widgets/status_label.h"

namespace norvane {
namespace {

constexpr COLORREF kCyan = 0xFFFF00;
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kYellow = 0x00FFFF;

// Records on which thread the label's palette changed.
class PaletteWatch : public QObject {
  public:
    std::vector<QThread*> threads;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::PaletteChange)
            threads.push_back(QThread::currentThread());
        return false;
    }
};

class ReadOnlyEditTest : public testing::Test {
  protected:
    ReadOnlyEditTest() {
        label.resize(80, 20);
        edit.Attach(&label);
    }
    QColor PaintedBackground() {
        const QImage image = label.grab().toImage();
        return image.pixelColor(1, 1);
    }
    QLabel label;  // no text: every pixel shows the background
    CReadOnlyEdit edit;
};

TEST_F(ReadOnlyEditTest, TextColourAloneLeavesTheDialogBackground) {
    const QColor before = PaintedBackground();
    EXPECT_EQ(label.palette().color(QPalette::WindowText), Qt::black);  // black from the start
    edit.SetTextColor(kYellow);
    EXPECT_FALSE(edit.hasBackground());
    EXPECT_FALSE(label.autoFillBackground());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(255, 255, 0));
    EXPECT_EQ(PaintedBackground(), before);
}

TEST_F(ReadOnlyEditTest, SecondBackgroundReplacesTheFirst) {
    edit.SetBkColor(kCyan);
    EXPECT_TRUE(edit.hasBackground());
    EXPECT_EQ(PaintedBackground(), QColor(0, 255, 255));
    edit.SetBkColor(kRed);
    edit.SetTextColor(kYellow);
    EXPECT_EQ(edit.bkColor(), kRed);
    EXPECT_EQ(edit.textColor(), kYellow);
    EXPECT_EQ(PaintedBackground(), QColor(255, 0, 0));
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(255, 255, 0));
}

TEST_F(ReadOnlyEditTest, TextIsPaintedInTheTextColourOnTheBackground) {
    label.setText("HHHHHHHH");
    label.setFont(QFont("Liberation Sans", 14, QFont::Bold));
    edit.SetBkColor(kCyan);
    edit.SetTextColor(kYellow);
    const QImage image = label.grab().toImage();
    int yellow = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == QColor(255, 255, 0))
                ++yellow;
        }
    }
    EXPECT_GT(yellow, 20);
}

TEST_F(ReadOnlyEditTest, ColoursFromAnotherThreadArriveOnTheUiThread) {
    PaletteWatch watch;
    label.installEventFilter(&watch);
    std::thread receiver([this] {
        edit.SetBkColor(kCyan);
        edit.SetBkColor(kRed);
        edit.SetTextColor(kYellow);
    });
    receiver.join();
    // Queued, not applied on the calling thread.
    EXPECT_FALSE(edit.hasBackground());
    EXPECT_TRUE(watch.threads.empty());
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(edit.hasBackground());
    EXPECT_EQ(edit.bkColor(), kRed);  // in call order: the last one stays
    EXPECT_EQ(edit.textColor(), kYellow);
    ASSERT_FALSE(watch.threads.empty());
    for (QThread* t : watch.threads)
        EXPECT_EQ(t, QApplication::instance()->thread());
    EXPECT_EQ(PaintedBackground(), QColor(255, 0, 0));
}

TEST_F(ReadOnlyEditTest, StreamFromAnotherThreadWhileThePainterRuns) {
    label.show();
    std::atomic<bool> done{false};
    std::thread receiver([this, &done] {
        for (int i = 0; i < 2000; ++i) {
            edit.SetBkColor(i % 2 == 0 ? kCyan : kRed);
            edit.SetTextColor(kYellow);
        }
        done = true;
    });
    while (!done) {
        label.repaint();
        QCoreApplication::processEvents();
    }
    receiver.join();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(edit.bkColor(), kRed);
    EXPECT_EQ(PaintedBackground(), QColor(255, 0, 0));
}

TEST(ReadOnlyEdit, QueuedChangesDieWithTheLabelObject) {
    QLabel label;
    const QPalette before = label.palette();
    auto edit = std::make_unique<CReadOnlyEdit>();
    edit->Attach(&label);
    std::thread([&edit] { edit->SetBkColor(kRed); }).join();
    edit.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(label.autoFillBackground());
    EXPECT_EQ(label.palette().color(QPalette::Window), before.color(QPalette::Window));
}

}  // namespace
}  // namespace norvane
