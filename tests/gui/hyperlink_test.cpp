// The hyperlink as a user meets it: hand cursor, blue until used and purple after, underlined
// while the pointer is over it, opened by a left-button or Space release, and bindings that
// end cleanly whichever of link, control and window goes first.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <vector>

#include "framework/framework.h"
#include "widgets/hyperlink.h"

namespace norvane {
namespace {

const QColor kBlue(0, 0, 255), kPurple(128, 0, 128);
const QUrl kUrl("https://example.org/bound");

class ProbeLink : public CHyperLink {
  public:
    int highlights = 0, unhighlights = 0;

  protected:
    void OnHighlight() override { ++highlights; }
    void OnUnhighlight() override { ++unhighlights; }
};

// A release without its press, as the link acts on releases only.
void Release(QWidget* w, Qt::MouseButton button) {
    QMouseEvent e(QEvent::MouseButtonRelease, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), button,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class Hyperlink : public testing::Test {
  protected:
    void SetUp() override {
        previousOpener = SetUrlOpener([this](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
        window->resize(300, 100);
        label = new QLabel("the link", window.get());
        button = new QPushButton("other", window.get());
        button->move(0, 50);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        // A status text other than the URL shows which of the two the link opens.
        ASSERT_TRUE(link.BindToStatic(label, "status text", kUrl));
    }
    void TearDown() override { SetUrlOpener(std::move(previousOpener)); }
    QColor TextColour() const { return label->palette().color(QPalette::WindowText); }

    std::vector<QUrl> opened;
    UrlOpener previousOpener;
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QLabel* label = nullptr;
    QPushButton* button = nullptr;
    ProbeLink link;
};

TEST_F(Hyperlink, PointerOverItUnderlinesOnceAndAwayRestores) {
    const QFont own = label->font();
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(TextColour(), kBlue);
    const QPoint onLink = label->geometry().center();
    QTest::mouseMove(window.get(), onLink);
    QTest::mouseMove(window.get(), onLink + QPoint(4, 0));
    EXPECT_TRUE(link.isHovering());
    EXPECT_TRUE(label->font().underline());
    QTest::mouseMove(window.get(), button->geometry().center());
    EXPECT_FALSE(link.isHovering());
    EXPECT_EQ(label->font(), own);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(link.highlights, 1);
    EXPECT_EQ(link.unhighlights, 1);
    QTest::mouseClick(button, Qt::LeftButton);  // the release is the button's, not the link's
    EXPECT_TRUE(opened.empty());
}

TEST_F(Hyperlink, LeftReleaseOrSpaceOpensTheBoundUrlAndTurnsItPurple) {
    Release(label, Qt::RightButton);
    for (const auto& [key, autoRepeat] : {std::pair{Qt::Key_A, false}, {Qt::Key_Space, true}}) {
        QKeyEvent e(QEvent::KeyRelease, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(label, &e);
    }
    EXPECT_TRUE(opened.empty());
    Release(label, Qt::LeftButton);
    QTest::keyRelease(label, Qt::Key_Space);
    EXPECT_EQ(opened, (std::vector<QUrl>{kUrl, kUrl}));
    QTest::mouseMove(window.get(), label->geometry().center());  // hover and leave: still purple
    QTest::mouseMove(window.get(), button->geometry().center());
    label->repaint();
    EXPECT_EQ(TextColour(), kPurple);
}

TEST_F(Hyperlink, EitherSideGoingFirstEndsTheBinding) {
    // The link first: its control is a plain label again.
    auto extra = std::make_unique<CHyperLink>();
    auto* other = new QLabel("other", window.get());
    ASSERT_TRUE(extra->BindToStatic(other, "x", kUrl));
    extra.reset();
    Release(other, Qt::LeftButton);
    EXPECT_TRUE(opened.empty());
    // The window first, with the pointer over the link: no grab left behind.
    QTest::mouseMove(window.get(), label->geometry().center());
    ASSERT_TRUE(link.isHovering());
    window.reset();
    EXPECT_EQ(link.control(), nullptr);
    EXPECT_EQ(CHyperLink::LinkCount(), 0);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_FALSE(CHyperLink::SharedUnderlineFont().has_value());
}

}  // namespace
}  // namespace norvane
