// Positions for 'norvane-cli monitor --gps': the gpsd client on the monitor's poll loop, the
// positions worth telling (position/position_json.h makes them lines), and its messages when
// gpsd is absent, gone or back.
#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "position/gps_client.h"

namespace norvane::cli {

class GpsFeed {
  public:
    // A fix to tell, or kNone: the fix is lost.
    using PositionSink = std::function<void(const Position& position)>;
    using MessageSink = std::function<void(const std::string& text)>;

    // Connects at once; a gpsd that does not answer is said once through `message`.
    GpsFeed(std::string_view address, PositionSink position, MessageSink message);

    // poll() over `fds` and gpsd's connection, for at most `timeoutMs` (-1: no limit), taking what
    // gpsd sent and trying to connect again when it is due. Returns poll's result for `fds`
    // alone (0 when only gpsd had something), -1 with errno on a failure.
    int Poll(std::vector<pollfd>& fds, int timeoutMs);

  private:
    void TryConnect();
    void Lost(const std::string& why);

    GpsClient client_;
    PositionPace pace_;
    PositionSink position_;
    MessageSink message_;
    bool said_ = false;  // the absence is said once until gpsd answers again
    std::chrono::steady_clock::time_point retryAt_{};
    std::vector<Position> states_;
};

}  // namespace norvane::cli
