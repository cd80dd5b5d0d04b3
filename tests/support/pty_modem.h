// Test support without Qt: the one pty fake (a modem on the master side of a real pty, the code
// under test opens the slave as its port), and the process's thread and descriptor counts.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "diag/command_table.h"
#include "diag/hdlc.h"
#include "tests/support/frames.h"

namespace norvane::test {

// The modem: the master of a pty that records every byte the host writes and, when it answers,
// replies to each probe with a loopback frame, so the start-up exchange does not wait. A
// silent one leaves the probe unanswered, as a modem still in AT mode does; a deaf one reads
// nothing, so the pty's queue fills.
enum class Peer { kAnswers, kSilent, kDeaf };

class PtyModem {
  public:
    explicit PtyModem(Peer peer = Peer::kAnswers) : answers_(peer == Peer::kAnswers) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(grantpt(master_), 0);
        EXPECT_EQ(unlockpt(master_), 0);
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
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        close(holder_);
        CloseMaster();
    }
    PtyModem(const PtyModem&) = delete;
    PtyModem& operator=(const PtyModem&) = delete;

    const std::string& slave() const { return slave_; }
    std::string Entry() const { return slave_ + " - test modem"; }

    // The modem unplugged: the port's reads see a hang-up from now on.
    void CloseMaster() {
        if (const int fd = master_.exchange(-1); fd >= 0) {
            close(fd);
        }
    }
    // Writes all of `bytes` as the modem (blocks while the pty's queue is full).
    void Send(std::span<const std::uint8_t> bytes) const {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 100);
            }
        }
    }
    Bytes Received() {
        const std::lock_guard lock(mutex_);
        return received_;
    }
    void Clear() {
        const std::lock_guard lock(mutex_);
        received_.clear();
    }
    // Waits until `count` bytes have come or two seconds have passed, then a little longer for
    // anything beyond `count`.
    Bytes WaitFor(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (Received().size() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return Received();
    }

    // What has come after a pause long enough for a write in flight to arrive.
    Bytes Quiet() {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return Received();
    }

  private:
    void Run() {
        const Bytes probe = StoredBytes(DiagProbeFrame);
        std::array<std::uint8_t, 4096> chunk{};
        while (!stop_) {
            const int master = master_;
            pollfd p{master, POLLIN, 0};
            if (master < 0 || poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t n = read(master, chunk.data(), chunk.size());
            if (n <= 0) {
                continue;
            }
            const std::lock_guard lock(mutex_);
            received_.insert(received_.end(), chunk.begin(), chunk.begin() + n);
            if (answers_ && received_.size() >= probe.size() &&
                std::equal(probe.begin(), probe.end(),
                           received_.end() - static_cast<std::ptrdiff_t>(probe.size()))) {
                const std::array<std::uint8_t, 11> payload{0x7B, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
                std::array<std::uint8_t, 32> reply{};
                const std::size_t len = HdlcEncode(payload, reply);
                (void)!write(master, reply.data(), len);
            }
        }
    }

    bool answers_;
    std::atomic<int> master_{-1};
    int holder_ = -1;
    std::string slave_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Bytes received_;
    std::thread thread_;
};

inline int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (readdir(d) != nullptr) {
            ++n;
        }
        closedir(d);
    }
    return n;
}
inline int ThreadCount() {
    return CountEntries("/proc/self/task");
}
inline int DescriptorCount() {
    return CountEntries("/proc/self/fd");
}

}  // namespace norvane::test
