// The receive loop on a pty: reports handed on in order, the null-port message, a modem that
// goes away, and stopping.
#include <array>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "diag/hdlc.h"
#include "diag/receive_loop.h"
#include "diag/receive_thread.h"
#include "link/serial_port.h"
#include "tests/pty/pty_pair.h"
#include "tests/support/frames.h"
#include "tests/support/reports.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::EncodeFrame;
using test::PtyPair;
using test::RecordingMessages;
using test::RecordingReports;

// A cell list with one band I cell of the given PSC.
Bytes CellList(std::uint16_t psc) {
    Bytes p = {0x10, 0x00, 0x18, 0x00, 0x18, 0x00, 0x05, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    const std::uint16_t uarfcn = 10700;
    const std::int16_t rscp = -80 + 20;
    const Bytes cell = {static_cast<std::uint8_t>(uarfcn),
                        static_cast<std::uint8_t>(uarfcn >> 8),
                        static_cast<std::uint8_t>(psc),
                        static_cast<std::uint8_t>(psc >> 8),
                        static_cast<std::uint8_t>(rscp),
                        static_cast<std::uint8_t>(rscp >> 8),
                        0,
                        static_cast<std::uint8_t>(256 - 8),
                        0,
                        0};
    p.insert(p.end(), cell.begin(), cell.end());
    return EncodeFrame(p);
}

Bytes SarPa(std::uint8_t pa) {
    Bytes p(32, 0);
    const Bytes head = {0x10, 0x00, 0x1C, 0x00, 0x1C, 0x00, 0x7C, 0x11};
    std::copy(head.begin(), head.end(), p.begin());
    p[25] = 2;
    p[29] = pa;
    return EncodeFrame(p);
}

template <typename Pred>
bool WaitFor(Pred pred, Clock::duration limit) {
    const auto end = Clock::now() + limit;
    while (!pred()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

class ReceiveLoopPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ComPort* port = OpenComPort(pty_.Entry(), messages_);
        ASSERT_NE(port, nullptr);
        g_hComPort.store(port);
    }
    void TearDown() override {
        thread_.Stop();
        CloseComPort(g_hComPort.exchange(nullptr));
    }

    PtyPair pty_;
    RecordingMessages messages_;
    RecordingReports reports_;
    ReceiveStats stats_;
    ReceiveThread thread_;
};

TEST_F(ReceiveLoopPty, EveryReportOfADeliveryIsHandedOnInOrder) {
    Bytes burst = {kHdlcFlag};  // a leading flag, as some modems send
    for (const Bytes& f : {CellList(125), SarPa(79), Bytes{0x01, 0x02, kHdlcFlag}, CellList(126),
                           CellList(0x17D), SarPa(81)}) {
        burst.insert(burst.end(), f.begin(), f.end());
    }
    Bytes bad = CellList(300);
    bad[bad.size() - 2] ^= 0x01;  // broken check sequence: dropped
    burst.insert(burst.end(), bad.begin(), bad.end());
    pty_.Send(burst);
    thread_.Start(reports_, messages_, &stats_);
    ASSERT_TRUE(WaitFor([&] { return reports_.Seen().size() >= 5; }, 3s));
    pty_.Send(CellList(7));
    ASSERT_TRUE(WaitFor([&] { return reports_.Seen().size() >= 6; }, 3s));
    thread_.Stop();
    EXPECT_EQ(reports_.Seen(), (std::vector<int>{125, -79, 126, 0x17D, -81, 7}));
    EXPECT_EQ(stats_.badFcs.load(), 2u);  // the two-byte junk and the broken frame
    EXPECT_EQ(stats_.reports.load(), 6u);
    EXPECT_EQ(thread_.Result(), 1);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(ReceiveLoopPty, ModemGoneKeepsTheLoopPacedAndStopEndsItAtOnce) {
    thread_.Start(reports_, messages_, &stats_);
    std::this_thread::sleep_for(300ms);
    pty_.CloseMaster();
    std::this_thread::sleep_for(1200ms);  // the read in progress has ended by now
    const auto before = stats_.reads.load();
    EXPECT_GE(before, 1u);
    std::this_thread::sleep_for(2s);
    const auto perTwoSeconds = stats_.reads.load() - before;
    EXPECT_GE(perTwoSeconds, 2u);  // still reading...
    EXPECT_LE(perTwoSeconds, 6u);  // ...about twice a second, no busy loop
    const auto stop = Clock::now();
    thread_.Stop();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - stop).count(), 0.3);
    EXPECT_EQ(thread_.Result(), 1);
    EXPECT_EQ(g_bReading.load(), 0);
}

TEST_F(ReceiveLoopPty, StopDuringTheOpeningPauseEndsAtOnceAndRestartReads) {
    thread_.Start(reports_, messages_, &stats_);
    std::this_thread::sleep_for(100ms);
    const auto stop = Clock::now();
    thread_.Stop();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - stop).count(), 0.3);
    pty_.Send(CellList(42));
    thread_.Start(reports_, messages_, &stats_);
    EXPECT_TRUE(WaitFor([&] { return reports_.Seen().size() == 1; }, 3s));
}

TEST(ReceiveLoopNoPort, ShowsTheCommErrorAndEnds) {
    ASSERT_EQ(g_hComPort.load(), nullptr);
    RecordingMessages messages;
    RecordingReports reports;
    ReceiveThread thread;
    thread.Start(reports, messages);
    ASSERT_TRUE(WaitFor([&] { return !thread.Running(); }, 2s));
    thread.Stop();
    EXPECT_EQ(thread.Result(), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error OpenComPort");
    EXPECT_EQ(messages.shown[0].caption, "Bad CommError");
}

}  // namespace
}  // namespace norvane
