#include "tools/cli/gps_feed.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace norvane::cli {
namespace {

void Fixed(std::string& out, const char* key, double value, int decimals) {
    out += ",\"";
    out += key;
    out += "\":";
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    out += buffer;
}

}  // namespace

std::string PositionJson(const Position& p) {
    if (p.fix == FixMode::kNone) {
        return R"({"type":"position","fix":"none"})";
    }
    std::string out = "{\"type\":\"position\"";
    Fixed(out, "lat", p.lat, 7);
    Fixed(out, "lon", p.lon, 7);
    Fixed(out, "alt", p.alt, 2);
    Fixed(out, "speed", p.speed, 2);
    out += p.fix == FixMode::k3d ? ",\"fix\":\"3d\"}" : ",\"fix\":\"2d\"}";
    return out;
}

GpsFeed::GpsFeed(std::string_view address, LineSink line, MessageSink message)
    : client_(address), line_(std::move(line)), message_(std::move(message)) {
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
        line_(PositionJson(Position{}));
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
            line_(PositionJson(state));
        }
    }
    if (got == GpsClient::Read::kGone) {
        Lost("gpsd at " + client_.Address() + " has gone away");
    }
    return ready - 1;
}

}  // namespace norvane::cli
