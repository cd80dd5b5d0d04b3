// Where the receiver says we are: a client of gpsd (through libgps) that the caller's event loop
// drives, and the rule for how often a position is worth telling.
//
// The client never waits for gpsd on its own: Connect() tries once (gpsd on this machine answers
// or refuses at once), Fd() is the descriptor to watch for reading (poll, or a QSocketNotifier),
// and Read() takes what gpsd has sent once it is readable. When gpsd is absent or goes away the
// owner calls Connect() again now and then (kReconnectInterval) until it answers.
//
// Use:
//   GpsClient gps(address);                       // "HOST[:PORT]", "" for localhost:2947
//   if (!gps.Connect(error)) { say error once; retry after kReconnectInterval }
//   poll gps.Fd(); when readable: if (gps.Read(fixes) == GpsClient::Read::kGone) { ... }
#pragma once

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct gps_data_t;

namespace norvane {

enum class FixMode { kNone, k2d, k3d };

struct Position {
    FixMode fix = FixMode::kNone;
    double lat = 0, lon = 0;  // degrees, north and east positive
    double alt = NAN;         // metres above mean sea level; NaN when not known (a 2D fix)
    double speed = NAN;       // metres a second over ground; NaN when not known
};

inline constexpr std::chrono::seconds kReconnectInterval{2};
inline constexpr const char* kGpsdDefaultPort = "2947";

// Splits "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT"; "" is localhost. False for text that is
// none of these or a port that is not a number 1..65535.
bool ParseGpsdAddress(std::string_view text, std::string& host, std::string& port);

class GpsClient {
  public:
    enum class Read { kOk, kGone };

    // `address` as ParseGpsdAddress takes it, already checked by the caller.
    explicit GpsClient(std::string_view address);
    ~GpsClient();
    GpsClient(const GpsClient&) = delete;
    GpsClient& operator=(const GpsClient&) = delete;

    // Connects and asks for reports when not connected. False with one line in `error` ("no
    // gpsd at localhost:2947: Connection refused").
    bool Connect(std::string& error);
    bool Connected() const { return data_ != nullptr; }
    int Fd() const;  // -1 when not connected
    // "localhost:2947"
    const std::string& Address() const { return address_; }

    // Takes everything gpsd has sent, appending the receiver's state after each report of it to
    // `states`. kGone: gpsd closed the connection or sent what is not its protocol; the client is
    // then disconnected.
    Read Take(std::vector<Position>& states);

  private:
    void Close();

    std::string host_, port_, address_;
    std::unique_ptr<gps_data_t> data_;
};

// What a position display or log says, from the receiver's states as they come: a fix at most
// once every kShowInterval (the first at once), and the loss of the fix once.
class PositionPace {
  public:
    static constexpr std::chrono::milliseconds kShowInterval{1000};
    enum class Say { kNothing, kFix, kLost };
    using Clock = std::chrono::steady_clock;

    Say Take(const Position& state, Clock::time_point now);
    // gpsd went away: the fix is lost if there was one.
    Say Gone() { return Take(Position{}, Clock::time_point{}); }

  private:
    bool fixed_ = false;
    bool shown_ = false;
    Clock::time_point shownAt_{};
};

}  // namespace norvane
