#include "diag/command_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "diag/hdlc.h"

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
    std::uint8_t crcLow, crcHigh;
    const char* bytes;  // on-wire bytes, n*XX for runs
};

// The frames as listed byte by byte in the protocol notes, independent of the stored texts.
const Expected kExpected[kDiagCommandCount] = {
    {"VERNUM", "Version Number", 4, 1, 0x78, 0xF0, "00 78 F0 7E"},
    {"VERNUM", "Version Number", 4, 1, 0x78, 0xF0, "00 78 F0 7E"},
    {"VERNUM", "Version Number", 4, 1, 0x78, 0xF0, "00 78 F0 7E"},
    {"ON_AGC_0", "Version Number", 7, 4, 0x0D, 0xD3, "4B 04 0E 00 0D D3 7E"},
    {"OFF_AGC", "Get Build ID", 15, 12, 0xF5, 0x4B, "4B 0B 09 00 01 5*00 04 10 F5 4B 7E"},
    {"ON_AGC", "Get Build ID", 23, 20, 0x00, 0x39,
     "4B 0B 09 00 00 00 00 00 00 00 04 10 14 00 00 00 01 00 00 00 00 39 7E"},
    {"ON_AGC1", "Get Build ID", 75, 72, 0xE0, 0xE8,
     "73 3*00 01 5*00 26 00 80 06 26 5*00 D0 F6 13 00 78 01 26 00 D0 F6 13 00 91 0E 91 7C 08 06 "
     "26 00 6D 05 91 7C 88 06 26 00 4C F8 13 00 48 F8 13 00 01 7*00 B4 FA 13 00 7C 98 03 10 E0 "
     "E8 7E"},
    {"ON_AGC2", "Get Build ID", 140, 137, 0x38, 0xB9,
     "73 3*00 04 3*00 01 3*00 C1 03 3*00 80 FD 7F ED E3 90 7C F8 32 91 7C 18 3*00 F4 F8 13 00 F4 "
     "F8 13 5*00 54 FA 13 00 40 FA 13 00 B0 F9 13 00 C6 CE 81 7C F4 F8 13 5*00 1E 02 02 00 03 CF "
     "81 7C 07 3*00 C8 FE 13 00 40 FA 13 00 7C 00 98 00 02 3*00 A0 0B 00 00 A4 0B 00 00 3C 93 02 "
     "9*00 1E 02 02 5*00 77 10 42 00 03 00 32 00 07 3*00 0D 38 B9 7E"},
    {"ON_AGC3", "Version Number", 140, 137, 0x0B, 0x3E,
     "73 3*00 03 3*00 01 3*00 C1 03 49*00 10 73*00 0B 3E 7E"},
    {"OFF Cell RSSI", "OFF Cell RSSI", 260, 256, 0x2C, 0xC3,
     "73 3*00 03 3*00 04 3*00 7D 5D 07 242*00 2C C3 7E"},
    {"ON Cell RSSI", "ON Cell RSSI", 260, 256, 0x19, 0x31,
     "73 3*00 03 3*00 04 3*00 7D 5D 07 00 00 20 239*00 19 31 7E"},
    {"C_02", "Get Build ID", 535, 524, 0xE8, 0x18,
     "4B 13 05 9*00 7D 5E 60 00 12 6A 7D 5E 7D 5E 73 3*00 03 3*00 01 3*00 C9 03 45*00 01 78*00 "
     "05 51 7D 5E 7D 5E 73 3*00 03 3*00 04 3*00 7D 5D 5D 07 00 00 20 239*00 19 31 7D 5E 7D 5E 73 "
     "3*00 03 3*00 05 3*00 28 04 88*00 E8 18 7E"},
    {"C_01", "Get Build ID", 538, 524, 0xB4, 0xCE,
     "4B 13 05 6*00 02 49*00 AE A7 7D 5E 7D 5E 73 3*00 03 3*00 07 3*00 07 05 163*00 FD 66 7D 5E "
     "7D 5E 7D 5D 5D 04 00 00 33 211*00 83 9C 7D 5E 7D 5E 7D 5D 5D 04 F4 01 FA 01 30*00 0A FF 7D "
     "5E 7D 5E 7D 5D 5D 04 B8 0B C4 0B 11*00 B4 CE 7E"},
    {"C_00", "Get Build ID", 542, 524, 0x76, 0xE0,
     "4B 13 05 6*00 04 45*00 05 95 7D 5E 7D 5E 7D 5D 5D 04 A0 0F AA 0F 46*00 11 67 7D 5E 7D 5E 7D "
     "5D 5D 04 88 13 99 13 74*00 7F 96 7D 5E 7D 5E 7D 5D 5D 04 7C 15 89 15 58*00 5B FC 7D 5E 7D "
     "5E 7D 5D 5D 04 70 17 97 17 162*00 2E AB 7D 5E 7D 5E 7D 5D 5D 04 64 19 79 19 74*00 76 E0 7E"},
    {"C_1", "Get Build ID", 11, 8, 0x34, 0x50, "4B 13 03 00 00 00 00 00 34 50 7E"},
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
        EXPECT_EQ(wire, Expand(want.bytes));

        const Bytes unescaped = Unescape(wire);
        ASSERT_EQ(unescaped.size(), want.payload + 2);
        const std::span<const std::uint8_t> payload(unescaped.data(), want.payload);
        EXPECT_EQ(unescaped[want.payload], want.crcLow);
        EXPECT_EQ(unescaped[want.payload + 1], want.crcHigh);
        EXPECT_EQ(Crc16X25(payload), want.crcLow | (want.crcHigh << 8));

        // The encoder builds the very same frame from the payload.
        std::array<std::uint8_t, kFrameBufferSize> encoded{};
        const std::size_t n = HdlcEncode(payload, encoded);
        EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(n)), wire);
    }
}

TEST(DiagCommandTable, StoredTextsKeepTheirIrregularSpacing) {
    EXPECT_EQ(DiagCommandTable[0].strFrame, "0078F07E");
    EXPECT_EQ(DiagCommandTable[1].strFrame, DiagCommandTable[0].strFrame);
    EXPECT_EQ(DiagCommandTable[2].strFrame, DiagCommandTable[0].strFrame);
    EXPECT_EQ(DiagCommandTable[14].strFrame, "4B1303000000000034507E");
    EXPECT_NE(DiagCommandTable[6].strFrame.find(" 00D0 "), std::string_view::npos);
    EXPECT_EQ(DiagCommandTable[7].strFrame.size(), 415U);
    int rowsWithRunTogetherZeros = 0;
    for (const auto& row : DiagCommandTable) {
        rowsWithRunTogetherZeros += row.strFrame.find(" 0000 ") != std::string_view::npos;
        EXPECT_EQ(row.strFrame.find("  "), std::string_view::npos) << row.strName;
        EXPECT_EQ(row.strFrame.find_first_not_of("0123456789ABCDEF "), std::string_view::npos);
    }
    EXPECT_GE(rowsWithRunTogetherZeros, 3);
}

// Log codes whose bit is set in a log-mask frame (command 0x73, operation 3).
std::vector<unsigned> MaskedLogCodes(const Bytes& payload) {
    const auto u32 = [&](std::size_t at) {
        return payload[at] | payload[at + 1] << 8 | payload[at + 2] << 16 |
               static_cast<unsigned>(payload[at + 3]) << 24;
    };
    EXPECT_EQ(u32(4), 3U);
    const unsigned equipment = u32(8);
    const unsigned bits = u32(12);
    EXPECT_EQ(payload.size(), 16 + (bits + 7) / 8);
    std::vector<unsigned> codes;
    for (unsigned k = 0; k < bits; ++k) {
        if (payload[16 + k / 8] & (1U << (k % 8))) {
            codes.push_back(equipment * 0x1000 + k);
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
