#include "diag/command_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "diag/hdlc.h"
#include "diag/log_packets.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

using test::Bytes;

// The payload of a stored frame, read back with the deframer (so its CRC and escapes are right).
Bytes PayloadOf(std::string_view stored) {
    const Bytes wire = test::StoredBytes(stored);
    HdlcDeframer d;
    const HdlcDeframer::Step step = d.Feed(wire);
    EXPECT_EQ(step.status, HdlcDeframer::Status::kFrame);
    EXPECT_EQ(step.consumed, wire.size()) << "one flag, at the end";
    return Bytes(d.Payload().begin(), d.Payload().end());
}

// Wire and payload sizes and the CRC of each stored frame: a wrong byte anywhere changes one.
TEST(DiagCommandTable, EveryFrameIsItsPayloadEncodedWithTheRightCrc) {
    const struct {
        std::size_t row;  // 15: the probe
        std::size_t wire, payload;
        std::uint16_t crc;
    } rows[] = {
        {0, 4, 1, 0xF078},      {1, 4, 1, 0xF078},      {2, 4, 1, 0xF078},
        {3, 7, 4, 0xD30D},      {4, 15, 12, 0x4BF5},    {5, 23, 20, 0x3900},
        {6, 75, 72, 0xE8E0},    {7, 140, 137, 0xB938},  {8, 140, 137, 0x3E0B},
        {9, 260, 256, 0xC32C},  {10, 260, 256, 0x3119}, {11, 535, 524, 0x18E8},
        {12, 538, 524, 0xCEB4}, {13, 542, 524, 0xE076}, {14, 11, 8, 0x5034},
        {15, 14, 11, 0x5F9D},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.row);
        const auto frame =
            r.row < kDiagCommandCount ? DiagCommandTable[r.row].strFrame : DiagProbeFrame;
        const Bytes wire = test::StoredBytes(frame);
        const Bytes payload = PayloadOf(frame);
        EXPECT_EQ(wire.size(), r.wire);
        EXPECT_EQ(payload.size(), r.payload);
        EXPECT_EQ(Crc16X25(payload), r.crc);
        EXPECT_EQ(test::EncodeFrame(payload), wire);
    }
    EXPECT_EQ(PayloadOf(DiagProbeFrame), (Bytes{0x7B, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(FindCommandRow("ON Cell RSSI"), &DiagCommandTable[10]);
    EXPECT_EQ(FindCommandRow("on cell rssi"), nullptr);
}

// The codes a log-mask payload selects, read with the shared parser.
std::vector<unsigned> MaskedLogCodes(const Bytes& payload) {
    const std::optional<LogMask> mask = ParseLogMaskSet(payload);
    std::vector<unsigned> codes;
    EXPECT_TRUE(mask && payload.size() == kLogConfigMaskOffset + mask->mask.size());
    for (std::uint32_t k = 0; mask && k < 0x1000; ++k) {
        if (mask->Selects(static_cast<std::uint16_t>(mask->equipment << 12 | k))) {
            codes.push_back(mask->equipment << 12 | k);
        }
    }
    return codes;
}

TEST(DiagCommandTable, LogMaskRowsSelectTheTwoDecodedPackets) {
    const Bytes sarPa = PayloadOf(DiagCommandTable[8].strFrame);
    const Bytes cellList = PayloadOf(DiagCommandTable[10].strFrame);
    EXPECT_EQ(MaskedLogCodes(sarPa), std::vector<unsigned>{0x117C});
    EXPECT_EQ(MaskedLogCodes(PayloadOf(DiagCommandTable[9].strFrame)), std::vector<unsigned>{});
    EXPECT_EQ(MaskedLogCodes(cellList), std::vector<unsigned>{0x4005});
    Bytes beyond = cellList;  // bits past the declared count (0x077D) select nothing
    beyond.back() |= 0xE0;
    EXPECT_EQ(MaskedLogCodes(beyond), std::vector<unsigned>{0x4005});

    // The builder makes the stored rows again; a mask shorter than its bit count is refused.
    Bytes built(300);
    built.resize(BuildLogMaskSet(4, 0x077D, std::span(&kCellListLogCode, 1), built));
    EXPECT_EQ(built, cellList);
    built.resize(BuildLogMaskSet(1, 0x03C1, std::span(&kSarPaLogCode, 1), built));
    EXPECT_EQ(built, sarPa);
    built.pop_back();
    EXPECT_FALSE(ParseLogMaskSet(built).has_value());
    EXPECT_EQ(BuildLogMaskSet(4, 5, std::span(&kCellListLogCode, 1), built), 0U);
}

// Texts of `digits` characters into a buffer of `capacity` bytes followed by a guard: the length
// it gives, its first bytes (the terminating zero and untouched 0xAA included).
TEST(HexTextToBytes, PairsLimitsAndTheCallersCapacity) {
    const std::string longest(2 * kHexCodecMaxBytes, 'F');
    const struct {
        std::string text;
        std::size_t capacity, length;
        Bytes start;
    } cases[] = {
        {"0078F07E", 16, 4, {0x00, 0x78, 0xF0, 0x7E, 0x00, 0xAA}},
        {"7E5", 16, 1, {0x7E, 0x00, 0xAA}},  // an odd last digit is dropped
        {"", 4, 0, {0x00, 0xAA}},
        {"7GG7ZZffa1 1", 16, 6, {0x07, 0x00, 0x00, 0xFF, 0xA1, 0x00, 0x00}},  // leading digits
        {"0078F07E", 5, 4, {0x00, 0x78, 0xF0, 0x7E, 0x00}},
        {"0078F07E", 4, 0, {0x00, 0xAA, 0xAA, 0xAA}},  // no room for the zero: refused whole
        {"0078F07E", 0, 0, {}},
        {longest, kFrameBufferSize, kHexCodecMaxBytes, {0xFF}},
        {longest + "F", kFrameBufferSize, kHexCodecMaxBytes, {0xFF}},
        {longest + "FF", kFrameBufferSize, 0, {0x00, 0xAA}},  // 10,000 bytes: refused whole
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 12) + " into " + std::to_string(c.capacity));
        Bytes area(c.capacity + 16, 0xAA);
        std::size_t length = c.text.size();
        HexTextToBytes(c.text.data(), length, area.data(), c.capacity);
        EXPECT_EQ(length, c.length);
        EXPECT_TRUE(std::equal(c.start.begin(), c.start.end(), area.begin()));
        EXPECT_EQ(area[c.length], c.capacity > 0 ? 0x00 : 0xAA);
        EXPECT_EQ(
            std::count(area.begin() + static_cast<std::ptrdiff_t>(c.capacity), area.end(), 0xAA),
            16);
    }
}

TEST(StoredFrameToBytes, SpacesAreDroppedAndWhatDoesNotFitIsRefused) {
    std::array<char, 8> text{};
    EXPECT_EQ(PrepareFrameText(" 00 78F0 7E ", text), 8U);
    EXPECT_EQ(std::string_view(text.data(), 8), "0078F07E");
    EXPECT_EQ(PrepareFrameText("00 78 F0 7E 00", text), 0U);
    std::array<std::uint8_t, 4> small{0x55};
    EXPECT_EQ(StoredFrameToBytes(DiagCommandTable[3].strFrame, small), 0U);
    EXPECT_EQ(small[0], 0x00);
    std::array<std::uint8_t, kFrameBufferSize> big{0x55};
    EXPECT_EQ(StoredFrameToBytes(std::string(30000, 'A'), big), 0U);
    EXPECT_EQ(big[0], 0x00);
}

}  // namespace
}  // namespace norvane
