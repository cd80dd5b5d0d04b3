#include "position/gps_follower.h"

#include <algorithm>
#include <utility>

namespace norvane {

GpsFollower::GpsFollower(std::string_view address, PositionSink position, StateSink state)
    : client_(address), position_(std::move(position)), state_(std::move(state)) {}

void GpsFollower::Retry() {
    if (client_.Connected() || Clock::now() < retryAt_) {
        return;
    }
    std::string error;
    if (client_.Connect(error)) {
        const bool back = std::exchange(told_, false);
        state_(back ? Gpsd::kBack : Gpsd::kAnswers,
               "gpsd at " + client_.Address() + (back ? " answers again" : " answers"));
        return;
    }
    retryAt_ = Clock::now() + kReconnectInterval;
    if (!std::exchange(told_, true)) {
        state_(Gpsd::kAbsent, error);
    }
}

std::optional<std::chrono::milliseconds> GpsFollower::RetryIn(Clock::time_point now) const {
    if (client_.Connected()) {
        return std::nullopt;
    }
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(retryAt_ - now),
                    std::chrono::milliseconds(0));
}

void GpsFollower::Read() {
    states_.clear();
    const GpsClient::Read got = client_.Take(states_);
    for (const Position& state : states_) {
        if (pace_.Take(state, Clock::now()) != PositionPace::Say::kNothing) {
            position_(state);
        }
    }
    if (got == GpsClient::Read::kGone) {
        if (pace_.Gone() == PositionPace::Say::kLost) {
            position_(Position{});
        }
        told_ = true;
        retryAt_ = Clock::now() + kReconnectInterval;
        state_(Gpsd::kGone, "gpsd at " + client_.Address() + " has gone away");
    }
}

int GpsFollower::Poll(std::vector<pollfd>& fds, int timeoutMs) {
    Retry();
    if (const std::optional<std::chrono::milliseconds> wait = RetryIn(Clock::now())) {
        const int due = static_cast<int>(wait->count());
        timeoutMs = timeoutMs < 0 ? due : std::min(timeoutMs, due);
    }
    fds.push_back({Fd(), POLLIN, 0});  // -1 while not connected: poll passes it over
    const int ready = poll(fds.data(), fds.size(), timeoutMs);
    const short gps = fds.back().revents;
    fds.pop_back();
    if (ready <= 0 || gps == 0) {
        return ready;
    }
    Read();
    return ready - 1;
}

}  // namespace norvane
