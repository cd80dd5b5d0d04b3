#include "position/gps_client.h"

#include <gps.h>
#include <sys/socket.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace norvane {
namespace {

// A client that asks again and again for a port of this machine's ephemeral range on which
// nothing listens can be given that very port as its own end, and then connects to itself
// (a TCP self-connect): such a "gpsd" answers and never sends a fix.
bool ConnectedToItself(int fd) {
    sockaddr_storage mine{}, peer{};
    socklen_t mineSize = sizeof mine, peerSize = sizeof peer;
    return getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &mineSize) == 0 &&
           getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
           mineSize == peerSize && std::memcmp(&mine, &peer, mineSize) == 0;
}

}  // namespace

bool ParseGpsdAddress(std::string_view text, std::string& host, std::string& port) {
    host = "localhost";
    port = kGpsdDefaultPort;
    std::string_view portText;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close == 1) {
            return false;
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return false;
        }
        portText = rest.empty() ? rest : rest.substr(1);
        if (!rest.empty() && portText.empty()) {
            return false;
        }
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        if (text.find(':', colon + 1) != std::string_view::npos || colon == 0) {
            return false;  // a bare IPv6 address needs its brackets
        }
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (portText.empty()) {
            return false;
        }
    } else if (!text.empty()) {
        host = text;
    }
    if (!portText.empty()) {
        unsigned value = 0;
        const auto [end, ec] =
            std::from_chars(portText.data(), portText.data() + portText.size(), value);
        if (ec != std::errc() || end != portText.data() + portText.size() || value == 0 ||
            value > 65535) {
            return false;
        }
        port = std::to_string(value);
    }
    return true;
}

GpsClient::GpsClient(std::string_view address) {
    if (!ParseGpsdAddress(address, host_, port_)) {
        ParseGpsdAddress("", host_, port_);
    }
    address_ = (host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_) + ":" + port_;
}

GpsClient::~GpsClient() {
    Close();
}

void GpsClient::Close() {
    if (data_ != nullptr) {
        gps_stream(data_.get(), WATCH_DISABLE, nullptr);
        gps_close(data_.get());
        data_.reset();
    }
}

bool GpsClient::Connect(std::string& error) {
    if (data_ != nullptr) {
        return true;
    }
    auto data = std::make_unique<gps_data_t>();
    errno = 0;
    if (gps_open(host_.c_str(), port_.c_str(), data.get()) != 0) {
        // libgps leaves its own negative code in errno when the connection fails.
        const int code = errno;
        error = "no gpsd at " + address_ + ": " +
                (code > 0 ? std::strerror(code) : std::string(gps_errstr(code)));
        return false;
    }
    if (ConnectedToItself(static_cast<int>(data->gps_fd))) {
        error = "no gpsd at " + address_ + ": nothing listens there";
        gps_close(data.get());
        return false;
    }
    if (gps_stream(data.get(), WATCH_ENABLE | WATCH_JSON, nullptr) != 0) {
        error = "gpsd at " + address_ + " did not take the request for reports";
        gps_close(data.get());
        return false;
    }
    data_ = std::move(data);
    return true;
}

int GpsClient::Fd() const {
    return data_ != nullptr ? static_cast<int>(data_->gps_fd) : -1;
}

GpsClient::Read GpsClient::Take(std::vector<Position>& states) {
    if (data_ == nullptr) {
        return Read::kGone;
    }
    // One gps_read takes one message; what else arrived in the same read waits in libgps's
    // buffer, which gps_waiting(…, 0) looks at before the socket.
    do {
        if (gps_read(data_.get(), nullptr, 0) < 0) {
            Close();
            return Read::kGone;
        }
        const gps_fix_t& fix = data_->fix;
        if ((data_->set & MODE_SET) == 0) {
            continue;  // not a report of the receiver's state (version, devices, sky)
        }
        data_->set &= ~MODE_SET;
        Position p;
        // gpsd's own values; a fix without a finite latitude and longitude is no fix.
        if ((fix.mode == MODE_2D || fix.mode == MODE_3D) && std::isfinite(fix.latitude) &&
            std::isfinite(fix.longitude)) {
            p.fix = fix.mode == MODE_3D ? FixMode::k3d : FixMode::k2d;
            p.lat = fix.latitude;
            p.lon = fix.longitude;
            p.alt = fix.mode == MODE_3D && std::isfinite(fix.altMSL) ? fix.altMSL : NAN;
            p.speed = std::isfinite(fix.speed) ? fix.speed : NAN;
        }
        states.push_back(p);
    } while (gps_waiting(data_.get(), 0));
    return Read::kOk;
}

PositionPace::Say PositionPace::Take(const Position& state, Clock::time_point now) {
    if (state.fix == FixMode::kNone) {
        const bool lost = fixed_;
        fixed_ = shown_ = false;
        return lost ? Say::kLost : Say::kNothing;
    }
    fixed_ = true;
    if (shown_ && now - shownAt_ < kShowInterval) {
        return Say::kNothing;
    }
    shown_ = true;
    shownAt_ = now;
    return Say::kFix;
}

}  // namespace norvane
