// The homepage link on the start window's static control 102, and two links sharing one parent.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <memory>
#include <vector>

#include "app/demo_link.h"
#include "framework/dialog.h"
#include "framework/framework.h"
#include "res/resource.h"
#include "widgets/hyperlink.h"

namespace norvane {
namespace {

const QColor kBlue(0, 0, 255);
const QColor kPurple(128, 0, 128);

class ProbeLink : public CDemoLink {
  public:
    int highlights = 0;
    int unhighlights = 0;

  protected:
    void OnHighlight() override {
        ++highlights;
        CDemoLink::OnHighlight();
    }
    void OnUnhighlight() override {
        ++unhighlights;
        CDemoLink::OnUnhighlight();
    }
};

void Move(QWidget* w, QPoint pos) {
    QMouseEvent e(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void Release(QWidget* w, Qt::MouseButton button) {
    const QPoint pos(2, 2);
    QMouseEvent e(QEvent::MouseButtonRelease, pos, w->mapToGlobal(pos), button, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void KeyRelease(QWidget* w, int key, bool autoRepeat = false) {
    QKeyEvent e(QEvent::KeyRelease, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(w, &e);
}

class HyperlinkTest : public testing::Test {
  protected:
    void SetUp() override {
        previousOpener = SetUrlOpener([this](const QUrl& url) {
            opened.push_back(url.toString());
            return true;
        });
        dlg = std::make_unique<CDialog>(DialogResource(IDD_NORVANE_DIALOG));
        dlg->Create();
        dlg->show();
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        // A status text other than the homepage shows which of the two the link opens.
        ASSERT_TRUE(
            link.BindToDialogItem(dlg.get(), IDC_HOMEPAGE, "status text", QUrl(kHomepageUrl)));
        label = qobject_cast<QLabel*>(dlg->item(IDC_HOMEPAGE));
        ASSERT_EQ(link.control(), label);
    }
    void TearDown() override { SetUrlOpener(std::move(previousOpener)); }

    QColor TextColour() const { return label->palette().color(QPalette::WindowText); }

    std::vector<QString> opened;
    UrlOpener previousOpener;
    std::unique_ptr<CDialog> dlg;
    ProbeLink link;
    QLabel* label = nullptr;
};

TEST_F(HyperlinkTest, HoverUnderlinesAndNotifiesOnceEach) {
    const QFont own = label->font();
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(TextColour(), kBlue);
    Move(label, {5, 5});
    Move(label, {10, 6});
    EXPECT_TRUE(link.isHovering());
    EXPECT_TRUE(label->font().underline());
    EXPECT_EQ(link.highlights, 1);
    EXPECT_EQ(StatusMessage(), "status text");
    Move(label, {label->width() + 3, 5});
    Move(label, {label->width() + 9, 5});
    EXPECT_FALSE(link.isHovering());
    EXPECT_EQ(label->font(), own);
    EXPECT_EQ(link.unhighlights, 1);
    EXPECT_EQ(StatusMessage(), "Ready");
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_TRUE(opened.empty());
}

TEST_F(HyperlinkTest, ReleaseAloneOpensTheHomepageAndTheLinkStaysPurple) {
    Release(label, Qt::RightButton);
    EXPECT_TRUE(opened.empty());
    Release(label, Qt::LeftButton);  // no press before it
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QString::fromLatin1(kHomepageUrl));
    EXPECT_TRUE(link.isVisited());
    EXPECT_EQ(TextColour(), kBlue);  // not yet repainted
    label->repaint();
    EXPECT_EQ(TextColour(), kPurple);
    Move(label, {5, 5});
    Move(label, {-4, 5});
    label->repaint();
    EXPECT_EQ(TextColour(), kPurple);
    Release(label, Qt::LeftButton);
    EXPECT_EQ(opened.size(), 2u);
    label->repaint();
    EXPECT_EQ(TextColour(), kPurple);
}

TEST_F(HyperlinkTest, SpaceReleaseWithFocusOpensOtherKeysPassOn) {
    label->setFocus();
    ASSERT_TRUE(label->hasFocus());
    EXPECT_EQ(link.highlights, 1);
    KeyRelease(label, Qt::Key_A);
    KeyRelease(label, Qt::Key_Space, /*autoRepeat=*/true);
    EXPECT_TRUE(opened.empty());
    KeyRelease(label, Qt::Key_Space);
    EXPECT_EQ(opened.size(), 1u);
    dlg->item(IDC_QUIT)->setFocus();
    EXPECT_EQ(link.unhighlights, 1);
}

TEST_F(HyperlinkTest, FocusRectangleOnePixelOutsideDrawnAndRemoved) {
    const QRect ring = label->geometry().adjusted(-1, -1, 1, 1);
    auto ringPixelsOff = [&](const QImage& now, const QImage& before) {
        int changed = 0;
        for (int x = ring.left(); x <= ring.right(); ++x) {
            changed += now.pixel(x, ring.top()) != before.pixel(x, ring.top());
            changed += now.pixel(x, ring.bottom()) != before.pixel(x, ring.bottom());
        }
        for (int y = ring.top() + 1; y < ring.bottom(); ++y) {
            changed += now.pixel(ring.left(), y) != before.pixel(ring.left(), y);
            changed += now.pixel(ring.right(), y) != before.pixel(ring.right(), y);
        }
        return changed;
    };
    const QImage before = dlg->grab().toImage();
    label->setFocus();
    ASSERT_TRUE(link.isShowingFocusRect());
    const QImage focused = dlg->grab().toImage();
    const int perimeter = 2 * ring.width() + 2 * (ring.height() - 2);
    // Dotted: about every other pixel of the ring, nothing two pixels out.
    EXPECT_GT(ringPixelsOff(focused, before), perimeter / 3);
    EXPECT_LT(ringPixelsOff(focused, before), perimeter * 2 / 3);
    EXPECT_EQ(focused.pixel(ring.left() - 1, ring.top() + 2),
              before.pixel(ring.left() - 1, ring.top() + 2));
    dlg->item(IDC_QUIT)->setFocus();
    EXPECT_FALSE(link.isShowingFocusRect());
    EXPECT_EQ(ringPixelsOff(dlg->grab().toImage(), before), 0);
}

TEST_F(HyperlinkTest, LinkDestroyedBeforeItsControlUnbinds) {
    auto extra = std::make_unique<CHyperLink>();
    QLabel* quitLess = new QLabel("other", dlg.get());
    ASSERT_TRUE(extra->BindToStatic(quitLess, "x", QUrl()));
    EXPECT_EQ(CHyperLink::LinkCount(), 2);
    extra.reset();
    EXPECT_EQ(CHyperLink::LinkCount(), 1);
    EXPECT_FALSE(quitLess->property(CHyperLink::kProperty).isValid());
    Move(quitLess, {2, 2});
    Release(quitLess, Qt::LeftButton);
    EXPECT_TRUE(opened.empty());
}

TEST(HyperlinkShared, TwoLinksShareTheFirstFontAndOneParentFilter) {
    QWidget parent;
    auto* first = new QLabel("first", &parent);
    auto* second = new QLabel("second", &parent);
    first->setFont(QFont("Liberation Sans", 14));
    second->setFont(QFont("Liberation Sans", 9));
    second->move(0, 40);
    CHyperLink a;
    CHyperLink b;
    ASSERT_TRUE(a.BindToStatic(first, "a", QUrl()));
    ASSERT_TRUE(b.BindToStatic(second, "b", QUrl()));
    EXPECT_EQ(CHyperLink::LinkCount(), 2);
    EXPECT_EQ(
        parent.findChildren<QObject*>("hyperlinkParentFilter", Qt::FindDirectChildrenOnly).size(),
        1);

    delete first;  // the first control goes: its link is released, the shared font stays
    EXPECT_EQ(a.control(), nullptr);
    EXPECT_EQ(CHyperLink::LinkCount(), 1);
    Move(second, {2, 2});
    EXPECT_TRUE(second->font().underline());
    EXPECT_EQ(second->font().pointSize(), 14);  // made from the first bound control's font
    EXPECT_EQ(second->cursor().shape(), Qt::PointingHandCursor);
    Move(second, {-5, 2});
    EXPECT_EQ(second->font().pointSize(), 9);

    delete second;
    EXPECT_EQ(CHyperLink::LinkCount(), 0);
    EXPECT_FALSE(CHyperLink::SharedUnderlineFont().has_value());
}

}  // namespace
}  // namespace norvane

namespace norvane {
namespace {

// The same hover through the window system's pointer, as a person moves it.
TEST_F(HyperlinkTest, PointerOverTheLinkAndAwayThroughTheWindow) {
    const QPoint onLink = label->geometry().center();
    QTest::mouseMove(dlg.get(), onLink);
    QTest::mouseMove(dlg.get(), onLink + QPoint(4, 0));
    EXPECT_TRUE(link.isHovering());
    EXPECT_EQ(QWidget::mouseGrabber(), label);
    QTest::mouseMove(dlg.get(), dlg->item(IDC_QUIT)->geometry().center());
    EXPECT_FALSE(link.isHovering());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(link.highlights, 1);
    EXPECT_EQ(link.unhighlights, 1);
    QTest::mouseClick(dlg->item(IDC_QUIT),
                      Qt::LeftButton);  // the release is Quit's, not the link's
    EXPECT_TRUE(opened.empty());
}

}  // namespace
}  // namespace norvane

namespace norvane {
namespace {

// As the start window holds it: the link a member of the dialog, the focus on the link while the
// window goes away.
class StartLikeDlg : public CDialog {
  public:
    StartLikeDlg() : CDialog(DialogResource(IDD_NORVANE_DIALOG)) {}
    CDemoLink link;

  protected:
    bool OnInitDialog() override {
        link.BindToDialogItem(this, IDC_HOMEPAGE, LoadString(IDS_HOMEPAGE), QUrl(kHomepageUrl));
        return true;
    }
};

TEST(HyperlinkLifetime, DialogWithFocusedLinkGoesAway) {
    {
        StartLikeDlg dlg;
        dlg.Create();
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        dlg.item(IDC_HOMEPAGE)->setFocus();
        EXPECT_EQ(StatusMessage(), QString::fromLatin1(kHomepageUrl));
        QTest::mouseMove(&dlg, dlg.item(IDC_HOMEPAGE)->geometry().center());
        EXPECT_TRUE(dlg.link.isHovering());
        EXPECT_EQ(CHyperLink::LinkCount(), 1);
    }
    EXPECT_EQ(CHyperLink::LinkCount(), 0);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

}  // namespace
}  // namespace norvane
