// Against the running simulator: a monitoring session under noisy bursts and in AT mode, and
// norvane-cli monitor with its JSON lines, stop frames and exit statuses.
#include <signal.h>

#include <regex>

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

// The bytes of a monitor's start with SAR/PA switched on, and of its exit.
Bytes Rows(std::vector<const char*> rows, Bytes all = {}) {
    for (const char* row : rows) {
        all = test::Concat({all, RowBytes(row)});
    }
    return all;
}
const Bytes kStart = Rows({"ON Cell RSSI", "ON_AGC", "ON_AGC1", "ON_AGC2", "ON_AGC3"},
                          test::StoredBytes(DiagProbeFrame));
const Bytes kExit = test::Concat({Rows({"OFF_AGC", "OFF Cell RSSI"}), {0x7E}});
Bytes Recorded(test::SimProcess& sim) {
    EXPECT_EQ(sim.Stop(), 0);
    const std::string recorded = test::ReadFile(sim.recordPath());
    return Bytes(recorded.begin(), recorded.end());
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
    EXPECT_EQ(Recorded(sim), test::Concat({kStart, kExit}));
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

// norvane-cli monitor --sar-pa --stats `port`, its standard output and error in the file `out`.
pid_t Monitor(const test::SimProcess& sim, const std::string& port, const char* out) {
    return test::Spawn(
        {NORVANE_BINARY_DIR "/tools/norvane-cli", "monitor", "--sar-pa", "--stats", port},
        sim.Scratch(out).c_str());
}

// On a fast stream of long lists (numbered in six bits) every list is printed, in order.
TEST(CliMonitor, PrintsEveryListInOrderStopsOnSigintAndExitsTwoWithoutThePortAndOneWhenItGoes) {
    test::SimProcess sim(
        {"--rate", "100", "--burst", "16", "--packet-version", "2", "--numbered", "--seed", "2"});
    const auto output = [&](const char* out) { return test::ReadFile(sim.Scratch(out)); };
    const pid_t monitor = Monitor(sim, sim.Entry(), "out");
    EXPECT_TRUE(
        test::Eventually([&] { return output("out").find('\n') != std::string::npos; }, 2100ms));
    EXPECT_EQ(test::WaitExit(Monitor(sim, sim.link(), "busy"), 3s), 2);
    EXPECT_NE(output("busy").find("Error while opening ComPort"), std::string::npos);
    const std::string first = output("out").substr(0, output("out").find('\n'));
    EXPECT_EQ(first.rfind("{\"time\":\"", 0), 0U) << first;
    EXPECT_NE(first.find("\",\"type\":\"cells\",\"hours\":"), std::string::npos) << first;
    EXPECT_EQ(first.back(), '}');
    std::this_thread::sleep_for(2s);
    kill(monitor, SIGINT);
    EXPECT_EQ(test::WaitExit(monitor, 3s), 0);
    const std::string out = output("out");
    int lists = 0;
    for (std::size_t at = out.find("\"gsm\":"), last = 64; at != std::string::npos;
         at = out.find("\"gsm\":", at + 1), ++lists) {
        const auto n = static_cast<std::size_t>(std::atoi(out.c_str() + at + 6));
        ASSERT_TRUE(last == 64 || n == (last + 1) % 64) << "list " << lists << ": " << n;
        last = n;
    }
    EXPECT_GT(lists, 2000);
    EXPECT_NE(out.find("overflow: 0,"), std::string::npos) << out.substr(out.rfind('}'));

    const pid_t lost = Monitor(sim, sim.link(), "lost");
    EXPECT_TRUE(test::Eventually([&] { return output("lost").find('{') != std::string::npos; }));
    EXPECT_EQ(Recorded(sim), test::Concat({kStart, kExit, kStart}));
    EXPECT_EQ(test::WaitExit(lost, 4s), 1);
    EXPECT_NE(output("lost").find("has gone away"), std::string::npos);
}

// The serving cell's, LTE and NR reports and the signalling: the simulated LTE, LTE with NR and
// WCDMA radios and a replayed stream of real phones (raw, timed by its stamps), printed by monitor
// with the options that ask them. The LTE modem (521 items on equipment 11) gets no NR bit, the
// modem with NR (2561) gets them; the NR drive exports NR rows with the identity of their cell.
TEST(CliMonitor, PrintsTheReportsAndSignallingOfEachRadioAndOfAReplayedPhone) {
    const struct {
        std::vector<std::string> sim, options, types;
        Bytes mask = {};       // of equipment 11, on the wire; empty: not looked for
        std::string row = {};  // a row the monitor's lines export to (a regular expression)
    } cases[] = {
        {{"--rat", "lte", "--rate", "10"},
         {"--lte", "--nr"},
         {"lte_cell", "lte_idle", "lte_idle_neighbours", "lte_serving", "lte_intra_meas",
          "lte_neighbour_meas"},
         test::MaskFrame(11, 521, {0xB0C2, 0xB179, 0xB17F, 0xB180, 0xB193, 0xB195})},
        {{"--rat", "lte-nr", "--rate", "10"},
         {"--nr"},
         {"nr_cell", "nr_meas"},
         test::MaskFrame(11, 2561, {0xB823, 0xB97F}),
         "\n[^,]*,,,,,NR,632628,393,-[0-9.]+,-[0-9.]+,,262,01,14881,7024656593\r\n"},
        {{"--rat", "wcdma"}, {"--wcdma-cell"}, {"wcdma_cell", "cells"}},
        {{"--replay", NORVANE_SOURCE_DIR "/tests/data/lte-samples.bin", "--speed", "50"},
         {"--lte"},
         {"lte_cell", "lte_serving", "lte_intra_meas", "lte_neighbour_meas"}},
        {{"--rat", "lte", "--rate", "10"}, {"--signalling"}, {"rrc", "nas"}},
        {{"--rat", "wcdma"}, {"--signalling"}, {"rrc"}},
    };
    for (const auto& c : cases) {
        test::SimProcess sim(c.sim);
        std::vector<std::string> args = {NORVANE_BINARY_DIR "/tools/norvane-cli", "monitor"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(sim.link());
        const pid_t monitor = test::Spawn(args, sim.Scratch("out").c_str());
        const auto printed = [&](const std::string& type) {
            return test::ReadFile(sim.Scratch("out")).find("\"type\":\"" + type + "\"") !=
                   std::string::npos;
        };
        EXPECT_TRUE(test::Eventually([&] { return std::ranges::all_of(c.types, printed); }, 6s))
            << c.sim[0] << ": " << test::ReadFile(sim.Scratch("out")).substr(0, 600);
        kill(monitor, SIGINT);
        EXPECT_EQ(test::WaitExit(monitor, 3s), 0);
        if (!c.mask.empty()) {
            const Bytes wire = Recorded(sim);
            EXPECT_FALSE(std::ranges::search(wire, c.mask).empty()) << c.sim[1];
        }
        if (!c.row.empty()) {
            const pid_t exporter = test::Spawn({NORVANE_BINARY_DIR "/tools/norvane-cli", "export",
                                                sim.Scratch("out"), "--csv", sim.Scratch("csv")});
            EXPECT_EQ(test::WaitExit(exporter, 3s), 0);
            EXPECT_TRUE(std::regex_search(test::ReadFile(sim.Scratch("csv")), std::regex(c.row)));
        }
    }
}

}  // namespace
}  // namespace norvane
