#include "diag/gsmtap.h"

#include <algorithm>

namespace norvane {
namespace {

// IPv4 header fields.
constexpr std::uint8_t kIpv4VersionIhl = 0x45;  // version 4, 5 words, no options
constexpr std::uint8_t kIpv4Ttl = 64;
constexpr std::uint8_t kIpProtocolUdp = 17;
constexpr std::uint8_t kLoopback[4] = {127, 0, 0, 1};
constexpr std::uint16_t kIpv4MoreFragments = 0x2000;
constexpr std::uint16_t kIpv4FragmentOffsetMask = 0x1FFF;
constexpr std::size_t kIpv4MaxTotalLength = 0xFFFF;
// GSMTAP header fields.
constexpr std::uint8_t kGsmtapHeaderWords = kGsmtapHeaderSize / 4;
constexpr std::size_t kGsmtapMinHeaderWords = 4;

void PutBe16(std::uint8_t* at, std::size_t v) {
    at[0] = static_cast<std::uint8_t>(v >> 8);
    at[1] = static_cast<std::uint8_t>(v);
}
std::uint16_t Be16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

std::uint16_t Ipv4HeaderChecksum(const std::uint8_t* header) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kIpv4HeaderSize; i += 2) {
        sum += Be16(header + i);
    }
    while ((sum >> 16) != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

GsmtapFrame Fail(GsmtapCheck check) {
    GsmtapFrame frame;
    frame.check = check;
    return frame;
}

}  // namespace

std::array<std::uint8_t, kGsmtapHeaderSize> GsmtapHeader(FrameDirection direction) {
    std::array<std::uint8_t, kGsmtapHeaderSize> h{};
    h[0] = kGsmtapVersion;
    h[1] = kGsmtapHeaderWords;
    h[2] = kGsmtapTypeQualcommDiag;
    PutBe16(&h[4], direction == FrameDirection::kToModem ? kGsmtapArfcnUplink : 0);
    return h;
}

std::size_t BuildGsmtapDatagram(FrameDirection direction, std::span<const std::uint8_t> payload,
                                std::span<std::uint8_t> out) {
    if (out.size() < kGsmtapHeaderSize || out.size() - kGsmtapHeaderSize < payload.size()) {
        return 0;
    }
    const auto header = GsmtapHeader(direction);
    std::copy(header.begin(), header.end(), out.begin());
    std::copy(payload.begin(), payload.end(), out.begin() + kGsmtapHeaderSize);
    return kGsmtapHeaderSize + payload.size();
}

std::optional<std::array<std::uint8_t, kGsmtapHeaderSize>> SignallingGsmtapHeader(
    const SignallingMessage& m) {
    std::array<std::uint8_t, kGsmtapHeaderSize> h{};
    h[0] = kGsmtapVersion;
    h[1] = kGsmtapHeaderWords;
    std::uint32_t arfcn = 0;
    if (m.protocol == SignallingProtocol::kNas) {
        h[2] = kGsmtapTypeLteNas;
    } else {
        const bool lte = m.rat == SignallingRat::kLte;
        const auto it = std::find_if(kGsmtapRrcSubtypes.begin(), kGsmtapRrcSubtypes.end(),
                                     [&](const auto& s) { return s.channel == m.channel; });
        std::uint8_t subtype = it == kGsmtapRrcSubtypes.end() ? kGsmtapNoSubtype
                               : lte                          ? it->lte
                                                              : it->umts;
        if (!lte && m.channel == SignallingChannel::kSib && m.block != WcdmaBlock::kNone) {
            subtype = static_cast<std::uint8_t>(m.block);
        }
        if (subtype == kGsmtapNoSubtype) {
            return std::nullopt;
        }
        h[2] = lte ? kGsmtapTypeLteRrc : kGsmtapTypeUmtsRrc;
        h[12] = subtype;
        arfcn = lte ? m.earfcn : m.hasUarfcn ? m.uarfcn : 0;
        if (lte) {
            PutBe16(&h[10], m.sfn);  // frame number, u32 at 8
        }
    }
    PutBe16(&h[4], (arfcn < kGsmtapArfcnLimit ? arfcn : 0) |
                       (m.direction == SignallingDirection::kUplink ? kGsmtapArfcnUplink : 0));
    return h;
}

std::size_t BuildSignallingDatagram(const SignallingMessage& message, std::span<std::uint8_t> out) {
    const auto header = SignallingGsmtapHeader(message);
    const auto pdu = message.pdu;
    if (!header || out.size() < kGsmtapHeaderSize || out.size() - kGsmtapHeaderSize < pdu.size()) {
        return 0;
    }
    std::copy(header->begin(), header->end(), out.begin());
    std::copy(pdu.begin(), pdu.end(), out.begin() + kGsmtapHeaderSize);
    return kGsmtapHeaderSize + pdu.size();
}

namespace {

// The IPv4 and UDP headers of a loopback datagram to `port` with `datagram` bytes after them.
std::size_t PutUdpHeaders(std::uint16_t port, std::size_t datagram, std::span<std::uint8_t> out) {
    const std::size_t total = kIpv4HeaderSize + kUdpHeaderSize + datagram;
    if (datagram > kIpv4MaxTotalLength - kIpv4HeaderSize - kUdpHeaderSize || out.size() < total) {
        return 0;
    }
    std::uint8_t* ip = out.data();
    std::fill(ip, ip + kIpv4HeaderSize + kUdpHeaderSize, std::uint8_t{0});
    ip[0] = kIpv4VersionIhl;
    PutBe16(ip + 2, total);
    ip[8] = kIpv4Ttl;
    ip[9] = kIpProtocolUdp;
    std::copy(std::begin(kLoopback), std::end(kLoopback), ip + 12);
    std::copy(std::begin(kLoopback), std::end(kLoopback), ip + 16);
    PutBe16(ip + 10, Ipv4HeaderChecksum(ip));
    // UDP checksum 0: "not computed", which IPv4 allows.
    std::uint8_t* udp = ip + kIpv4HeaderSize;
    PutBe16(udp, port);
    PutBe16(udp + 2, port);
    PutBe16(udp + 4, total - kIpv4HeaderSize);
    return total;
}

}  // namespace

std::size_t BuildGsmtapPacket(FrameDirection direction, std::span<const std::uint8_t> payload,
                              std::span<std::uint8_t> out) {
    const std::size_t total =
        PutUdpHeaders(kGsmtapUdpPort, kGsmtapHeaderSize + payload.size(), out);
    if (total != 0) {
        BuildGsmtapDatagram(direction, payload, out.subspan(kIpv4HeaderSize + kUdpHeaderSize));
    }
    return total;
}

std::size_t BuildSignallingPacket(const SignallingMessage& message, std::span<std::uint8_t> out) {
    if (!SignallingGsmtapHeader(message)) {
        return 0;
    }
    const std::size_t total =
        PutUdpHeaders(kGsmtapUdpPort, kGsmtapHeaderSize + message.pdu.size(), out);
    if (total != 0) {
        BuildSignallingDatagram(message, out.subspan(kIpv4HeaderSize + kUdpHeaderSize));
    }
    return total;
}

std::size_t BuildPositionPacket(std::span<const std::uint8_t> line, std::span<std::uint8_t> out) {
    const std::size_t total = PutUdpHeaders(kPositionUdpPort, line.size(), out);
    if (total != 0) {
        std::copy(line.begin(), line.end(), out.begin() + kIpv4HeaderSize + kUdpHeaderSize);
    }
    return total;
}

GsmtapFrame ParseGsmtapPacket(std::span<const std::uint8_t> packet) {
    if (packet.size() < kIpv4HeaderSize) {
        return Fail(GsmtapCheck::kTruncated);
    }
    const std::uint8_t* ip = packet.data();
    if ((ip[0] >> 4) != 4) {
        return Fail(GsmtapCheck::kNotIpv4);
    }
    // Header length and total length come from the file: both must lie inside the packet.
    const std::size_t headerLength = static_cast<std::size_t>(ip[0] & 0x0F) * 4;
    const std::size_t totalLength = Be16(ip + 2);
    if (headerLength < kIpv4HeaderSize || headerLength > packet.size()) {
        return Fail(GsmtapCheck::kBadIpHeaderLength);
    }
    if (totalLength > packet.size()) {
        return Fail(GsmtapCheck::kTruncated);
    }
    if (totalLength < headerLength) {
        return Fail(GsmtapCheck::kBadIpTotalLength);
    }
    if ((Be16(ip + 6) & (kIpv4MoreFragments | kIpv4FragmentOffsetMask)) != 0) {
        return Fail(GsmtapCheck::kFragment);
    }
    if (ip[9] != kIpProtocolUdp) {
        return Fail(GsmtapCheck::kNotUdp);
    }
    // The header checksum is not checked: captures taken with checksum offload carry 0 there.
    const std::span<const std::uint8_t> udp =
        packet.subspan(headerLength, totalLength - headerLength);
    if (udp.size() < kUdpHeaderSize) {
        return Fail(GsmtapCheck::kTruncated);
    }
    const std::size_t udpLength = Be16(udp.data() + 4);
    if (udpLength < kUdpHeaderSize || udpLength > udp.size()) {
        return Fail(GsmtapCheck::kBadUdpLength);
    }
    if (Be16(udp.data() + 2) == kPositionUdpPort) {
        GsmtapFrame frame;
        frame.check = GsmtapCheck::kPosition;
        frame.payload = udp.subspan(kUdpHeaderSize, udpLength - kUdpHeaderSize);
        return frame;
    }
    if (Be16(udp.data() + 2) != kGsmtapUdpPort) {
        return Fail(GsmtapCheck::kNotGsmtapPort);
    }
    return ParseGsmtapDatagram(udp.subspan(kUdpHeaderSize, udpLength - kUdpHeaderSize));
}

GsmtapFrame ParseGsmtapDatagram(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kGsmtapHeaderSize) {
        return Fail(GsmtapCheck::kTruncated);
    }
    const std::uint8_t* g = datagram.data();
    if (g[0] != kGsmtapVersion) {
        return Fail(GsmtapCheck::kBadGsmtapVersion);
    }
    // A longer header (later versions may add fields) is skipped by its declared length.
    const std::size_t headerLength = static_cast<std::size_t>(g[1]) * 4;
    if (g[1] < kGsmtapMinHeaderWords || headerLength > datagram.size()) {
        return Fail(GsmtapCheck::kBadGsmtapHeaderLength);
    }
    if (g[2] != kGsmtapTypeQualcommDiag) {
        return Fail(GsmtapCheck::kNotDiag);
    }
    GsmtapFrame frame;
    frame.check = GsmtapCheck::kOk;
    frame.direction = (Be16(g + 4) & kGsmtapArfcnUplink) != 0 ? FrameDirection::kToModem
                                                              : FrameDirection::kFromModem;
    frame.payload = datagram.subspan(headerLength);
    return frame;
}

const char* GsmtapCheckText(GsmtapCheck check) {
    switch (check) {
        case GsmtapCheck::kOk:
            return "";
        case GsmtapCheck::kTruncated:
            return "packet shorter than its headers declare";
        case GsmtapCheck::kNotIpv4:
            return "not an IPv4 packet";
        case GsmtapCheck::kBadIpHeaderLength:
            return "IPv4 header length out of range";
        case GsmtapCheck::kBadIpTotalLength:
            return "IPv4 total length shorter than its header";
        case GsmtapCheck::kFragment:
            return "IPv4 fragment";
        case GsmtapCheck::kNotUdp:
            return "not UDP";
        case GsmtapCheck::kBadUdpLength:
            return "UDP length out of range";
        case GsmtapCheck::kNotGsmtapPort:
            return "UDP destination port is not 4729 (GSMTAP)";
        case GsmtapCheck::kBadGsmtapVersion:
            return "GSMTAP version is not 2";
        case GsmtapCheck::kBadGsmtapHeaderLength:
            return "GSMTAP header length out of range";
        case GsmtapCheck::kNotDiag:
            return "GSMTAP type is not Qualcomm DIAG (0x11)";
        case GsmtapCheck::kPosition:
            return "a position, not a DIAG frame";
    }
    return "unknown";
}

}  // namespace norvane
