// Test support without Qt: the one pty fake (a modem on the master side of a real pty, the code
// under test opens the slave as its port), waiting, and the process's thread and descriptor counts.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "diag/frame_pump.h"
#include "diag/log_packets.h"
#include "tests/support/frames.h"

namespace norvane::test {

// Whether `pred` came true within `limit`.
template <typename Pred>
bool Eventually(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(3)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (; !pred(); std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
    }
    return true;
}

// The modem records every byte the host writes. kAnswers replies to each probe with a loopback
// frame and to the item-count request with kItemCountsAnswer; kSilent leaves it unanswered, as a
// modem still in AT mode does; kDeaf reads nothing, so the pty's queue fills.
// kAnswers also answers each log-config mask (operation 3) with the mask it set, as a modem that
// switched on everything asked does (AnswerMasksWith gives another answer); kNoLogConfig answers
// the probe but no log-config request, as some modems do.
enum class Peer { kAnswers, kNoLogConfig, kSilent, kDeaf };

// A published modem's answer to log-config operation 1: N[4] = 4087, N[11] = 521 among others.
inline const Bytes kItemCountsAnswer = HexBytes(
    "73000000010000000000000000000000ff0f00000000000000000000f70f0000f70f00001c0000005e0b0000"
    "0000000016080000920300000902000000000000070200000000000000000000");

class PtyModem {
  public:
    explicit PtyModem(Peer peer = Peer::kAnswers)
        : answers_(peer == Peer::kAnswers || peer == Peer::kNoLogConfig),
          countsAnswered_(peer == Peer::kAnswers) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_TRUE(master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0);
        slave_ = ptsname(master_);
        // One slave descriptor stays open so the master never sees a hang-up between opens.
        holder_ = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        tcgetattr(holder_, &tio);
        cfmakeraw(&tio);
        tcsetattr(holder_, TCSANOW, &tio);
        if (peer != Peer::kDeaf) {
            thread_ = std::thread([this] { Run(); });
        }
    }
    ~PtyModem() {
        CloseMaster();
        close(holder_);
    }
    PtyModem(const PtyModem&) = delete;
    PtyModem& operator=(const PtyModem&) = delete;

    const std::string& slave() const { return slave_; }
    std::string Entry() const { return slave_ + " - test modem"; }

    // The modem unplugged: the port's reads see a hang-up from now on. The fake's own reader
    // ends first, so no read is pending on the descriptor being closed.
    void CloseMaster() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (const int fd = master_.exchange(-1); fd >= 0) {
            close(fd);
        }
    }
    // Writes all of `bytes` as the modem (waits while the pty's queue is full).
    void Send(std::span<const std::uint8_t> bytes) const {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            done += n > 0 ? static_cast<std::size_t>(n) : 0;
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, n > 0 ? 0 : 100);
        }
    }
    // From now on operation 1 answers `items` for `equipment` (kItemCountsAnswer's other counts).
    void AnswerItemCount(std::size_t equipment, std::uint32_t items) {
        const std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < 4; ++i) {
            counts_[12 + 4 * equipment + i] = static_cast<std::uint8_t>(items >> (8 * i));
        }
    }
    // From now on each log-config mask (operation 3) is answered with the frame of `payload`.
    void AnswerMasksWith(const Bytes& payload) {
        const std::lock_guard lock(mutex_);
        maskAnswer_ = payload;
    }
    Bytes Received() {
        const std::lock_guard lock(mutex_);
        return received_;
    }
    void Clear() {
        const std::lock_guard lock(mutex_);
        received_.clear();
    }
    // What has come once `count` bytes have (or two seconds have passed) and then 100 ms more.
    Bytes WaitFor(std::size_t count) {
        Eventually([&] { return Received().size() >= count; }, std::chrono::seconds(2));
        return Quiet(100);
    }
    // What has come after a pause long enough for a write in flight to arrive.
    Bytes Quiet(int ms = 300) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return Received();
    }

  private:
    void Run() {
        const Bytes probe = StoredBytes(DiagProbeFrame);
        const Bytes reply = EncodeFrame({0x7B, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        const Bytes countsRequest = EncodeFrame({0x73, 0, 0, 0, 1, 0, 0, 0});
        std::array<std::uint8_t, 4096> chunk{};
        while (!stop_) {
            const int master = master_;
            pollfd p{master, POLLIN, 0};
            if (master < 0 || poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t n = std::max<ssize_t>(read(master, chunk.data(), chunk.size()), 0);
            const std::lock_guard lock(mutex_);
            received_.insert(received_.end(), chunk.begin(), chunk.begin() + n);
            if (answers_ && n > 0 && received_.size() >= probe.size() &&
                std::equal(probe.rbegin(), probe.rend(), received_.rbegin())) {
                (void)!write(master, reply.data(), reply.size());
            }
            if (countsAnswered_ && n > 0 && received_.size() >= countsRequest.size() &&
                std::equal(countsRequest.rbegin(), countsRequest.rend(), received_.rbegin())) {
                const Bytes counts = EncodeFrame(counts_);
                (void)!write(master, counts.data(), counts.size());
            }
            FrameCounters counters;
            PumpFrames(deframer_, std::span(chunk).first(static_cast<std::size_t>(n)), counters,
                       [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                           if (!countsAnswered_ || status != HdlcDeframer::Status::kFrame ||
                               LogConfigOperation(payload) != kLogConfigOpSetMask) {
                               return;
                           }
                           // The mask set: status 0 after the operation, then the request's rest.
                           const Bytes echo = Concat({Bytes(payload.begin(), payload.begin() + 8),
                                                      {0, 0, 0, 0},
                                                      Bytes(payload.begin() + 8, payload.end())});
                           const Bytes answer =
                               EncodeFrame(maskAnswer_.empty() ? echo : maskAnswer_);
                           (void)!write(master, answer.data(), answer.size());
                       });
        }
    }

    bool answers_;
    bool countsAnswered_;
    HdlcDeframer deframer_;             // the fake's thread only
    Bytes maskAnswer_;                  // under mutex_; empty: the echo
    Bytes counts_ = kItemCountsAnswer;  // under mutex_
    std::atomic<int> master_{-1};
    int holder_ = -1;
    std::string slave_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Bytes received_;
    std::thread thread_;
};

inline int CountEntries(const char* dir) {
    const std::filesystem::directory_iterator it(dir);
    return static_cast<int>(std::distance(begin(it), end(it)));
}
inline int ThreadCount() {
    return CountEntries("/proc/self/task");
}
inline int DescriptorCount() {
    return CountEntries("/proc/self/fd");
}

}  // namespace norvane::test
