// Against the running simulator: a monitoring session under noisy bursts and in AT mode, and
// norvane-cli monitor with its JSON lines, stop frames and exit statuses.
#include <signal.h>

#include "diag/command_table.h"
#include "session/monitoring_session.h"
#include "tests/support/pty_modem.h"
#include "tests/support/reports.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::RowBytes;

// What the modem recorded from a monitor that switched SAR/PA on and then exited.
void ExpectSarPaOnThenExitRecorded(test::SimProcess& sim) {
    EXPECT_EQ(sim.Stop(), 0);
    Bytes expected = test::StoredBytes(DiagProbeFrame);
    for (const char* row :
         {"ON Cell RSSI", "ON_AGC", "ON_AGC1", "ON_AGC2", "ON_AGC3", "OFF_AGC", "OFF Cell RSSI"}) {
        expected = test::Concat({expected, RowBytes(row)});
    }
    expected.push_back(0x7E);
    const std::string recorded = test::ReadFile(sim.recordPath());
    EXPECT_EQ(Bytes(recorded.begin(), recorded.end()), expected);
}

TEST(SimSession, NoReportIsLostOrInventedInNoisyBurstsAndTheModemGetsWhatWasWritten) {
    test::SimProcess sim({"--noise", "--burst", "8", "--rate", "20", "--numbered", "--seed", "2"});
    test::RecordingView view;
    view.entry = sim.Entry();
    ReceiveStats stats;
    MonitoringSession session(view, &stats);
    session.Start();
    session.SwitchSarPaOn();
    std::this_thread::sleep_for(4s);
    session.Stop();
    EXPECT_TRUE(view.Messages().empty()) << "the simulator answered the probe";
    const auto cells = view.Cells();
    EXPECT_GE(cells.size(), 300u);  // 160 a second
    for (std::size_t i = 1; i < cells.size(); ++i) {
        ASSERT_EQ(cells[i].gsmCellCount, (cells[i - 1].gsmCellCount + 1) % 256)
            << "report " << i << " of " << cells.size();
    }
    EXPECT_GT(view.SarPa().size(), 4u);
    EXPECT_GT(stats.badFcs.load(), 20u) << "the noise did reach the deframer";
    ExpectSarPaOnThenExitRecorded(sim);
}

TEST(SimSession, ModemInAtModeStreamsAfterTheModeSwitchAndStopsOnCellsOff) {
    test::SimProcess sim({"--at-mode", "--rate", "5", "--seed", "4"});
    test::RecordingView view;
    view.entry = sim.Entry();
    MonitoringSession session(view);
    session.Start();
    ASSERT_EQ(view.Messages().size(), 1u);  // "Info": the probe went unanswered
    ASSERT_TRUE(test::Eventually([&] { return view.Cells().size() >= 3; }));
    session.SwitchCellsOff();
    std::this_thread::sleep_for(1200ms);  // reports already on their way
    const std::size_t cells = view.Cells().size();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(view.Cells().size(), cells);
}

// norvane-cli monitor --sar-pa `port`, its standard output and error in one file.
pid_t Monitor(const test::SimProcess& sim, const std::string& port) {
    const std::string out = sim.Scratch("out");
    return test::Spawn({NORVANE_BINARY_DIR "/tools/norvane-cli", "monitor", "--sar-pa", port},
                       out.c_str());
}

TEST(CliMonitor, PrintsReportsWithinTwoSecondsAndOnSigintSendsTheStopFramesAndExitsZero) {
    test::SimProcess sim({"--seed", "7"});
    const pid_t monitor = Monitor(sim, sim.Entry());
    const auto output = [&] { return test::ReadFile(sim.Scratch("out")); };
    EXPECT_TRUE(test::Eventually([&] { return output().find('\n') != std::string::npos; }, 2100ms));
    EXPECT_TRUE(test::Eventually(
        [&] { return output().find("\"type\":\"sar_pa\"") != std::string::npos; }, 6s));
    const std::string first = output().substr(0, output().find('\n'));
    EXPECT_EQ(first.rfind("{\"time\":\"", 0), 0U) << first;
    EXPECT_NE(first.find("\",\"type\":\"cells\",\"hours\":"), std::string::npos) << first;
    EXPECT_EQ(first.back(), '}');
    kill(monitor, SIGINT);
    EXPECT_EQ(test::WaitExit(monitor, 3s), 0) << output();
    ExpectSarPaOnThenExitRecorded(sim);
}

TEST(CliMonitor, PortThatCannotBeOpenedExitsTwoAndOneThatGoesAwayExitsOne) {
    test::SimProcess sim({"--seed", "9"});
    EXPECT_EQ(test::WaitExit(Monitor(sim, "/nonexistent/ttyUSB9"), 3s), 2);
    EXPECT_NE(test::ReadFile(sim.Scratch("out")).find("Error while opening ComPort"),
              std::string::npos);
    const pid_t monitor = Monitor(sim, sim.link());
    EXPECT_TRUE(test::Eventually(
        [&] { return test::ReadFile(sim.Scratch("out")).find("{") != std::string::npos; }));
    sim.Stop();
    EXPECT_EQ(test::WaitExit(monitor, 4s), 1);
    EXPECT_NE(test::ReadFile(sim.Scratch("out")).find("has gone away"), std::string::npos);
}

}  // namespace
}  // namespace norvane
