// For the port-loss tests: a view noting what the session tells it, and the session's owner.
#pragma once

#include <poll.h>

#include <chrono>
#include <string>
#include <vector>

#include "session/monitoring_session.h"
#include "tests/support/reports.h"

namespace norvane::test {

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
