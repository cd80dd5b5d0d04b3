// The start window: what CTessalyDlg adds to template 102 (the controls themselves are checked
// with the templates): the picture's click, focus, Enter/Esc/close, the link, the icon, the
// inert menu item, and a fresh monitor for every press of "NetMonitor".
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "app/application.h"
#include "app/start_window.h"
#include "framework/framework.h"
#include "framework/message_box.h"
#include "monitor/monitor_window.h"
#include "res/resource.h"

namespace norvane {
namespace {

// Beeps, opened URLs and message boxes in the order they happened.
class Recorder {
  public:
    Recorder() {
        previousBeeper_ = SetBeeper([this] { events.push_back("beep"); });
        previousOpener_ = SetUrlOpener([this](const QUrl& url) {
            events.push_back("open " + url.toString().toStdString());
            return true;
        });
        previousPresenter_ = SetMessageBoxPresenter([this](const MessageBoxCall& call) {
            events.push_back("message " + call.caption + ": " + call.text);
            owners.push_back(call.owner);
        });
    }
    ~Recorder() {
        SetBeeper(std::move(previousBeeper_));
        SetUrlOpener(std::move(previousOpener_));
        SetMessageBoxPresenter(std::move(previousPresenter_));
    }

    std::vector<std::string> events;
    std::vector<QWidget*> owners;

  private:
    Beeper previousBeeper_;
    UrlOpener previousOpener_;
    MessageBoxPresenter previousPresenter_;
};

// Runs `step` from inside the next modal run, once it has started.
void WhenModal(std::function<void()> step) {
    QTimer::singleShot(0, qApp, std::move(step));
}

class StartWindowTest : public testing::Test {
  protected:
    void SetUp() override { SetMainWindow(&dlg); }
    void TearDown() override { SetMainWindow(nullptr); }

    // Shows the window as DoModal would, without the modal run.
    void Show() {
        dlg.Create();
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }

    Recorder recorder;
    CTessalyDlg dlg;
};

TEST_F(StartWindowTest, FocusOnQuitOwnWindowLinkBoundIconAndInertMenu) {
    Show();
    EXPECT_EQ(QApplication::focusWidget(), dlg.item(IDC_QUIT));
    // An application window of its own (task bar entry), still without minimise and maximise.
    EXPECT_EQ(dlg.windowType(), Qt::Window);
    EXPECT_FALSE(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowCloseButtonHint);

    const CDemoLink& link = dlg.homepageLink();
    EXPECT_EQ(link.control(), dlg.item(IDC_HOMEPAGE));
    EXPECT_EQ(link.linkText(), QString::fromLatin1(kHomepageUrl));
    EXPECT_EQ(dlg.itemText(IDC_HOMEPAGE), " Homepage ...");  // the control keeps its text

    const QIcon icon = dlg.windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 48}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    }

    ASSERT_NE(dlg.menuBar(), nullptr);
    const QList<QAction*> actions = dlg.menuBar()->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_TRUE(actions[0]->text().isEmpty());
    actions[0]->trigger();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), 0);
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(StartWindowTest, PictureClickBeepsOnceThenOpensTheHomepage) {
    Show();
    QWidget* picture = dlg.item(IDC_PICTURE);
    ASSERT_NE(picture, nullptr);
    QTest::mouseClick(picture, Qt::LeftButton, Qt::NoModifier, picture->rect().center());
    const std::vector<std::string> expected = {"beep", std::string("open ") + kHomepageUrl};
    EXPECT_EQ(recorder.events, expected);
    EXPECT_TRUE(dlg.isVisible());
    // Another button does nothing there.
    QTest::mouseClick(picture, Qt::RightButton, Qt::NoModifier, picture->rect().center());
    EXPECT_EQ(recorder.events, expected);
}

// Each way of ending the start window, with the value DoModal gives back.
struct Ending {
    const char* name;
    std::function<void(CTessalyDlg&)> act;
    int result;
};

void PrintTo(const Ending& ending, std::ostream* os) {
    *os << ending.name;
}

class StartWindowEndingTest : public StartWindowTest, public testing::WithParamInterface<Ending> {};

TEST_P(StartWindowEndingTest, EndsTheModalRun) {
    const Ending& ending = GetParam();
    bool acted = false;
    WhenModal([&] {
        // Keys go where a person's would: to the focus of the active window.
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        acted = true;
        ending.act(dlg);
    });
    // Should the action not end the run, the test fails rather than hangs.
    QTimer::singleShot(10000, &dlg, [this] { dlg.EndDialog(-1); });
    EXPECT_EQ(dlg.DoModal(), ending.result);
    EXPECT_TRUE(acted);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(recorder.events.empty());
}

void KeyToFocus(int key) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, static_cast<Qt::Key>(key));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, StartWindowEndingTest,
    testing::Values(
        // Right after start the focus is on "Quit": Enter presses it.
        Ending{"EnterOnQuit", [](CTessalyDlg&) { KeyToFocus(Qt::Key_Return); }, 0},
        Ending{"SpaceOnQuit", [](CTessalyDlg&) { KeyToFocus(Qt::Key_Space); }, 0},
        Ending{"QuitClicked",
               [](CTessalyDlg& d) { QTest::mouseClick(d.item(IDC_QUIT), Qt::LeftButton); }, 0},
        // No push button with the focus: Enter is the dialog's OK.
        Ending{"EnterElsewhere",
               [](CTessalyDlg& d) {
                   d.item(IDC_QUIT)->clearFocus();
                   QTest::keyClick(&d, Qt::Key_Enter);
               },
               IDOK},
        Ending{"Escape", [](CTessalyDlg&) { KeyToFocus(Qt::Key_Escape); }, IDCANCEL},
        Ending{"CloseBox", [](CTessalyDlg& d) { d.close(); }, IDCANCEL}),
    [](const testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

TEST(ApplicationTitle, IsTheProgramFileNameWithoutExtension) {
    EXPECT_EQ(TitleFromProgramPath("/usr/bin/norvane"), "norvane");
    EXPECT_EQ(TitleFromProgramPath("build/app/norvane"), "norvane");
    EXPECT_EQ(TitleFromProgramPath("./Norvane.exe"), "Norvane");
    EXPECT_EQ(TitleFromProgramPath("norvane.v2.bin"), "norvane.v2");
    EXPECT_EQ(TitleFromProgramPath(""), "norvane");
}

TEST(CommandLine, TakesNoArgumentsAnswersHelpAndVersion) {
    using Action = CommandLineVerdict::Action;
    EXPECT_EQ(CheckCommandLine({"norvane"}).action, Action::Run);
    EXPECT_EQ(CheckCommandLine({}).action, Action::Run);
    const CommandLineVerdict version = CheckCommandLine({"norvane", "--version"});
    EXPECT_EQ(version.action, Action::PrintAndExit);
    EXPECT_EQ(version.text, "Norvane UMTS 1.0.0.0\n");
    EXPECT_EQ(CheckCommandLine({"norvane", "--help"}).action, Action::PrintAndExit);
    const CommandLineVerdict port = CheckCommandLine({"/usr/bin/norvane", "/dev/ttyUSB2"});
    EXPECT_EQ(port.action, Action::Refuse);
    EXPECT_TRUE(port.text.startsWith("norvane: takes no arguments (got '/dev/ttyUSB2')"));
    EXPECT_EQ(CheckCommandLine({"norvane", "--help", "x"}).action, Action::Refuse);
}

// Sets or clears environment variables for one test and puts them back afterwards.
class ScopedEnv {
  public:
    void Set(const char* name, const char* value) {
        saved_.emplace_back(name, qgetenv(name), qEnvironmentVariableIsSet(name));
        if (value != nullptr) {
            qputenv(name, value);
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (std::get<2>(*it)) {
                qputenv(std::get<0>(*it), std::get<1>(*it));
            } else {
                qunsetenv(std::get<0>(*it));
            }
        }
    }

  private:
    std::vector<std::tuple<const char*, QByteArray, bool>> saved_;
};

TEST(CommandLine, NoDisplayIsToldNotAborted) {
    ScopedEnv env;
    env.Set("DISPLAY", nullptr);
    env.Set("WAYLAND_DISPLAY", nullptr);
    env.Set("QT_QPA_PLATFORM", nullptr);
    EXPECT_FALSE(DisplayAvailable({"norvane"}));
    EXPECT_TRUE(DisplayAvailable({"norvane", "-platform", "offscreen"}));
    env.Set("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_TRUE(DisplayAvailable({"norvane"}));
    env.Set("WAYLAND_DISPLAY", nullptr);
    env.Set("DISPLAY", ":0");
    EXPECT_TRUE(DisplayAvailable({"norvane"}));
}

}  // namespace
}  // namespace norvane
