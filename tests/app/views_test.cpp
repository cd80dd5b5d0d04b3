// One modem, two windows: the NetMonitor and the radio window opened from the start window on the
// same modem share its session (the wire shows the NetMonitor's own frames, then the radio's masks
// added and taken away again), both stay live, and the UI thread never waits for the modem, even
// one that never answers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>

#include "app/start_window.h"
#include "framework/framework.h"
#include "link/port_discovery.h"
#include "monitor/monitor_window.h"
#include "radio/radio_window.h"
#include "res/resource.h"
#include "tests/support/frames.h"
#include "tests/support/window_support.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;

using test::Bytes;
using test::Concat;
using test::MaskFrame;

std::string Read(const QWidget& window, const char* name) {
    for (const QLineEdit* field : window.findChildren<QLineEdit*>()) {
        if (field->accessibleName() == QLatin1String(name)) {
            return field->text().toStdString();
        }
    }
    return "(no field " + std::string(name) + ")";
}

// The start window, with `modem` where port discovery finds the simulator, so that both windows
// preselect it.
class Views : public testing::Test {
  protected:
    void Open(const test::PtyModem& modem) {
        ASSERT_EQ(symlink(modem.slave().c_str(), SimulatorLinkPath().c_str()), 0);
        SetMainWindow(&start);
        start.Create();
        start.show();
    }
    void TearDown() override { SetMainWindow(nullptr); }
    void Press(int id) { qobject_cast<QPushButton*>(start.item(id))->click(); }
    // A version 0 cell list of one cell, whose GSM count tells the lists apart.
    static Bytes Cells(std::uint8_t gsm) {
        const WcdmaCellRecord cells[] = {test::Cell()};
        return test::EncodeFrame(test::CellListV0(gsm, cells, gsm));
    }

    QTemporaryDir runtime;
    test::RuntimeDir env{runtime.path().toStdString()};
    test::UiRecorder ui;
    CTessalyDlg start;
};

TEST_F(Views, TheRadioJoinsTheNetMonitorsModemAndLeavesItRunning) {
    test::PtyModem modem;
    Open(modem);
    Press(IDC_NETMONITOR);
    QPointer<CComDlg> monitor = start.monitorWindow();
    ASSERT_NE(monitor, nullptr);
    const Bytes alone = Concat({test::StoredBytes(DiagProbeFrame), test::RowBytes(kRowCellsOn)});
    EXPECT_EQ(modem.WaitFor(alone.size()), alone) << "the NetMonitor alone: its own frames";

    modem.Clear();
    Press(IDC_RADIO);  // reachable while the NetMonitor is open
    QPointer<RadioWindow> radio = start.radioWindow();
    ASSERT_NE(radio, nullptr);
    const Bytes lte = MaskFrame(
        11, 521,
        {0xB0C0, 0xB0C2, 0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED, 0xB179, 0xB17F, 0xB180, 0xB193, 0xB195});
    const Bytes joined = Concat({test::EncodeFrame({0x73, 0, 0, 0, 1, 0, 0, 0}),
                                 MaskFrame(4, 4087, {0x4005, 0x4127, 0x412F}), lte});
    EXPECT_EQ(modem.WaitFor(joined.size()), joined) << "no second probe, the radio's masks added";
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return Read(*radio, "Status") == "Monitoring " + SimulatorLinkPath();
    })) << Read(*radio, "Status");

    modem.Send(Cells(3));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return monitor->itemText(IDC_GSM_CELLS) == "GSM Cells : 3"; }));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return Read(*radio, "RSCP").find(" dBm") != std::string::npos;
    })) << Read(*radio, "RSCP");

    modem.Clear();
    radio->close();
    const Bytes left = Concat({MaskFrame(4, 4087, {0x4005}), MaskFrame(11, 521, {})});
    EXPECT_EQ(modem.WaitFor(left.size()), left) << "only what the NetMonitor does not need";
    modem.Send(Cells(4));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return monitor->itemText(IDC_GSM_CELLS) == "GSM Cells : 4"; }));

    modem.Clear();
    qobject_cast<QPushButton*>(monitor->item(IDOK))->click();
    const Bytes stop = Concat({test::RowBytes(kRowAgcOff), test::RowBytes(kRowCellsOff), {0x7E}});
    EXPECT_EQ(modem.WaitFor(stop.size()), stop);
    EXPECT_EQ(start.CloseViews(std::chrono::seconds(5)), 0);
}

// The radio window's status line says what became of its very first port, a failure included.
TEST_F(Views, TheRadioWindowSaysWhyItsFirstPortDidNotOpen) {
    test::PtyModem modem;
    const int other = open(modem.slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);  // another program holds it
    Open(modem);
    Press(IDC_RADIO);
    QPointer<RadioWindow> radio = start.radioWindow();
    ASSERT_NE(radio, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return Read(*radio, "Status").starts_with("Error: Error while opening ComPort");
    })) << Read(*radio, "Status");
    close(other);
    EXPECT_EQ(start.CloseViews(std::chrono::seconds(5)), 0);
}

// Opening and closing both windows, in both orders and every way, on a modem that never answers
// (each start waits a second for the probe, and the radio's masks for answers that never come).
TEST_F(Views, TheUiThreadNeverWaitsForAModemThatDoesNotAnswer) {
    test::PtyModem modem(test::Peer::kSilent);
    Open(modem);
    const auto esc = [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); };
    {
        // Built once before measuring: the first window of a process loads its fonts.
        RadioWindow warm;
    }
    // A stall the program causes comes back every time; one the machine causes (another
    // process on a loaded core) does not: the whole course is measured up to three times.
    std::chrono::milliseconds longest{0};
    for (int attempt = 0; attempt < 3 && (attempt == 0 || longest >= 50ms); ++attempt) {
        test::UiStallMeter meter;
        for (int round = 0; round < 2; ++round) {
            Press(round == 0 ? IDC_NETMONITOR : IDC_RADIO);
            QTest::qWait(30);
            Press(round == 0 ? IDC_RADIO : IDC_NETMONITOR);
            QTest::qWait(30);
            if (round == 0) {
                qobject_cast<QPushButton*>(start.monitorWindow()->item(IDOK))->click();
                QTest::qWait(30);
                start.radioWindow()->close();
            } else {
                esc(start.radioWindow());
                QTest::qWait(30);
                esc(start.monitorWindow());
            }
            QTest::qWait(100);
        }
        longest = std::chrono::duration_cast<std::chrono::milliseconds>(meter.Longest());
        std::printf("longest time the UI thread did not answer: %lld ms\n",
                    static_cast<long long>(longest.count()));
    }
    EXPECT_LT(longest, 50ms);
    EXPECT_EQ(start.CloseViews(std::chrono::seconds(10)), 0);
}

}  // namespace
}  // namespace norvane
