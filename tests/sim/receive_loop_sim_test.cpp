// The receive loop against the real simulator process: reports in order, none lost under
// bursts, none invented by line noise; the bytes the host wrote, as the modem got them.
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "diag/command_table.h"
#include "link/serial_port.h"
#include "session/receive_thread.h"
#include "tests/support/frames.h"
#include "tests/support/reports.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::RecordingMessages;
using test::RecordingReports;
using test::SimProcess;

std::int64_t UpTimeMs(const CellReport& r) {
    return ((r.hours * 60LL + r.minutes) * 60 + r.seconds) * 1000 + r.milliseconds;
}

// Opens the simulator's link as the monitor would, and switches the cell list on.
class SimSession {
  public:
    explicit SimSession(std::vector<std::string> args) : sim_(std::move(args)) {
        PortError error;
        port_ = SerialPort::Open(PortDevicePath(sim_.Entry()), error);
        if (!port_.IsOpen()) {
            throw std::runtime_error("cannot open the simulator's link");
        }
    }
    ~SimSession() { thread_.Stop(); }
    void Write(const Bytes& frame) { ASSERT_TRUE(port_.Write(frame)); }
    void Run(std::chrono::milliseconds duration) {
        thread_.Start(port_, reports_, messages_, &stats_);
        std::this_thread::sleep_for(duration);
        thread_.Stop();
    }

    SimProcess sim_;
    SerialPort port_;
    RecordingMessages messages_;
    RecordingReports reports_;
    ReceiveStats stats_;
    ReceiveThread thread_;
};

// Every GSM count n+1 mod 256 after n: the numbered cell lists arrived without a gap.
void ExpectConsecutive(const std::vector<CellReport>& cells) {
    for (std::size_t i = 1; i < cells.size(); ++i) {
        ASSERT_EQ(cells[i].gsmCellCount, (cells[i - 1].gsmCellCount + 1) % 256)
            << "report " << i << " of " << cells.size();
    }
}

TEST(SimReceive, ReportsArriveInOrderAndTheModemGetsExactlyWhatWasWritten) {
    SimSession s({"--rate", "5", "--seed", "1"});
    const Bytes probe = test::StoredBytes(DiagProbeFrame);
    s.Write(probe);
    std::array<std::uint8_t, kFrameBufferSize> reply{};
    const int n = s.port_.ReadFrame(reply, kHdlcFlag);
    ASSERT_EQ(Bytes(reply.begin(), reply.begin() + n), probe) << "loopback reply";
    s.Write(test::RowBytes("ON Cell RSSI"));
    for (std::string_view row : {"ON_AGC", "ON_AGC1", "ON_AGC2", "ON_AGC3"}) {
        s.Write(test::RowBytes(row));
    }
    s.Run(3s);
    const auto cells = s.reports_.Cells();
    ASSERT_GE(cells.size(), 8u);
    EXPECT_GE(s.reports_.SarPaCount(), 8u);
    for (std::size_t i = 1; i < cells.size(); ++i) {
        EXPECT_GT(UpTimeMs(cells[i]), UpTimeMs(cells[i - 1]));
    }
    EXPECT_EQ(s.stats_.badFcs.load(), 0u);
    ASSERT_EQ(s.sim_.Stop(), 0);
    struct stat st {};
    EXPECT_NE(lstat(s.sim_.link().c_str(), &st), 0) << "link removed on SIGTERM";

    Bytes expected = probe;
    for (std::string_view row : {"ON Cell RSSI", "ON_AGC", "ON_AGC1", "ON_AGC2", "ON_AGC3"}) {
        const Bytes f = test::RowBytes(row);
        expected.insert(expected.end(), f.begin(), f.end());
    }
    std::ifstream recorded(s.sim_.recordPath(), std::ios::binary);
    const Bytes got((std::istreambuf_iterator<char>(recorded)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, expected);
}

TEST(SimReceive, NoReportIsLostInBursts) {
    SimSession s({"--burst", "8", "--rate", "20", "--numbered", "--seed", "2"});
    s.Write(test::RowBytes("ON Cell RSSI"));
    s.Run(4s);
    const auto cells = s.reports_.Cells();
    EXPECT_GE(cells.size(), 300u);  // 160 a second
    ExpectConsecutive(cells);
    EXPECT_EQ(s.stats_.badFcs.load(), 0u);
}

TEST(SimReceive, NoiseInventsNoReport) {
    SimSession s({"--noise", "--burst", "4", "--rate", "10", "--numbered", "--seed", "3"});
    s.Write(test::RowBytes("ON Cell RSSI"));
    s.Run(3s);
    const auto cells = s.reports_.Cells();
    EXPECT_GE(cells.size(), 60u);
    ExpectConsecutive(cells);
    EXPECT_GT(s.stats_.badFcs.load(), 20u) << "the noise did reach the deframer";
    for (const CellReport& r : cells) {
        ASSERT_GE(r.wcdmaCellCount, 1);
        for (int k = 0; k < r.wcdmaCellCount; ++k) {
            EXPECT_GE(r.cells[static_cast<std::size_t>(k)].rscp, -120);
            EXPECT_LE(r.cells[static_cast<std::size_t>(k)].rscp, -50);
        }
    }
}

TEST(SimReceive, AtModeStreamsOnlyAfterTheModeSwitch) {
    SimSession s({"--at-mode", "--rate", "5", "--seed", "4"});
    s.Write(test::StoredBytes(DiagProbeFrame));
    std::array<std::uint8_t, kFrameBufferSize> reply{};
    EXPECT_EQ(s.port_.ReadFrame(reply, kHdlcFlag), 0) << "no DIAG before AT$QCDMG";
    s.Write(Bytes{kHdlcFlag});
    const std::string_view text = "AT$QCDMG\r\n";
    s.Write(Bytes(text.begin(), text.end()));
    s.Write(test::RowBytes("ON Cell RSSI"));
    s.Run(2s);
    EXPECT_GE(s.reports_.Cells().size(), 4u);
}

}  // namespace
}  // namespace norvane
