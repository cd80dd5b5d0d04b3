// A pseudo terminal for serial tests: the test plays the modem on the master side, the code
// under test opens the slave as its port.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "link/messages.h"

namespace norvane::test {

class PtyPair {
  public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            throw std::runtime_error("no pty");
        }
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) {
            throw std::runtime_error("no pty name");
        }
        slavePath_ = name;
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    std::string Entry() const { return slavePath_ + " - Test modem"; }

    void CloseMaster() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

    // Writes all of `bytes` to the master (the modem's side).
    void Send(std::span<const std::uint8_t> bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
                throw std::runtime_error("pty write failed");
            } else {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 100);
            }
        }
    }
    void Send(std::initializer_list<std::uint8_t> bytes) const {
        Send(std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
    }

    // Reads what the host wrote, until `count` bytes or `timeout` passed.
    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout) const {
        std::vector<std::uint8_t> out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            std::uint8_t chunk[4096];
            const ssize_t n = read(master_, chunk, std::min(sizeof chunk, count - out.size()));
            if (n <= 0) {
                break;
            }
            out.insert(out.end(), chunk, chunk + n);
        }
        return out;
    }

  private:
    int master_ = -1;
    std::string slavePath_;
};

// Keeps every message the core shows.
class RecordingMessages : public MessageSink {
  public:
    struct Shown {
        std::string text;
        std::string caption;
    };
    void MessageBox(std::string_view text, std::string_view caption) override {
        shown.push_back({std::string(text), std::string(caption)});
    }
    std::vector<Shown> shown;
};

}  // namespace norvane::test
