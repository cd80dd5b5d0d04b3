#include "tools/cli/gps_feed.h"

#include <algorithm>

namespace norvane::cli {

GpsFeed::GpsFeed(std::string_view address, PositionSink position, MessageSink message)
    : client_(address), position_(std::move(position)), message_(std::move(message)) {
    TryConnect();
}

void GpsFeed::TryConnect() {
    std::string error;
    if (client_.Connect(error)) {
        if (said_) {
            message_("gpsd at " + client_.Address() + " answers again");
        }
        said_ = false;
        return;
    }
    retryAt_ = std::chrono::steady_clock::now() + kReconnectInterval;
    if (!said_) {
        message_(error + "; monitoring goes on and positions follow when gpsd answers");
        said_ = true;
    }
}

void GpsFeed::Lost(const std::string& why) {
    if (pace_.Gone() == PositionPace::Say::kLost) {
        position_(Position{});
    }
    message_(why + "; monitoring goes on and positions follow when gpsd answers");
    said_ = true;
    retryAt_ = std::chrono::steady_clock::now() + kReconnectInterval;
}

int GpsFeed::Poll(std::vector<pollfd>& fds, int timeoutMs) {
    const auto now = std::chrono::steady_clock::now();
    if (!client_.Connected() && now >= retryAt_) {
        TryConnect();
    }
    if (!client_.Connected()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(retryAt_ - now).count();
        timeoutMs = timeoutMs < 0 ? static_cast<int>(wait)
                                  : std::min(timeoutMs, static_cast<int>(std::max<long>(wait, 0)));
    }
    fds.push_back({client_.Fd(), POLLIN, 0});  // -1 while not connected: poll passes it over
    const int ready = poll(fds.data(), fds.size(), timeoutMs);
    const short gps = fds.back().revents;
    fds.pop_back();
    if (ready <= 0 || gps == 0) {
        return ready;
    }
    states_.clear();
    const GpsClient::Read got = client_.Take(states_);
    for (const Position& state : states_) {
        const PositionPace::Say say = pace_.Take(state, std::chrono::steady_clock::now());
        if (say != PositionPace::Say::kNothing) {
            position_(state);
        }
    }
    if (got == GpsClient::Read::kGone) {
        Lost("gpsd at " + client_.Address() + " has gone away");
    }
    return ready - 1;
}

}  // namespace norvane::cli
