// The start window: focus, the homepage link, the picture's click, every way its modal run ends,
// the program's command line, and "NetMonitor" pressed twice against the simulated modem: each
// press runs a freshly built monitor, modal over the start window, that opens the port anew,
// shows cells and is gone when its run ends; the modem hears both runs' start-up and Exit.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/start_window.h"
#include "framework/framework.h"
#include "monitor/monitor_window.h"
#include "res/resource.h"
#include "tests/support/frames.h"
#include "tests/support/sim_process.h"
#include "tests/support/window_support.h"

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

TEST_F(StartWindow, FocusOnQuitLinkToTheHomepageAndInertMenu) {
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
    for (int size : {16, 32, 48}) {
        EXPECT_TRUE(dlg.windowIcon().availableSizes().contains(QSize(size, size))) << size;
    }
    ASSERT_NE(dlg.menuBar(), nullptr);
    ASSERT_EQ(dlg.menuBar()->actions().size(), 1);
    dlg.menuBar()->actions()[0]->trigger();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(events, std::vector<std::string>{std::string("open ") + kHomepageUrl});
}

TEST_F(StartWindow, PictureClickBeepsOnceThenOpensTheHomepage) {
    Show();
    QWidget* picture = dlg.item(IDC_PICTURE);
    EXPECT_FALSE(qobject_cast<QLabel*>(picture)->pixmap().isNull());
    QTest::mouseClick(picture, Qt::LeftButton, Qt::NoModifier, picture->rect().center());
    QTest::mouseClick(picture, Qt::RightButton, Qt::NoModifier, picture->rect().center());
    EXPECT_EQ(events, (std::vector<std::string>{"beep", std::string("open ") + kHomepageUrl}));
    EXPECT_TRUE(dlg.isVisible());
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
        {"Space on Quit", [](CTessalyDlg&) { KeyToFocus(Qt::Key_Space); }, 0},
        {"Quit clicked",
         [](CTessalyDlg& d) { QTest::mouseClick(d.item(IDC_QUIT), Qt::LeftButton); }, 0},
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

TEST(NetMonitorButton, EachPressRunsAFreshMonitorOverTheStartWindow) {
    test::SimProcess sim({"--rate", "20", "--seed", "7"});
    test::RuntimeDir runtime(QFileInfo(QString::fromStdString(sim.link())).path().toStdString());
    test::UiRecorder ui;
    CTessalyDlg start;
    SetMainWindow(&start);
    start.Create();
    start.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&start));

    for (int press = 0; press < 2; ++press) {
        QPointer<CComDlg> monitor;
        QTimer::singleShot(0, qApp, [&] {  // inside the monitor's modal run
            monitor = qobject_cast<CComDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(monitor, nullptr);
            EXPECT_EQ(monitor->parentWidget(), &start);
            EXPECT_EQ(monitor->itemText(IDC_SAR_LABEL), kSarOffText);  // a fresh window
            EXPECT_TRUE(monitor->itemText(IDC_PORT).startsWith(QString::fromStdString(sim.link())));
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return !monitor->itemText(IDC_PSC_FIRST).isEmpty(); }, 5000));
            monitor->setItemText(IDC_SAR_LABEL, "used");
            qobject_cast<QPushButton*>(monitor->item(IDOK))->click();
        });
        qobject_cast<QPushButton*>(start.item(IDC_NETMONITOR))->click();  // returns after the run
        EXPECT_TRUE(monitor.isNull()) << "the monitor outlived its run";
        EXPECT_TRUE(start.isVisible());
    }
    EXPECT_TRUE(ui.calls.empty());

    const test::Bytes run = test::Concat({test::StoredBytes(DiagProbeFrame),
                                          test::RowBytes("ON Cell RSSI"), test::RowBytes("OFF_AGC"),
                                          test::RowBytes("OFF Cell RSSI"), test::Bytes{0x7E}});
    const test::Bytes expected = test::Concat({run, run});
    test::Bytes recorded;
    (void)QTest::qWaitFor(
        [&] {
            std::ifstream in(sim.recordPath(), std::ios::binary);
            recorded = test::Bytes(std::istreambuf_iterator<char>(in), {});
            return recorded.size() >= expected.size();
        },
        3000);
    EXPECT_EQ(recorded, expected);
    SetMainWindow(nullptr);
}

}  // namespace
}  // namespace norvane
