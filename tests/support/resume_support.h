// Helpers for the port-loss tests: norvane-sim on a link the test chooses (so it can be killed
// and started again on the same link), a view that records what the session tells it, and the
// owner's side of the session: poll its descriptor and let it handle what came.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/modem_identity.h"
#include "session/monitoring_session.h"
#include "tests/support/reports.h"

extern char** environ;

namespace norvane::test {

class SimOnLink {
  public:
    explicit SimOnLink(std::string link, std::vector<std::string> args = {"--rate", "10"}) {
        std::vector<std::string> all = {NORVANE_BINARY_DIR "/tools/norvane-sim", "--link",
                                        std::move(link)};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!LinkLeadsToLivePty(all[2]) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~SimOnLink() { Kill(); }
    SimOnLink(const SimOnLink&) = delete;
    SimOnLink& operator=(const SimOnLink&) = delete;
    void Kill() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);  // no clean-up: the link stays behind, leading nowhere
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
};

// The recording view that also notes the port going and coming back.
class ResumeView : public RecordingView {
  public:
    std::vector<bool> states;  // PortStateChanged: true gone, false back
    std::vector<std::string> returned;

    void PortStateChanged(bool gone) override { states.push_back(gone); }
    void ShowReturnedPort(std::string_view device) override { returned.emplace_back(device); }
};

// Runs the session's owner loop until `done` or `seconds` have passed; `done`'s last value.
template <typename Done>
bool Pump(MonitoringSession& session, Done done, double seconds = 3) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && std::chrono::steady_clock::now() < end) {
        pollfd p{session.EventFd(), POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            session.HandleEvents();
        }
    }
    return done();
}

}  // namespace norvane::test
