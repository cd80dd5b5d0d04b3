// DIAG frames as GSMTAP packets, the form Wireshark reads them in.
//
// A capture packet is a whole IPv4 datagram (pcap link type raw IPv4) from 127.0.0.1 to
// 127.0.0.1, UDP to port 4729, carrying:
//   GSMTAP v2 header, 16 bytes, all fields big-endian:
//     0 version 2 | 1 header length in 32-bit words (4) | 2 type 0x11 Qualcomm DIAG | 3 timeslot 0
//     4-5 ARFCN: 0, with bit 0x4000 (uplink) set for frames the host sent to the modem
//     6 signal dBm 0 | 7 SNR dB 0 | 8-11 frame number 0 | 12 sub-type 0 | 13 antenna 0
//     14 sub-slot 0 | 15 reserved 0
//   then the DIAG frame's payload as it was before escaping, without its CRC.
// Live datagrams carry the same UDP payload (GSMTAP header and DIAG payload).
//
// A signalling message (diag/signalling.h) goes as a GSMTAP packet of its own that Wireshark
// decodes: type 0x0d LTE RRC, 0x0c UMTS RRC or 0x12 LTE NAS; sub-type the channel (an LTE or
// UMTS RRC sub-type; for a WCDMA block the block's own, WcdmaBlock's value; 0 for NAS); ARFCN
// the EARFCN or UARFCN where it is below 16384 (else 0), 0x4000 set for the uplink; frame number
// the SFN of LTE RRC; the message's bytes after the header.
//
// A recording also keeps the receiver's positions, each as an IPv4/UDP datagram of its own from
// 127.0.0.1 to 127.0.0.1:47290 carrying the JSON line the monitor printed for it (UTF-8, no
// newline). Wireshark shows them as UDP data; readers of DIAG frames pass them over.
//
// Pure: functions of bytes, no I/O, no allocation. Parsing checks every field a capture file
// controls before using it, since a file may come from any tool.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "diag/signalling.h"

namespace norvane {

enum class FrameDirection : std::uint8_t { kFromModem, kToModem };

inline constexpr std::uint16_t kGsmtapUdpPort = 4729;
inline constexpr std::uint16_t kPositionUdpPort = 47290;
inline constexpr std::uint8_t kGsmtapVersion = 2;
inline constexpr std::uint8_t kGsmtapTypeQualcommDiag = 0x11;
inline constexpr std::uint8_t kGsmtapTypeUmtsRrc = 0x0c;
inline constexpr std::uint8_t kGsmtapTypeLteRrc = 0x0d;
inline constexpr std::uint8_t kGsmtapTypeLteNas = 0x12;
inline constexpr std::uint16_t kGsmtapArfcnUplink = 0x4000;
inline constexpr std::uint32_t kGsmtapArfcnLimit = 0x4000;  // ARFCNs from here on go as 0
inline constexpr std::size_t kIpv4HeaderSize = 20;          // without options, as written
inline constexpr std::size_t kUdpHeaderSize = 8;
inline constexpr std::size_t kGsmtapHeaderSize = 16;
inline constexpr std::size_t kGsmtapPacketOverhead =
    kIpv4HeaderSize + kUdpHeaderSize + kGsmtapHeaderSize;

// The 16-byte GSMTAP header for a DIAG frame going in `direction`.
std::array<std::uint8_t, kGsmtapHeaderSize> GsmtapHeader(FrameDirection direction);

// The whole IPv4 packet for `payload` into `out`. Returns its length, or 0 when it does not fit
// into `out` or exceeds an IPv4 datagram.
std::size_t BuildGsmtapPacket(FrameDirection direction, std::span<const std::uint8_t> payload,
                              std::span<std::uint8_t> out);

// The whole IPv4 packet of a position line into `out`; its length, or 0 when it does not fit.
std::size_t BuildPositionPacket(std::span<const std::uint8_t> line, std::span<std::uint8_t> out);

// Just the UDP payload (GSMTAP header and DIAG payload), for live datagrams. Returns its length,
// or 0 when it does not fit into `out`.
std::size_t BuildGsmtapDatagram(FrameDirection direction, std::span<const std::uint8_t> payload,
                                std::span<std::uint8_t> out);

// The GSMTAP sub-type of each RRC channel: LTE RRC and UMTS RRC number them apart.
struct GsmtapRrcSubtype {
    SignallingChannel channel;
    std::uint8_t lte;   // 0xFF: not an LTE channel
    std::uint8_t umts;  // 0xFF: not a UMTS channel
};
inline constexpr std::uint8_t kGsmtapNoSubtype = 0xFF;
inline constexpr std::array<GsmtapRrcSubtype, 11> kGsmtapRrcSubtypes{{
    {SignallingChannel::kDlCcch, 0, 2},
    {SignallingChannel::kDlDcch, 1, 0},
    {SignallingChannel::kUlCcch, 2, 3},
    {SignallingChannel::kUlDcch, 3, 1},
    {SignallingChannel::kBcchBch, 4, 8},
    {SignallingChannel::kBcchDlSch, 5, kGsmtapNoSubtype},
    {SignallingChannel::kPcch, 6, 4},
    {SignallingChannel::kMcch, 7, 9},
    {SignallingChannel::kBcchFach, kGsmtapNoSubtype, 7},
    {SignallingChannel::kMsch, kGsmtapNoSubtype, 10},
    {SignallingChannel::kSystemInformationContainer, kGsmtapNoSubtype, 14},
}};

// The GSMTAP header of a signalling message, or nothing for one of a channel GSMTAP has no
// sub-type for (an LTE message on a WCDMA-only channel).
std::optional<std::array<std::uint8_t, kGsmtapHeaderSize>> SignallingGsmtapHeader(
    const SignallingMessage& message);
// The whole IPv4 packet of a signalling message into `out`; its length, or 0 when it has no
// header, does not fit into `out` or exceeds an IPv4 datagram.
std::size_t BuildSignallingPacket(const SignallingMessage& message, std::span<std::uint8_t> out);
// Just the UDP payload (GSMTAP header and message), for live datagrams; its length or 0.
std::size_t BuildSignallingDatagram(const SignallingMessage& message, std::span<std::uint8_t> out);

enum class GsmtapCheck : std::uint8_t {
    kOk,
    kTruncated,  // shorter than the headers or lengths it declares
    kNotIpv4,    // IP version field is not 4
    kBadIpHeaderLength,
    kBadIpTotalLength,
    kFragment,  // a piece of a fragmented datagram
    kNotUdp,
    kBadUdpLength,
    kNotGsmtapPort,  // UDP destination port is not 4729
    kBadGsmtapVersion,
    kBadGsmtapHeaderLength,
    kNotDiag,   // GSMTAP type is not Qualcomm DIAG
    kPosition,  // a position datagram (port 47290): `payload` is its line
};

struct GsmtapFrame {
    GsmtapCheck check = GsmtapCheck::kTruncated;
    FrameDirection direction = FrameDirection::kFromModem;
    std::span<const std::uint8_t> payload;  // inside the parsed bytes; empty unless kOk
};

// Parses a whole IPv4 packet (a position datagram too). Bytes after the IPv4 total length (link
// padding) are ignored.
GsmtapFrame ParseGsmtapPacket(std::span<const std::uint8_t> packet);
// Parses a UDP payload (a live datagram).
GsmtapFrame ParseGsmtapDatagram(std::span<const std::uint8_t> datagram);

// One line saying why a packet is not GSMTAP DIAG ("" for kOk).
const char* GsmtapCheckText(GsmtapCheck check);

}  // namespace norvane
