// The dialog framework: dialog units, message-map dispatch, how Enter, Esc and the close box end
// a modal run, and bars that clamp as Windows draws them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/dialog.h"
#include "framework/progress_ctrl.h"

namespace norvane {
namespace {

TEST(DialogUnits, SixByThirteenAt96DpiScaledAndEachValueRoundedOnItsOwn) {
    const struct {
        DialogRect units;
        double dpi;
        QRect pixels;
    } cases[] = {
        {{312, 306, 54, 12}, 96, QRect(468, 497, 81, 20)},
        {{0, 0, 376, 330}, 96, QRect(0, 0, 564, 536)},
        {{1, 1, 3, 5}, 96, QRect(2, 2, 5, 8)},  // 1.5, 1.625, 4.5, 8.125
        {{312, 306, 54, 12}, 192, QRect(936, 995, 162, 39)},
        {{4, 8, 4, 8}, 144, QRect(9, 20, 9, 20)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DialogUnitsToPixels(c.units, c.dpi), c.pixels) << c.dpi;
    }
}

constexpr int kGo = 1001;
constexpr int kList = 1002;
constexpr int kNote = 1003;

constexpr ControlTemplate kTestControls[] = {
    {kList, ControlClass::ComboBox, "", {10, 10, 100, 60}, CBS_DROPDOWNLIST | WS_TABSTOP},
    {kGo, ControlClass::Button, "Go", {10, 40, 50, 14}, BS_PUSHBUTTON | WS_TABSTOP},
    {IDOK, ControlClass::Button, "OK", {70, 40, 50, 14}, BS_PUSHBUTTON | WS_TABSTOP},
    {kNote, ControlClass::Static, "note", {10, 60, 50, 8}, SS_LEFT | SS_NOTIFY},
    {1004, ControlClass::Progress, "", {10, 70, 100, 8}, PBS_SMOOTH},
};

constexpr DialogTemplate kTestDialog{
    900, "Test",        {0, 0, 130, 90}, WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, "MS Shell Dlg",
    8,   kTestControls,
};

// A dialog that logs which handler ran.
class LogDlg : public CDialog {
  public:
    LogDlg() : CDialog(kTestDialog) {}
    std::vector<std::string> log;
    QComboBox* list = nullptr;
    CProgressCtrl bar;
    bool initSawBinding = false;
    bool focusFirst = true;

    static const MessageMap& ClassMessageMap() {
        static const MessageMapEntry entries[] = {
            MapEntry(Notify::Clicked, kGo, &LogDlg::OnGo),
            MapEntry(Notify::Clicked, kGo, &LogDlg::OnGoSecond),  // never reached
            MapEntry(Notify::SelChange, kList, &LogDlg::OnListChange),
            MapEntry(Notify::Clicked, kNote, &LogDlg::OnNote),
            MapEntry(Notify::CustomDraw, 1004, &LogDlg::OnDrawBar),
            MapEntry(Notify::Clicked, IDOK, &LogDlg::OnMyOk),
        };
        static const MessageMap map{&CDialog::ClassMessageMap(), entries};
        return map;
    }

  protected:
    const MessageMap& GetMessageMap() const override { return ClassMessageMap(); }
    void DoDataExchange() override {
        DDX_Control(kList, list);
        DDX_Control(1004, bar);
    }
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        initSawBinding = list != nullptr && bar.bar() != nullptr;
        list->addItems({"a", "b", "c"});
        return focusFirst;
    }
    void OnCancel() override {
        log.push_back("cancel");
        CDialog::OnCancel();
    }

  private:
    void OnGo() { log.push_back("go"); }
    void OnGoSecond() { log.push_back("go2"); }
    void OnListChange() { log.push_back("list " + std::to_string(list->currentIndex())); }
    void OnNote() { log.push_back("note"); }
    void OnDrawBar() { log.push_back("draw"); }
    void OnMyOk() {
        log.push_back("ok");
        OnOK();
    }
};

void ShowActive(QWidget& w) {
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

TEST(Dialog, DataExchangeBindsBeforeInitAndFocusGoesToFirstTabStop) {
    LogDlg dlg;
    dlg.Create();
    EXPECT_TRUE(dlg.initSawBinding);
    EXPECT_EQ(dlg.focusWidget(), dlg.item(kList));
    LogDlg noFocus;
    noFocus.focusFirst = false;
    noFocus.Create();
    EXPECT_EQ(noFocus.focusWidget(), nullptr);
}

TEST(Dialog, NotificationsReachTheFirstMatchingHandlerInMapOrder) {
    LogDlg dlg;
    dlg.Create();
    ShowActive(dlg);
    QTest::mouseClick(dlg.item(kGo), Qt::LeftButton);
    QTest::mouseClick(dlg.item(kNote), Qt::LeftButton);
    dlg.item(kList)->setFocus();
    QTest::keyClick(dlg.item(kList), Qt::Key_Down);                 // the user picks the next entry
    qobject_cast<QComboBox*>(dlg.item(kList))->setCurrentIndex(2);  // code: no notification
    EXPECT_TRUE(dlg.Dispatch(Notify::CustomDraw, 1004));
    EXPECT_FALSE(dlg.Dispatch(Notify::SelChange, kGo));  // no entry anywhere in the chain
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"go", "note", "list 1", "draw"}));
    EXPECT_TRUE(dlg.isVisible());
}

// Enter: IDOK through the derived map, unless a focused button takes it; Esc and the close box:
// IDCANCEL through the base map.
TEST(Dialog, EnterEscAndCloseBoxEndTheModalRun) {
    const struct {
        const char* name;
        std::function<void(LogDlg&)> act;
        int result;
        std::vector<std::string> log;
    } cases[] = {
        {"Enter",
         [](LogDlg&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); },
         IDOK,
         {"ok"}},
        {"Esc",
         [](LogDlg&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); },
         IDCANCEL,
         {"cancel"}},
        {"close box", [](LogDlg& d) { d.close(); }, IDCANCEL, {"cancel"}},
        {"EndDialog", [](LogDlg& d) { d.EndDialog(7); }, 7, {}},
        {"keys on a button",
         [](LogDlg& d) {
             d.item(kGo)->setFocus();
             for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
                 QTest::keyClick(d.item(kGo), key);
             }
             d.EndDialog(0);
         },
         0,
         {"go", "go", "go"}},
    };
    for (const auto& c : cases) {
        LogDlg dlg;
        QTimer::singleShot(0, &dlg, [&] {
            dlg.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
            c.act(dlg);
        });
        EXPECT_EQ(dlg.DoModal(), c.result) << c.name;
        EXPECT_EQ(dlg.log, c.log) << c.name;
        EXPECT_FALSE(dlg.isVisible());
    }
}

TEST(Dialog, BarPositionsAreClampedToTheRange) {
    LogDlg dlg;
    dlg.Create();
    dlg.bar.SetRange32(-120, -70);
    // 5: a positive value, as a wrapped modem byte would give.
    for (auto [pos, shown] : {std::pair{-95, -95}, {-30, -70}, {-200, -120}, {5, -70}}) {
        dlg.bar.SetPos(pos);
        EXPECT_EQ(dlg.bar.GetPos(), shown) << pos;
        EXPECT_EQ(dlg.bar.bar()->value(), shown) << pos;
    }
}

}  // namespace
}  // namespace norvane
