// Reading and writing whole frames through a pty: chunks, pacing, the buffer bound, a port
// that goes away, and waking a pending read.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "diag/hdlc.h"
#include "link/serial_port.h"
#include "tests/pty/pty_pair.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::EncodeFrame;
using test::PtyPair;
using test::RecordingMessages;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

class SerialRead : public ::testing::Test {
  protected:
    void SetUp() override {
        port_ = OpenComPort(pty_.Entry(), messages_);
        ASSERT_NE(port_, nullptr);
    }
    void TearDown() override { CloseComPort(port_); }

    // One ReadComFrame into the buffer; returns its result and how long it took.
    std::pair<int, double> Read() {
        const auto start = Clock::now();
        const int n = ReadComFrame(port_, buffer_);
        return {n, Seconds(Clock::now() - start)};
    }
    Bytes Got(int n) const { return Bytes(buffer_.begin(), buffer_.begin() + n); }

    PtyPair pty_;
    RecordingMessages messages_;
    ComPort* port_ = nullptr;
    std::array<std::uint8_t, kFrameBufferSize> buffer_{};
};

TEST_F(SerialRead, SilenceGivesNothingAfterPauseAndTimeout) {
    const auto [n, took] = Read();
    EXPECT_EQ(n, 0);
    EXPECT_GT(took, 0.9);  // 500 ms pause + 500 ms without a byte
    EXPECT_LT(took, 1.8);
}

TEST_F(SerialRead, QueuedFrameComesAfterTheOpeningPause) {
    const Bytes frame = EncodeFrame({0x10, 0x00, 0x7E, 0x7D, 0x11, 0x13, 0x0D, 0x0A});
    pty_.Send(frame);
    const auto [n, took] = Read();
    ASSERT_EQ(n, static_cast<int>(frame.size()));
    EXPECT_EQ(Got(n), frame) << "bytes pass unchanged, XON/XOFF and CR/LF included";
    EXPECT_GT(took, 0.45);
    EXPECT_LT(took, 0.9);
}

TEST_F(SerialRead, FrameInThreeChunksIsReturnedWhole) {
    const Bytes frame =
        EncodeFrame({0x10, 0x00, 0x20, 0x00, 0x20, 0x00, 0x05, 0x40, 1, 2, 3, 4, 5, 6});
    const std::size_t a = 4, b = 9;
    std::thread modem([&] {
        pty_.Send(std::span(frame).first(a));
        std::this_thread::sleep_for(700ms);
        pty_.Send(std::span(frame).subspan(a, b - a));
        std::this_thread::sleep_for(200ms);
        pty_.Send(std::span(frame).subspan(b));
    });
    const auto [n, took] = Read();
    modem.join();
    ASSERT_EQ(n, static_cast<int>(frame.size()));
    EXPECT_EQ(Got(n), frame);
    EXPECT_GT(took, 0.85);
}

TEST_F(SerialRead, TwoFramesInOneChunkAreReturnedTogether) {
    Bytes both = EncodeFrame({0x7B, 0x00, 0x01});
    const Bytes second = EncodeFrame({0x73, 0x7E, 0x00});
    both.insert(both.end(), second.begin(), second.end());
    pty_.Send(both);
    const auto [n, took] = Read();
    ASSERT_EQ(n, static_cast<int>(both.size()));
    EXPECT_EQ(Got(n), both);
}

TEST_F(SerialRead, FlagInsideAChunkEndsNothing) {
    // A whole frame and the start of the next in one chunk: read on until a chunk ends on 0x7E.
    const Bytes first = EncodeFrame({0x01, 0x02});
    const Bytes second = EncodeFrame({0x03, 0x04, 0x05});
    Bytes chunk = first;
    chunk.insert(chunk.end(), second.begin(), second.begin() + 2);
    std::thread modem([&] {
        pty_.Send(chunk);
        std::this_thread::sleep_for(800ms);
        pty_.Send(std::span(second).subspan(2));
    });
    const auto [n, took] = Read();
    modem.join();
    Bytes all = first;
    all.insert(all.end(), second.begin(), second.end());
    ASSERT_EQ(n, static_cast<int>(all.size()));
    EXPECT_EQ(Got(n), all);
}

TEST_F(SerialRead, PartialFrameThenSilenceGivesNothingAndTheRestComesNext) {
    const Bytes frame = EncodeFrame({0x10, 0x00, 0x12, 0x00, 0x12, 0x00});
    pty_.Send(std::span(frame).first(5));
    const auto [n, took] = Read();
    EXPECT_EQ(n, 0);
    EXPECT_GT(took, 0.9);
    pty_.Send(std::span(frame).subspan(5));
    const auto [rest, took2] = Read();
    ASSERT_EQ(rest, static_cast<int>(frame.size() - 5));
    EXPECT_EQ(Got(rest), Bytes(frame.begin() + 5, frame.end()));
}

// A destination of exactly kFrameBufferSize bytes with guard bytes behind it.
struct GuardedBuffer {
    static constexpr std::uint8_t kGuard = 0xA5;
    std::array<std::uint8_t, kFrameBufferSize + 4096> bytes{};
    GuardedBuffer() { bytes.fill(kGuard); }
    std::span<std::uint8_t, kFrameBufferSize> dest() {
        return std::span<std::uint8_t, kFrameBufferSize>(bytes.data(), kFrameBufferSize);
    }
    bool GuardIntact() const {
        return std::all_of(bytes.begin() + kFrameBufferSize, bytes.end(),
                           [](std::uint8_t b) { return b == kGuard; });
    }
};

TEST_F(SerialRead, BytesPastTheBufferFailTheReadAndAreNeverStored) {
    GuardedBuffer guarded;
    const Bytes stream(kFrameBufferSize + 2000, 0x41);  // no flag anywhere
    std::thread modem([&] { pty_.Send(stream); });
    EXPECT_EQ(ReadComFrame(port_, guarded.dest()), 0);
    modem.join();
    EXPECT_TRUE(guarded.GuardIntact());
}

TEST_F(SerialRead, FrameFillingTheBufferExactlyIsReturned) {
    GuardedBuffer guarded;
    Bytes stream(kFrameBufferSize, 0x42);
    stream.back() = kHdlcFlag;
    std::thread modem([&] { pty_.Send(stream); });
    // Large writes reach the tty in pieces; one call collects them all.
    int n = ReadComFrame(port_, guarded.dest());
    modem.join();
    EXPECT_EQ(n, static_cast<int>(kFrameBufferSize));
    EXPECT_TRUE(guarded.GuardIntact());
    EXPECT_EQ(guarded.bytes[kFrameBufferSize - 1], kHdlcFlag);
}

TEST_F(SerialRead, MasterClosedDuringReadGivesNothingWithinASecond) {
    auto reading = std::async(std::launch::async, [this] { return Read(); });
    std::this_thread::sleep_for(200ms);
    pty_.CloseMaster();
    const auto [n, took] = reading.get();
    EXPECT_EQ(n, 0);
    EXPECT_LT(took, 1.3);
    // The port stays gone: each further read costs the opening pause, no more, no less.
    const auto [again, took2] = Read();
    EXPECT_EQ(again, 0);
    EXPECT_GT(took2, 0.45);
    EXPECT_LT(took2, 0.9);
    EXPECT_FALSE(WriteComFrame(port_, EncodeFrame({0x00})));
}

TEST_F(SerialRead, WakeEndsAPendingReadAtOnceUntilCleared) {
    auto reading = std::async(std::launch::async, [this] { return Read(); });
    std::this_thread::sleep_for(700ms);  // past the opening pause, waiting for bytes
    const auto woke = Clock::now();
    WakeComPort(port_);
    const auto [n, took] = reading.get();
    EXPECT_EQ(n, 0);
    EXPECT_LT(Seconds(Clock::now() - woke), 0.2);
    // Woken reads end even during the opening pause.
    EXPECT_LT(Read().second, 0.2);
    ClearComPortWake(port_);
    const Bytes frame = EncodeFrame({0x7B});
    pty_.Send(frame);
    EXPECT_EQ(Read().first, static_cast<int>(frame.size()));
}

TEST_F(SerialRead, WriteSendsExactBytesAndRefusesOversizedFrames) {
    const Bytes frame = EncodeFrame({0x7B, 0x00, 0x01, 0x02, 0x7E, 0x7D, 0x0D, 0x0A, 0x11, 0x13});
    EXPECT_TRUE(WriteComFrame(port_, frame));
    EXPECT_EQ(pty_.Receive(frame.size(), 1s), frame);

    const Bytes big(kFrameBufferSize, 0x55);
    std::thread modem([&] { EXPECT_EQ(pty_.Receive(big.size(), 5s).size(), big.size()); });
    EXPECT_TRUE(WriteComFrame(port_, big));
    modem.join();
    EXPECT_FALSE(WriteComFrame(port_, Bytes(kFrameBufferSize + 1, 0x55)));
}

TEST_F(SerialRead, WriteGivesUpAfterItsBudgetWhenTheModemTakesNoBytes) {
    // Nobody reads the master: the pty's queue fills, and then a write of 1000 bytes waits
    // its budget of 50 ms + 1000 ms and fails.
    const Bytes frame(1000, 0x55);
    double lastTook = 0;
    bool written = true;
    for (int i = 0; i < 1000 && written; ++i) {
        const auto start = Clock::now();
        written = WriteComFrame(port_, frame);
        lastTook = Seconds(Clock::now() - start);
    }
    EXPECT_FALSE(written);
    EXPECT_GT(lastTook, 0.9);
    EXPECT_LT(lastTook, 2.5);
}

TEST(SerialReadNoPort, NullPortKeepsThePace) {
    std::array<std::uint8_t, kFrameBufferSize> buffer{};
    const auto start = Clock::now();
    EXPECT_EQ(ReadComFrame(nullptr, buffer), 0);
    EXPECT_GT(Seconds(Clock::now() - start), 0.45);
    EXPECT_FALSE(WriteComFrame(nullptr, std::span<const std::uint8_t>()));
}

}  // namespace
}  // namespace norvane
