#include "diag/command_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "diag/hdlc.h"
#include "diag/log_packets.h"

namespace norvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Expands a byte listing such as "73 3*00 01" (n*XX is a run of n bytes XX).
Bytes Expand(const std::string& listing) {
    Bytes out;
    std::istringstream in(listing);
    std::string token;
    while (in >> token) {
        std::size_t count = 1;
        const auto star = token.find('*');
        if (star != std::string::npos) {
            count = std::stoul(token.substr(0, star));
            token = token.substr(star + 1);
        }
        out.insert(out.end(), count, static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
    }
    return out;
}

Bytes Decode(std::string_view stored) {
    std::array<std::uint8_t, kFrameBufferSize> buffer{};
    const std::size_t n = StoredFrameToBytes(stored, buffer);
    EXPECT_EQ(buffer[n], 0x00) << "byte after the frame";
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

// Undoes the escapes of a wire frame ending in its one flag; returns payload + CRC.
Bytes Unescape(const Bytes& wire) {
    Bytes out;
    EXPECT_FALSE(wire.empty());
    EXPECT_EQ(wire.back(), kHdlcFlag);
    EXPECT_EQ(std::count(wire.begin(), wire.end(), kHdlcFlag), 1) << "one flag, at the end";
    for (std::size_t i = 0; i + 1 < wire.size(); ++i) {
        if (wire[i] == kHdlcEscape) {
            ++i;
            out.push_back(static_cast<std::uint8_t>(wire[i] ^ kHdlcEscapeXor));
        } else {
            out.push_back(wire[i]);
        }
    }
    return out;
}

struct Expected {
    const char* name;
    const char* description;
    std::size_t wire;
    std::size_t payload;
    std::uint16_t crc;
};

// Sizes and check sequences of the frames as written down with the protocol notes; a wrong byte
// anywhere in a stored text changes its CRC or its length.
const Expected kExpected[kDiagCommandCount] = {
    {"VERNUM", "Version Number", 4, 1, 0xF078},
    {"VERNUM", "Version Number", 4, 1, 0xF078},
    {"VERNUM", "Version Number", 4, 1, 0xF078},
    {"ON_AGC_0", "Version Number", 7, 4, 0xD30D},
    {"OFF_AGC", "Get Build ID", 15, 12, 0x4BF5},
    {"ON_AGC", "Get Build ID", 23, 20, 0x3900},
    {"ON_AGC1", "Get Build ID", 75, 72, 0xE8E0},
    {"ON_AGC2", "Get Build ID", 140, 137, 0xB938},
    {"ON_AGC3", "Version Number", 140, 137, 0x3E0B},
    {"OFF Cell RSSI", "OFF Cell RSSI", 260, 256, 0xC32C},
    {"ON Cell RSSI", "ON Cell RSSI", 260, 256, 0x3119},
    {"C_02", "Get Build ID", 535, 524, 0x18E8},
    {"C_01", "Get Build ID", 538, 524, 0xCEB4},
    {"C_00", "Get Build ID", 542, 524, 0xE076},
    {"C_1", "Get Build ID", 11, 8, 0x5034},
};

TEST(DiagCommandTable, EveryRowDecodesToItsExactBytesAndCrc) {
    for (std::size_t r = 0; r < kDiagCommandCount; ++r) {
        SCOPED_TRACE("row " + std::to_string(r));
        const DiagCommandRow& row = DiagCommandTable[r];
        const Expected& want = kExpected[r];
        EXPECT_EQ(row.strName, want.name);
        EXPECT_EQ(row.strDescription, want.description);
        EXPECT_EQ(row.strSpare, "");

        const Bytes wire = Decode(row.strFrame);
        EXPECT_EQ(wire.size(), want.wire);
        const Bytes unescaped = Unescape(wire);
        ASSERT_EQ(unescaped.size(), want.payload + 2);
        const std::span<const std::uint8_t> payload(unescaped.data(), want.payload);
        EXPECT_EQ(unescaped[want.payload] | unescaped[want.payload + 1] << 8, want.crc);
        EXPECT_EQ(Crc16X25(payload), want.crc);

        // The encoder builds the very same frame from the payload.
        std::array<std::uint8_t, kFrameBufferSize> encoded{};
        const std::size_t n = HdlcEncode(payload, encoded);
        EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(n)), wire);
    }
}

// The codes each stored log-mask row selects, read with the parser the simulated modem uses.
std::vector<unsigned> MaskedLogCodes(const Bytes& payload) {
    const std::optional<LogMask> mask = ParseLogMaskSet(payload);
    EXPECT_TRUE(mask.has_value());
    std::vector<unsigned> codes;
    if (mask) {
        EXPECT_EQ(payload.size(), kLogConfigMaskOffset + mask->mask.size()) << "no stray bytes";
        for (std::uint32_t k = 0; k < 0x1000; ++k) {
            const auto code = static_cast<std::uint16_t>(mask->equipment << 12 | k);
            if (mask->Selects(code)) {
                codes.push_back(code);
            }
        }
    }
    return codes;
}

TEST(DiagCommandTable, LogMaskRowsSelectTheTwoDecodedPackets) {
    const auto payloadOf = [](std::size_t row) {
        Bytes p = Unescape(Decode(DiagCommandTable[row].strFrame));
        p.resize(p.size() - 2);
        return p;
    };
    EXPECT_EQ(MaskedLogCodes(payloadOf(8)), std::vector<unsigned>{0x117C});
    EXPECT_EQ(MaskedLogCodes(payloadOf(9)), std::vector<unsigned>{});
    EXPECT_EQ(MaskedLogCodes(payloadOf(10)), std::vector<unsigned>{0x4005});
    const Bytes row10 = Decode(DiagCommandTable[10].strFrame);
    EXPECT_EQ(row10[12], 0x7D);
    EXPECT_EQ(row10[13], 0x5D);

    // The builder makes the stored rows again; a mask shorter than its bit count is refused.
    const std::uint16_t cellList[] = {kCellListLogCode};
    Bytes built(300);
    built.resize(BuildLogMaskSet(4, 0x077D, cellList, built));
    EXPECT_EQ(built, payloadOf(10));
    built.resize(BuildLogMaskSet(1, 0x03C1, std::span(&kSarPaLogCode, 1), built));
    EXPECT_EQ(built, payloadOf(8));
    built.pop_back();
    EXPECT_FALSE(ParseLogMaskSet(built).has_value());
    EXPECT_EQ(BuildLogMaskSet(4, 5, cellList, built), 0U) << "code beyond the mask";
}

TEST(DiagCommandTable, ProbeFrame) {
    EXPECT_EQ(Decode(DiagProbeFrame), Expand("7B 00 01 02 03 04 05 06 07 08 09 9D 5F 7E"));
    const Bytes payload = Expand("7B 00 01 02 03 04 05 06 07 08 09");
    EXPECT_EQ(Crc16X25(payload), 0x5F9D);
}

TEST(DiagCommandTable, FindCommandRowByName) {
    EXPECT_EQ(FindCommandRow("ON Cell RSSI"), &DiagCommandTable[10]);
    EXPECT_EQ(FindCommandRow("VERNUM"), &DiagCommandTable[0]);
    EXPECT_EQ(FindCommandRow("OFF_AGC"), &DiagCommandTable[4]);
    EXPECT_EQ(FindCommandRow("on cell rssi"), nullptr);
    EXPECT_EQ(FindCommandRow(""), nullptr);
}

// Runs the codec on `text` into a buffer guarded by canaries; returns the length it left.
struct CodecRun {
    std::size_t length;
    Bytes out;  // capacity bytes as left by the codec
    bool guardIntact;
};
CodecRun RunCodec(const std::string& text, std::size_t length, std::size_t capacity) {
    Bytes area(capacity + 16, 0xAA);
    HexTextToBytes(text.data(), length, area.data(), capacity);
    const bool guard = std::all_of(area.begin() + static_cast<std::ptrdiff_t>(capacity), area.end(),
                                   [](std::uint8_t b) { return b == 0xAA; });
    area.resize(capacity);
    return {length, area, guard};
}

TEST(HexTextToBytes, PairsOddDigitAndTerminatingZero) {
    auto r = RunCodec("0078F07E", 8, 16);
    EXPECT_EQ(r.length, 4U);
    EXPECT_EQ(Bytes(r.out.begin(), r.out.begin() + 6), Expand("00 78 F0 7E 00 AA"));

    r = RunCodec("7E5", 3, 16);  // the odd last digit is dropped
    EXPECT_EQ(r.length, 1U);
    EXPECT_EQ(Bytes(r.out.begin(), r.out.begin() + 3), Expand("7E 00 AA"));

    r = RunCodec("", 0, 4);
    EXPECT_EQ(r.length, 0U);
    EXPECT_EQ(r.out, Expand("00 AA AA AA"));
}

TEST(HexTextToBytes, PairsThatAreNotTwoHexDigitsReadTheirLeadingDigits) {
    const auto r = RunCodec("7GG7ZZffa1 1", 12, 16);
    EXPECT_EQ(r.length, 6U);
    EXPECT_EQ(Bytes(r.out.begin(), r.out.begin() + 7), Expand("07 00 00 FF A1 00 00"));
}

TEST(HexTextToBytes, LongestFrameFitsTheScratchAreaOneMoreIsRefused) {
    const std::string longest(2 * kHexCodecMaxBytes, 'F');
    auto r = RunCodec(longest, longest.size(), 16534);
    EXPECT_EQ(r.length, 9999U);
    EXPECT_EQ(std::count(r.out.begin(), r.out.begin() + 9999, 0xFF), 9999);
    EXPECT_EQ(r.out[9999], 0x00);
    EXPECT_TRUE(r.guardIntact);

    r = RunCodec(longest + "F", longest.size() + 1, 16534);  // 19,999 digits: still 9,999 bytes
    EXPECT_EQ(r.length, 9999U);

    const std::string over = longest + "FF";  // 10,000 bytes
    r = RunCodec(over, over.size(), 16534);
    EXPECT_EQ(r.length, 0U);
    EXPECT_EQ(r.out[0], 0x00);
    EXPECT_EQ(r.out[1], 0xAA) << "nothing but the terminating zero is written";
}

TEST(HexTextToBytes, NeverWritesPastTheCallersCapacity) {
    auto r = RunCodec("0078F07E", 8, 5);  // exactly four bytes and the zero
    EXPECT_EQ(r.length, 4U);
    EXPECT_TRUE(r.guardIntact);

    r = RunCodec("0078F07E", 8, 4);  // no room for the zero: refused whole
    EXPECT_EQ(r.length, 0U);
    EXPECT_EQ(r.out, Expand("00 AA AA AA"));
    EXPECT_TRUE(r.guardIntact);

    r = RunCodec("0078F07E", 8, 0);
    EXPECT_EQ(r.length, 0U);
    EXPECT_TRUE(r.guardIntact);
}

TEST(PrepareFrameText, RemovesSpacesAndRefusesWhatDoesNotFit) {
    std::array<char, 8> out{};
    EXPECT_EQ(PrepareFrameText(" 00 78F0 7E ", out), 8U);
    EXPECT_EQ(std::string_view(out.data(), 8), "0078F07E");
    EXPECT_EQ(PrepareFrameText("00 78 F0 7E 00", out), 0U);
    EXPECT_EQ(PrepareFrameText("   ", out), 0U);

    std::array<std::uint8_t, 4> small{};
    EXPECT_EQ(StoredFrameToBytes(DiagCommandTable[3].strFrame, small), 0U);
    EXPECT_EQ(small[0], 0x00);
    const std::string huge(30000, 'A');
    std::array<std::uint8_t, kFrameBufferSize> big{};
    big[0] = 0x55;
    EXPECT_EQ(StoredFrameToBytes(huge, big), 0U);
    EXPECT_EQ(big[0], 0x00);
}

}  // namespace
}  // namespace norvane
