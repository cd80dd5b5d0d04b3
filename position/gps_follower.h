// Following gpsd, for the radio window and 'norvane-cli monitor --gps' alike: connects, asks
// again every kReconnectInterval while gpsd is absent or gone, takes what it sends and tells the
// positions worth telling at PositionPace's pace (a fix at most once a second, the loss of the
// fix once, gpsd's end as a loss of the fix), and what becomes of gpsd.
//
// It never waits: the owner's event loop watches Fd() for reading and calls Read(), and calls
// Retry() once RetryIn() has passed (a window: a socket notifier and a single-shot timer; a poll
// loop: Poll(), which does both).
//
// Use:
//   GpsFollower gps(address, [](const Position& p) { show or log p },
//                   [](GpsFollower::Gpsd state, const std::string& text) { say text });
//   gps.Retry();  // the first connection
//   loop: watch gps.Fd() -> gps.Read(); after *gps.RetryIn(now) -> gps.Retry()
#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "position/gps_client.h"

namespace norvane {

class GpsFollower {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Gpsd {
        kAnswers,  // connected ("gpsd at HOST:PORT answers")
        kBack,     // connected after kAbsent or kGone ("... answers again")
        kAbsent,   // no answer, with the reason; told once until gpsd answers
        kGone,     // it went away ("gpsd at HOST:PORT has gone away")
    };
    // A fix worth telling, or a state without fix: the fix is lost.
    using PositionSink = std::function<void(const Position& position)>;
    using StateSink = std::function<void(Gpsd state, const std::string& text)>;

    // `address` as ParseGpsdAddress takes it. Connects only at the first Retry().
    GpsFollower(std::string_view address, PositionSink position, StateSink state);

    // Connects when not connected and a try is due; the result goes to the state sink.
    void Retry();
    // gpsd's connection to watch for reading; -1 while not connected.
    int Fd() const { return client_.Fd(); }
    // How long until Retry() is due (zero: now); nullopt while connected.
    std::optional<std::chrono::milliseconds> RetryIn(Clock::time_point now) const;
    // Takes what gpsd sent (Fd() was readable).
    void Read();
    // poll() over `fds` and gpsd's connection for at most `timeoutMs` (-1: no limit, but never
    // past a due Retry()), taking what gpsd sent and connecting again when it is due. Returns
    // poll's result for `fds` alone (0 when only gpsd had something), -1 with errno on a failure.
    int Poll(std::vector<pollfd>& fds, int timeoutMs);

  private:
    GpsClient client_;
    PositionPace pace_;
    PositionSink position_;
    StateSink state_;
    bool told_ = false;             // kAbsent or kGone was told; gpsd has not answered since
    Clock::time_point retryAt_{};   // the first try is due at once
    std::vector<Position> states_;  // reused by every Read
};

}  // namespace norvane
