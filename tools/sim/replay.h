// The modem's side of a capture, played back: its log packets (command 0x10) at their original
// intervals, scaled, while the host has a log switched on. No I/O after loading: the
// caller's loop asks what is due and when the next packet is.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/modem.h"

namespace norvane::sim {

class Replay {
  public:
    using Clock = std::chrono::steady_clock;

    // Reads the capture at `path`: pcap or pcapng, timed by the capture, or a raw DIAG stream,
    // timed by the log packets' stamps. Fails with a one-line reason for a file that cannot be
    // read and a capture without log packets.
    static std::optional<Replay> Load(const std::string& path, double speed, bool loop,
                                      std::string& error);

    // Appends the frames due at `now` to `out`, on the wire (escaped, with CRC). While `on` is
    // false nothing is played and the clock stands still: switching on again goes on with the
    // next packet at once.
    void Advance(Clock::time_point now, bool on, Bytes& out);
    // When the next packet is due, or nothing while paused or after the last one.
    std::optional<Clock::time_point> NextDue() const;

    std::size_t Packets() const { return packets_.size(); }
    std::size_t Played() const { return played_; }

  private:
    struct Packet {
        std::chrono::nanoseconds offset;  // since the first packet, never decreasing
        std::size_t begin;                // its frame in wire_
        std::size_t end;
    };
    Clock::duration Scaled(std::chrono::nanoseconds offset) const;

    Bytes wire_;
    std::vector<Packet> packets_;
    double speed_ = 1.0;
    bool loop_ = false;
    bool playing_ = false;
    std::size_t next_ = 0;
    std::size_t played_ = 0;
    Clock::time_point base_{};  // when the packet at offset 0 is (or would have been) played
};

}  // namespace norvane::sim
