// The start window: focus, the homepage link, the picture's click, every way its modal run ends,
// and the program's command line. "NetMonitor" is pressed in the end-to-end run.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/start_window.h"
#include "framework/framework.h"
#include "res/resource.h"

namespace norvane {
namespace {

// Beeps and opened URLs in the order they happened.
class StartWindow : public testing::Test {
  protected:
    void SetUp() override {
        previousBeeper = SetBeeper([this] { events.push_back("beep"); });
        previousOpener = SetUrlOpener([this](const QUrl& url) {
            events.push_back("open " + url.toString().toStdString());
            return true;
        });
        SetMainWindow(&dlg);
    }
    void TearDown() override {
        SetMainWindow(nullptr);
        SetBeeper(std::move(previousBeeper));
        SetUrlOpener(std::move(previousOpener));
    }
    void Show() {
        dlg.Create();
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }

    std::vector<std::string> events;
    Beeper previousBeeper;
    UrlOpener previousOpener;
    CTessalyDlg dlg;
};

// The picture beeps on a left click, then opens the homepage; a right click does nothing.
TEST_F(StartWindow, FocusOnQuitLinkAndPictureOpenTheHomepageAndTheMenuIsInert) {
    Show();
    EXPECT_EQ(QApplication::focusWidget(), dlg.item(IDC_QUIT));
    EXPECT_EQ(dlg.windowType(), Qt::Window);  // a task bar entry of its own
    EXPECT_EQ(dlg.itemText(IDC_HOMEPAGE), " Homepage ...");
    // Over the link the status message shows the address, "Ready" again afterwards.
    QTest::mouseMove(&dlg, dlg.item(IDC_HOMEPAGE)->geometry().center());
    EXPECT_EQ(StatusMessage(), QString::fromLatin1(kHomepageUrl));
    QTest::mouseMove(&dlg, dlg.item(IDC_QUIT)->geometry().center());
    EXPECT_EQ(StatusMessage(), "Ready");
    QTest::mouseMove(&dlg, dlg.item(IDC_HOMEPAGE)->geometry().center());
    QTest::mouseClick(dlg.item(IDC_HOMEPAGE), Qt::LeftButton);
    QWidget* picture = dlg.item(IDC_PICTURE);
    EXPECT_FALSE(qobject_cast<QLabel*>(picture)->pixmap().isNull());
    QTest::mouseClick(picture, Qt::LeftButton, Qt::NoModifier, picture->rect().center());
    QTest::mouseClick(picture, Qt::RightButton, Qt::NoModifier, picture->rect().center());
    ASSERT_EQ(dlg.menuBar()->actions().size(), 1);
    dlg.menuBar()->actions()[0]->trigger();
    EXPECT_TRUE(dlg.isVisible());
    const std::string open = std::string("open ") + kHomepageUrl;
    EXPECT_EQ(events, (std::vector<std::string>{open, "beep", open}));
}

void KeyToFocus(Qt::Key key) {
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), key);
}

TEST_F(StartWindow, EveryEndingOfTheModalRun) {
    const struct {
        const char* name;
        std::function<void(CTessalyDlg&)> act;
        int result;
    } cases[] = {
        {"Enter on Quit", [](CTessalyDlg&) { KeyToFocus(Qt::Key_Return); }, 0},
        {"Enter elsewhere",
         [](CTessalyDlg& d) {
             d.item(IDC_QUIT)->clearFocus();
             QTest::keyClick(&d, Qt::Key_Enter);
         },
         IDOK},
        {"Esc", [](CTessalyDlg&) { KeyToFocus(Qt::Key_Escape); }, IDCANCEL},
        {"close box", [](CTessalyDlg& d) { d.close(); }, IDCANCEL},
    };
    for (const auto& c : cases) {
        CTessalyDlg start;
        QTimer::singleShot(0, qApp, [&] {
            ASSERT_TRUE(QTest::qWaitForWindowActive(&start));
            c.act(start);
        });
        QTimer::singleShot(10000, &start, [&] { start.EndDialog(-1); });  // fail, not hang
        EXPECT_EQ(start.DoModal(), c.result) << c.name;
        EXPECT_FALSE(start.isVisible());
    }
    EXPECT_TRUE(events.empty());
}

TEST(CommandLine, TitleAndArguments) {
    EXPECT_EQ(TitleFromProgramPath("/usr/bin/norvane"), "norvane");
    EXPECT_EQ(TitleFromProgramPath("./Norvane.exe"), "Norvane");
    EXPECT_EQ(TitleFromProgramPath(""), "norvane");
    using Action = CommandLineVerdict::Action;
    const struct {
        QStringList args;
        Action action;
        const char* text;
    } cases[] = {
        {{"norvane"}, Action::Run, ""},
        {{"norvane", "--version"}, Action::PrintAndExit, "Norvane UMTS 1.0.0.0\n"},
        {{"norvane", "--help"}, Action::PrintAndExit, "Usage: norvane\n"},
        {{"/usr/bin/norvane", "/dev/ttyUSB2"},
         Action::Refuse,
         "norvane: takes no arguments (got '/dev/ttyUSB2')"},
        {{"norvane", "--help", "x"}, Action::Refuse, "norvane: takes no arguments (got '--help')"},
    };
    for (const auto& c : cases) {
        const CommandLineVerdict verdict = CheckCommandLine(c.args);
        EXPECT_EQ(verdict.action, c.action) << c.args.join(' ').toStdString();
        EXPECT_EQ(verdict.text.left(static_cast<int>(qstrlen(c.text))), c.text);
    }
}

}  // namespace
}  // namespace norvane
