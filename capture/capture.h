// Captures of what went over the modem's diagnostic port: the writer (writer.h) records them
// while monitoring, the sender (gsmtap_sender.h) sends them live to Wireshark, the reader
// (reader.h) reads them back. The only room that uses libpcap.
//
// Two file formats, chosen by the file name's extension when writing:
//   .pcap  libpcap file, link type raw IPv4 (228), one GSMTAP packet per checked frame in both
//          directions (diag/gsmtap.h), time stamps in microseconds UTC;
//   .bin   the bytes exactly as read from the port (the modem's side only), no times.
// Reading also takes pcapng, nanosecond pcap and either byte order, told apart by the first bytes.
//
// Errors in capture: a call that can fail returns a CaptureError (or fills the one it is given
// and returns nullptr or CaptureReader::Status::kError): its kind for the code, its message, one
// line naming the file or address, for the user. An empty CaptureError (kNone) is success.
// Nothing here throws and nothing here shows a message: the owner does.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace norvane {

using CaptureClock = std::chrono::system_clock;
using CaptureTime = CaptureClock::time_point;

// A failure the owner shows to the user: one line, naming the file or address.
struct CaptureError {
    enum class Kind : std::uint8_t {
        kNone,
        kUnknownFormat,
        kCannotCreate,
        kCannotOpen,
        kWriteFailed,
        kBadAddress,
        kBadCapture
    };
    Kind kind = Kind::kNone;
    std::string message;
    explicit operator bool() const { return kind != Kind::kNone; }
};

enum class CaptureFormat : std::uint8_t { kRaw, kPcap, kPcapng };

// The link type of the pcap files written (DLT_IPV4): packets begin with their IPv4 header.
inline constexpr int kLinkTypeIpv4 = 228;

}  // namespace norvane
