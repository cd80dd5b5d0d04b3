// Live GSMTAP: each checked frame, and each signalling message, as one UDP datagram, for Wireshark
// listening on the loopback device (see capture.h for how failures are reported).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "capture/capture.h"
#include "diag/gsmtap.h"

namespace norvane {

// Sends one GSMTAP datagram per frame to HOST[:PORT] (default 127.0.0.1:4729). Never blocks;
// a datagram that cannot be sent is dropped: the live view is a view, the capture file is the
// record.
class GsmtapSender {
  public:
    // `target`: "" for the default, "HOST", "HOST:PORT", "[IPv6]:PORT"; names are resolved.
    static std::unique_ptr<GsmtapSender> Create(const std::string& target, CaptureError& error);
    ~GsmtapSender();
    GsmtapSender(const GsmtapSender&) = delete;
    GsmtapSender& operator=(const GsmtapSender&) = delete;

    void Send(FrameDirection direction, std::span<const std::uint8_t> payload);
    // A signalling message as a GSMTAP datagram Wireshark decodes (diag/gsmtap.h); one GSMTAP
    // has no type for is passed over.
    void SendSignalling(const SignallingMessage& message);

  private:
    explicit GsmtapSender(int fd) : fd_(fd) {}
    void SendParts(std::span<const std::uint8_t> header, std::span<const std::uint8_t> payload);
    const int fd_;
};

}  // namespace norvane
