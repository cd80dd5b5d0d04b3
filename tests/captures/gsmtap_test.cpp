// GSMTAP packets as built for captures, and the reasons a packet from a file is refused.
#include <gtest/gtest.h>

#include <vector>

#include "diag/gsmtap.h"

namespace norvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Packet(FrameDirection direction, const Bytes& payload) {
    Bytes out(kGsmtapPacketOverhead + payload.size());
    out.resize(BuildGsmtapPacket(direction, payload, out));
    return out;
}

TEST(Gsmtap, AnEmptyPayloadLinkPaddingIpOptionsAndALongerGsmtapHeaderAreAllowed) {
    Bytes empty = Packet(FrameDirection::kFromModem, {});
    empty.insert(empty.end(), {0xAA, 0xBB});  // link padding after the datagram
    EXPECT_EQ(ParseGsmtapPacket(empty).check, GsmtapCheck::kOk);
    Bytes packet = Packet(FrameDirection::kToModem, {1, 2, 3});
    packet.insert(packet.begin() + 20, {1, 1, 1, 1});  // IPv4 options: four no-ops
    packet[0] = 0x46;
    packet[3] += 4;
    packet.insert(packet.begin() + 48, {9, 9, 9, 9});  // GSMTAP header of five words
    packet[33] = 5;
    packet[3] += 4;
    packet[29] += 4;  // UDP length
    const GsmtapFrame frame = ParseGsmtapPacket(packet);
    ASSERT_EQ(frame.check, GsmtapCheck::kOk) << GsmtapCheckText(frame.check);
    EXPECT_EQ(frame.direction, FrameDirection::kToModem);
    EXPECT_EQ(Bytes(frame.payload.begin(), frame.payload.end()), (Bytes{1, 2, 3}));
    // A position datagram is its own kind, its line the payload; one byte of room short, none.
    const Bytes line{'{', '}'};
    Bytes position(kIpv4HeaderSize + kUdpHeaderSize + line.size());
    ASSERT_EQ(BuildPositionPacket(line, position), position.size());
    const GsmtapFrame p = ParseGsmtapPacket(position);
    EXPECT_EQ(p.check, GsmtapCheck::kPosition);
    EXPECT_EQ(Bytes(p.payload.begin(), p.payload.end()), line);
    EXPECT_EQ(BuildPositionPacket(line, std::span(position).first(position.size() - 1)), 0u);
}

TEST(Gsmtap, EachFieldAFileControlsIsCheckedWithItsReason) {
    struct Case {
        std::size_t offset;  // byte to change in a good packet with a 4-byte payload
        std::uint8_t value;
        GsmtapCheck expected;
    };
    const Case cases[] = {
        {0, 0x65, GsmtapCheck::kNotIpv4},
        {0, 0x44, GsmtapCheck::kBadIpHeaderLength},
        {0, 0x4F, GsmtapCheck::kBadIpHeaderLength},  // 60 bytes: past the packet
        {2, 0x01, GsmtapCheck::kTruncated},          // total length past the packet
        {3, 19, GsmtapCheck::kBadIpTotalLength},
        {3, 27, GsmtapCheck::kTruncated},  // no room for the UDP header
        {6, 0x20, GsmtapCheck::kFragment},
        {7, 0x01, GsmtapCheck::kFragment},
        {9, 6, GsmtapCheck::kNotUdp},
        {25, 7, GsmtapCheck::kBadUdpLength},
        {25, 29, GsmtapCheck::kBadUdpLength},  // one past the IPv4 datagram
        {23, 0x7A, GsmtapCheck::kNotGsmtapPort},
        {25, 23, GsmtapCheck::kTruncated},  // UDP payload shorter than a GSMTAP header
        {28, 3, GsmtapCheck::kBadGsmtapVersion},
        {29, 3, GsmtapCheck::kBadGsmtapHeaderLength},
        {29, 6, GsmtapCheck::kBadGsmtapHeaderLength},  // 24 bytes: past the datagram
        {30, 0x0F, GsmtapCheck::kNotDiag},
    };
    const Bytes good = Packet(FrameDirection::kFromModem, {1, 2, 3, 4});
    for (const Case& c : cases) {
        Bytes packet = good;
        packet[c.offset] = c.value;
        EXPECT_EQ(ParseGsmtapPacket(packet).check, c.expected)
            << "byte " << c.offset << " = " << int(c.value);
    }
    EXPECT_EQ(ParseGsmtapPacket(std::span(good).first(19)).check, GsmtapCheck::kTruncated);
    EXPECT_EQ(ParseGsmtapPacket(std::span(good).first(good.size() - 1)).check,
              GsmtapCheck::kTruncated);
    EXPECT_EQ(ParseGsmtapDatagram(std::span(good).subspan(28, 15)).check, GsmtapCheck::kTruncated);
}

}  // namespace
}  // namespace norvane
