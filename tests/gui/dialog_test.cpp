// The dialog framework: dialog units, message-map dispatch, Enter/Esc, modal runs, bars and the
// message box recorder.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/progress_ctrl.h"

namespace norvane {
namespace {

TEST(DialogUnits, BaseUnitsSixByThirteenAt96Dpi) {
    // x: 6/4 pixel per unit, y: 13/8, each value rounded on its own.
    EXPECT_EQ(DialogUnitsToPixels({312, 306, 54, 12}, 96), QRect(468, 497, 81, 20));
    EXPECT_EQ(DialogUnitsToPixels({47, 125, 212, 12}, 96), QRect(71, 203, 318, 20));
    EXPECT_EQ(DialogUnitsToPixels({0, 0, 376, 330}, 96), QRect(0, 0, 564, 536));
    EXPECT_EQ(DialogUnitsToPixels({1, 1, 3, 5}, 96), QRect(2, 2, 5, 8));  // 1.5, 1.625, 4.5, 8.125
}

TEST(DialogUnits, ScaleWithLogicalDpi) {
    EXPECT_EQ(DialogUnitsToPixels({312, 306, 54, 12}, 192), QRect(936, 995, 162, 39));
    EXPECT_EQ(DialogUnitsToPixels({4, 8, 4, 8}, 144), QRect(9, 20, 9, 20));
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

class DialogTest : public testing::Test {
  protected:
    void ShowActive(QWidget& w) {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }
};

TEST_F(DialogTest, DataExchangeBindsBeforeInitAndFocusGoesToFirstTabStop) {
    LogDlg dlg;
    dlg.Create();
    EXPECT_TRUE(dlg.initSawBinding);
    EXPECT_EQ(dlg.list, dlg.item(kList));
    EXPECT_EQ(dlg.focusWidget(), dlg.item(kList));

    LogDlg noFocus;
    noFocus.focusFirst = false;
    noFocus.Create();
    EXPECT_EQ(noFocus.focusWidget(), nullptr);
}

TEST_F(DialogTest, NotificationsReachTheFirstMatchingHandlerInMapOrder) {
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

TEST_F(DialogTest, DerivedEntryWinsOverBaseAndBaseMapStillServesIdCancel) {
    LogDlg dlg;
    dlg.Create();
    ShowActive(dlg);
    QTest::mouseClick(dlg.item(IDOK), Qt::LeftButton);
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"ok"}));
    EXPECT_EQ(dlg.result(), IDOK);
    EXPECT_FALSE(dlg.isVisible());

    LogDlg second;
    second.Create();
    EXPECT_TRUE(second.Command(IDCANCEL));
    EXPECT_EQ(second.log, (std::vector<std::string>{"cancel"}));
    EXPECT_EQ(second.result(), IDCANCEL);
}

TEST_F(DialogTest, EnterSendsIdOkUnlessAFocusedButtonTakesIt) {
    LogDlg dlg;
    dlg.Create();
    ShowActive(dlg);
    // Focus on the drop-down list, which does not take Enter: IDOK.
    ASSERT_EQ(QApplication::focusWidget(), dlg.item(kList));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"ok"}));
    EXPECT_EQ(dlg.result(), IDOK);

    LogDlg other;
    other.Create();
    ShowActive(other);
    other.item(kGo)->setFocus();
    QTest::keyClick(other.item(kGo), Qt::Key_Return);  // the focused button is clicked
    QTest::keyClick(other.item(kGo), Qt::Key_Enter);
    QTest::keyClick(other.item(kGo), Qt::Key_Space);  // as is Space
    EXPECT_EQ(other.log, (std::vector<std::string>{"go", "go", "go"}));
    EXPECT_TRUE(other.isVisible());
}

TEST_F(DialogTest, EscAndCloseBoxSendIdCancel) {
    LogDlg dlg;
    dlg.Create();
    ShowActive(dlg);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"cancel"}));
    EXPECT_EQ(dlg.result(), IDCANCEL);

    LogDlg closed;
    closed.Create();
    ShowActive(closed);
    closed.close();
    EXPECT_EQ(closed.log, (std::vector<std::string>{"cancel"}));
    EXPECT_FALSE(closed.isVisible());
}

TEST_F(DialogTest, DoModalReturnsTheEndDialogValue) {
    LogDlg dlg;
    QTimer::singleShot(0, &dlg, [&dlg] {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &dlg,
                        Qt::Key_Return);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);

    LogDlg esc;
    QTimer::singleShot(0, &esc, [&esc] { QTest::keyClick(&esc, Qt::Key_Escape); });
    EXPECT_EQ(esc.DoModal(), IDCANCEL);

    LogDlg ended;
    QTimer::singleShot(0, &ended, [&ended] { ended.EndDialog(0); });
    EXPECT_EQ(ended.DoModal(), 0);
}

TEST_F(DialogTest, BarPositionsAreClampedToTheRange) {
    LogDlg dlg;
    dlg.Create();
    dlg.bar.SetRange32(-120, -70);
    dlg.bar.SetPos(-95);
    EXPECT_EQ(dlg.bar.GetPos(), -95);
    dlg.bar.SetPos(-30);
    EXPECT_EQ(dlg.bar.GetPos(), -70);
    dlg.bar.SetPos(-200);
    EXPECT_EQ(dlg.bar.GetPos(), -120);
    dlg.bar.SetPos(5);  // a positive value, as a wrapped modem byte would give
    EXPECT_EQ(dlg.bar.GetPos(), -70);
    dlg.bar.SetBarColor(RGB(0, 255, 0));
    EXPECT_EQ(dlg.bar.bar()->palette().color(QPalette::Highlight), QColor(0, 255, 0));
}

TEST_F(DialogTest, ItemTextAndVisibilityById) {
    LogDlg dlg;
    dlg.Create();
    dlg.setItemText(kNote, "changed");
    EXPECT_EQ(dlg.itemText(kNote), "changed");
    EXPECT_EQ(qobject_cast<QLabel*>(dlg.item(kNote))->text(), "changed");
    dlg.setItemText(kGo, "Went");
    EXPECT_EQ(dlg.itemText(kGo), "Went");
    EXPECT_EQ(dlg.itemText(kList), "a");
    dlg.showItem(1004, false);
    EXPECT_TRUE(dlg.item(1004)->isHidden());
    dlg.showItem(1004, true);
    EXPECT_FALSE(dlg.item(1004)->isHidden());
    EXPECT_EQ(dlg.item(4242), nullptr);
    EXPECT_EQ(DialogItem(&dlg, kGo), dlg.item(kGo));
    EXPECT_EQ(DialogItemId(dlg.item(kNote)), kNote);
}

TEST(MessageBox, RecorderKeepsOwnerTextAndCaption) {
    std::vector<MessageBoxCall> calls;
    MessageBoxPresenter previous =
        SetMessageBoxPresenter([&calls](const MessageBoxCall& c) { calls.push_back(c); });
    QWidget owner;
    ShowMessageBox(&owner, "Store to: NetMonitor.JPG", "norvane");
    ShowMessageBox(nullptr, "second", "Info");
    SetMessageBoxPresenter(std::move(previous));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].owner, &owner);
    EXPECT_EQ(calls[0].text, "Store to: NetMonitor.JPG");
    EXPECT_EQ(calls[0].caption, "norvane");
    EXPECT_EQ(calls[1].owner, nullptr);
    EXPECT_EQ(calls[1].caption, "Info");
}

}  // namespace
}  // namespace norvane
