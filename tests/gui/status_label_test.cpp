// The coloured status label: the background appears only with the first SetBkColor, the text is
// in its colour, and changes from another thread are applied on the UI thread in call
// order, never after the label object has gone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <atomic>
#include <memory>
#include <thread>

#include "widgets/status_label.h"

namespace norvane {
namespace {

constexpr COLORREF kCyan = RGB(0, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);

class StatusLabel : public testing::Test {
  protected:
    StatusLabel() {
        label.resize(80, 20);
        edit.Attach(&label);
    }
    QColor PaintedBackground() { return label.grab().toImage().pixelColor(1, 1); }
    QLabel label;
    CReadOnlyEdit edit;
};

TEST_F(StatusLabel, BackgroundOnlyOnceSet) {
    const QColor dialogBackground = PaintedBackground();
    edit.SetTextColor(kYellow);
    EXPECT_EQ(PaintedBackground(), dialogBackground);
    edit.SetBkColor(kCyan);
    EXPECT_EQ(PaintedBackground(), ToQColor(kCyan));
}

TEST_F(StatusLabel, ChangesFromAnotherThreadArriveInOrderWhileThePainterRuns) {
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
    EXPECT_EQ(edit.bkColor(), kRed);  // in call order: the last one stays
    EXPECT_EQ(PaintedBackground(), ToQColor(kRed));
}

TEST(StatusLabelLifetime, QueuedChangesDieWithTheLabelObject) {
    QLabel label;
    auto edit = std::make_unique<CReadOnlyEdit>();
    edit->Attach(&label);
    std::thread([&edit] { edit->SetBkColor(kRed); }).join();
    EXPECT_FALSE(label.autoFillBackground());  // queued, not applied on the calling thread
    edit.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(label.autoFillBackground());
}

}  // namespace
}  // namespace norvane
