// Positions for 'norvane-cli monitor --gps': the gpsd client on the monitor's poll loop, the
// position lines it prints, and its messages when gpsd is absent, gone or back.
#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "position/gps_client.h"

namespace norvane::cli {

// {"type":"position","lat":..,"lon":..,"alt":..,"speed":..,"fix":"2d"|"3d"}: degrees to 7
// decimals, alt (metres above sea level, null on a 2D fix) and speed (m/s, null when not known)
// to 2; {"type":"position","fix":"none"} for no fix.
std::string PositionJson(const Position& position);

class GpsFeed {
  public:
    using LineSink = std::function<void(const std::string& json)>;  // a whole JSON object
    using MessageSink = std::function<void(const std::string& text)>;

    // Connects at once; a gpsd that does not answer is said once through `message`.
    GpsFeed(std::string_view address, LineSink line, MessageSink message);

    // poll() over `fds` and gpsd's connection, for at most `timeoutMs` (-1: no limit), taking what
    // gpsd sent and trying to connect again when it is due. Returns poll's result for `fds`
    // alone (0 when only gpsd had something), -1 with errno on a failure.
    int Poll(std::vector<pollfd>& fds, int timeoutMs);

  private:
    void TryConnect();
    void Lost(const std::string& why);

    GpsClient client_;
    PositionPace pace_;
    LineSink line_;
    MessageSink message_;
    bool said_ = false;  // the absence is said once until gpsd answers again
    std::chrono::steady_clock::time_point retryAt_{};
    std::vector<Position> states_;
};

}  // namespace norvane::cli
