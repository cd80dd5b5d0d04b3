// The two dialog templates as the program builds them: every control with its ID, class, text,
// rectangle and order, and the windows' titles, sizes and caption buttons.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <vector>

#include "framework/dialog.h"
#include "res/resource.h"

namespace norvane {
namespace {

enum class Kind { Push, Combo, Label, Sunken, Centred, Bar, Group, Picture };

struct Expected {
    int id;
    Kind kind;
    const char* text;
    DialogRect rect;
};

// Template 131 as the NetMonitor window's resource script has it.
std::vector<Expected> Expected131() {
    std::vector<Expected> rows = {
        {1, Kind::Push, "Exit", {312, 306, 54, 12}},
        {1014, Kind::Combo, "", {60, 6, 259, 99}},
        {-1, Kind::Label, "Mobile Port :", {12, 6, 42, 13}},
    };
    const int rowY[8] = {108, 126, 144, 162, 180, 198, 216, 234};
    for (int k = 0; k < 8; ++k) {
        rows.push_back(
            {1052 + k, Kind::Bar, "", {k == 1 ? 47 : 48, k == 1 ? 125 : rowY[k], 212, 12}});
    }
    rows.push_back({-1, Kind::Group, "RSCP dBm", {42, 96, 252, 156}});
    rows.push_back({-1, Kind::Group, "PSC", {12, 96, 30, 156}});
    rows.push_back({-1, Kind::Group, "Ec/Io", {294, 96, 30, 156}});
    rows.push_back({-1, Kind::Group, "Freq MHz", {324, 96, 36, 156}});
    rows.push_back({1063, Kind::Label, "WCDMA Cells :", {12, 264, 54, 8}});
    rows.push_back({1064, Kind::Label, "GSM Cells :", {102, 264, 54, 8}});
    for (int k = 0; k < 8; ++k)
        rows.push_back({1065 + k, Kind::Label, "", {18, rowY[k], 18, 8}});
    for (int k = 0; k < 8; ++k)
        rows.push_back({1073 + k, Kind::Sunken, "", {264, rowY[k], 24, 12}});
    for (int k = 0; k < 8; ++k)
        rows.push_back({1081 + k, Kind::Label, "", {300, rowY[k], 18, 8}});
    for (int k = 0; k < 8; ++k)
        rows.push_back({1089 + k, Kind::Label, "", {330, rowY[k], 24, 8}});
    rows.push_back({1097, Kind::Label, "Modem UpTime :", {174, 264, 192, 8}});
    rows.push_back({1099, Kind::Centred, "PA temperature Ok !", {156, 276, 138, 18}});
    rows.push_back({1098, Kind::Centred, "Static", {12, 276, 144, 18}});
    rows.push_back({1015, Kind::Push, "Capture", {252, 306, 54, 12}});
    rows.push_back({1100, Kind::Push, "On RSCP", {132, 306, 54, 12}});
    rows.push_back({1043, Kind::Push, "Off RSCP", {192, 306, 54, 12}});
    rows.push_back({1045, Kind::Push, "On SAR/PA", {72, 306, 54, 12}});
    rows.push_back({1046, Kind::Push, "Off SAR/PA", {12, 306, 54, 12}});
    return rows;
}

std::vector<Expected> Expected102() {
    return {
        {1013, Kind::Picture, "", {6, 0, 336, 252}},
        {102, Kind::Label, " Homepage ...", {6, 258, 319, 9}},
        {1041, Kind::Push, "Quit", {258, 270, 70, 13}},
        {1042, Kind::Push, "NetMonitor", {150, 270, 70, 13}},
    };
}

void CheckControl(const CDialog& dlg, const DialogControl& control, const Expected& want) {
    SCOPED_TRACE(testing::Message() << "control " << want.id << " \"" << want.text << "\"");
    EXPECT_EQ(control.id, want.id);
    QWidget* w = control.widget;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), &dlg);
    const QRect px = dlg.MapDialogRect(want.rect).translated(dlg.clientOrigin());
    switch (want.kind) {
        case Kind::Push: {
            auto* b = qobject_cast<QPushButton*>(w);
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->text(), QString::fromLatin1(want.text));
            EXPECT_EQ(b->focusPolicy(), Qt::StrongFocus);  // tab stop
            break;
        }
        case Kind::Combo: {
            auto* c = qobject_cast<QComboBox*>(w);
            ASSERT_NE(c, nullptr);
            EXPECT_FALSE(c->isEditable());
            EXPECT_EQ(c->focusPolicy(), Qt::StrongFocus);
            // The template's height is the opened list's: only position and width apply.
            EXPECT_EQ(w->geometry().topLeft(), px.topLeft());
            EXPECT_EQ(w->width(), px.width());
            return;
        }
        case Kind::Label:
        case Kind::Sunken:
        case Kind::Centred: {
            auto* l = qobject_cast<QLabel*>(w);
            ASSERT_NE(l, nullptr);
            EXPECT_EQ(l->text(), QString::fromLatin1(want.text));
            EXPECT_EQ(l->textFormat(), Qt::PlainText);
            const bool sunken = want.kind != Kind::Label;
            EXPECT_EQ(l->frameShape() == QFrame::Panel && l->frameShadow() == QFrame::Sunken,
                      sunken);
            EXPECT_EQ(l->alignment(),
                      want.kind == Kind::Centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
            break;
        }
        case Kind::Picture: {
            auto* l = qobject_cast<QLabel*>(w);
            ASSERT_NE(l, nullptr);
            EXPECT_EQ(l->pixmap().size(), QSize(500, 395));
            EXPECT_EQ(l->alignment(), Qt::AlignCenter);
            break;
        }
        case Kind::Bar: {
            auto* p = qobject_cast<QProgressBar*>(w);
            ASSERT_NE(p, nullptr);
            EXPECT_FALSE(p->isTextVisible());
            break;
        }
        case Kind::Group: {
            auto* g = qobject_cast<QGroupBox*>(w);
            ASSERT_NE(g, nullptr);
            EXPECT_EQ(g->title(), QString::fromLatin1(want.text));
            EXPECT_EQ(g->alignment(), Qt::AlignHCenter);
            break;
        }
    }
    EXPECT_EQ(w->geometry(), px);
}

void CheckControls(const CDialog& dlg, const std::vector<Expected>& want) {
    ASSERT_EQ(dlg.controls().size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "template row " << i);
        CheckControl(dlg, dlg.controls()[i], want[i]);
    }
}

// Tab order is template order: Qt's focus chain among tab stops.
std::vector<int> TabChain(const CDialog& dlg) {
    std::vector<int> ids;
    QWidget* first = nullptr;
    for (QWidget* w = dlg.nextInFocusChain(); w != &dlg && w != first; w = w->nextInFocusChain()) {
        if (first == nullptr)
            first = w;
        if (w->focusPolicy() & Qt::TabFocus)
            ids.push_back(DialogItemId(w));
    }
    return ids;
}

TEST(Template131, ControlsInOrderWithIdsClassesTextsAndRectangles) {
    CDialog dlg(DialogResource(IDD_NETMONITOR));
    dlg.Create();
    CheckControls(dlg, Expected131());
    EXPECT_EQ(dlg.item(IDC_PORT), dlg.controls()[1].widget);
    EXPECT_EQ(TabChain(dlg), (std::vector<int>{1, 1014, 1015, 1100, 1043, 1045, 1046}));
}

TEST(Template131, WindowTitleSizeFontAndNoCloseBox) {
    CDialog dlg(DialogResource(IDD_NETMONITOR));
    dlg.Create();
    EXPECT_EQ(dlg.windowTitle(), "Norvane NetMonitor UMTS V.1.00 beta");
    EXPECT_EQ(dlg.size(), dlg.MapDialogRect({0, 0, 376, 330}).size());
    EXPECT_EQ(dlg.clientOrigin(), QPoint(0, 0));
    EXPECT_EQ(dlg.menuBar(), nullptr);
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(dlg.font().family(), "Liberation Sans");
    EXPECT_EQ(dlg.font().pointSize(), 8);
    EXPECT_EQ(QFontInfo(dlg.item(IDOK)->font()).family(), "Liberation Sans");  // installed, used
    // The default focus: the first tab stop, "Exit".
    EXPECT_EQ(dlg.focusWidget(), dlg.item(IDOK));
}

TEST(Template102, ControlsInOrderWithIdsClassesTextsAndRectangles) {
    CDialog dlg(DialogResource(IDD_NORVANE_DIALOG));
    dlg.Create();
    CheckControls(dlg, Expected102());
    EXPECT_EQ(TabChain(dlg), (std::vector<int>{1041, 1042}));
    EXPECT_EQ(dlg.focusWidget(), dlg.item(IDC_QUIT));
}

TEST(Template102, TitleSizeCloseBoxAndInertMenu) {
    CDialog dlg(DialogResource(IDD_NORVANE_DIALOG));
    dlg.Create();
    EXPECT_EQ(dlg.windowTitle(), "Norvane UMTS");
    ASSERT_NE(dlg.menuBar(), nullptr);
    const int menuHeight = dlg.menuBar()->height();
    EXPECT_GT(menuHeight, 0);
    EXPECT_EQ(dlg.clientOrigin(), QPoint(0, menuHeight));
    EXPECT_EQ(dlg.size(), dlg.MapDialogRect({0, 0, 348, 293}).size() + QSize(0, menuHeight));
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    const QList<QAction*> actions = dlg.menuBar()->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_TRUE(actions[0]->text().isEmpty());
    actions[0]->trigger();  // no handler: nothing happens, the window stays
    EXPECT_EQ(dlg.result(), 0);
}

TEST(Resources, HomepageStringVersionAndPictures) {
    EXPECT_EQ(LoadString(IDS_HOMEPAGE), QString::fromLatin1(kHomepageUrl));
    EXPECT_TRUE(QString::fromLatin1(kHomepageUrl).startsWith("https://www.example.org/"));
    EXPECT_TRUE(LoadString(4711).isEmpty());
    EXPECT_STREQ(kVersionInfo.productName, "Norvane UMTS");
    EXPECT_STREQ(kVersionInfo.fileDescription, "Norvane");
    EXPECT_EQ(kVersionInfo.fileVersion[0], 1);

    // The start picture: 500 x 395, 24 bits per pixel (PNG colour type 2, 8 bits per sample).
    QFile picture(BitmapPath(IDB_START));
    ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
    const QByteArray header = picture.read(26);
    ASSERT_EQ(header.size(), 26);
    EXPECT_EQ(header.mid(12, 4), "IHDR");
    auto be32 = [&](int at) {
        return (uchar(header[at]) << 24) | (uchar(header[at + 1]) << 16) |
               (uchar(header[at + 2]) << 8) | uchar(header[at + 3]);
    };
    EXPECT_EQ(be32(16), 500);
    EXPECT_EQ(be32(20), 395);
    EXPECT_EQ(header[24], 8);
    EXPECT_EQ(header[25], 2);

    const QIcon icon = LoadIcon(IDR_MAINFRAME);
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : {16, 32, 48}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
        EXPECT_EQ(QImage(QStringLiteral(":/norvane/icon/128-%1.png").arg(size)).size(),
                  QSize(size, size));
    }
    EXPECT_TRUE(QFile::exists(":/norvane/icon/128.svg"));
}

}  // namespace
}  // namespace norvane
