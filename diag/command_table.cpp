// The fixed command frames and the hex text codec.
//
// Every frame text already holds the finished on-wire frame: payload, CRC-16/X.25 of the
// payload (low byte first), 0x7D escapes and the closing flag 0x7E. Nothing is framed, escaped
// or checksummed at run time. The texts are kept as they were first written down, with their
// irregular spacing (pairs run together in places, rows 0 and 14 without any space); spaces carry
// no meaning and are removed before decoding.
//
// Codec limits. The codec works as if through a 10,000-byte scratch area, so a frame holds at
// most kHexCodecMaxBytes (9,999) bytes plus the terminating zero. A text of more than 19,999
// digits (10,000 bytes or more), or one whose bytes plus the terminating zero do not fit the
// caller's capacity, is not decoded at all: the length comes back 0 and, when the capacity
// allows, only the terminating zero is written. Cutting a command short would put a frame on the
// wire that the modem reads as something else or as garbage; sending nothing is the lesser harm.
// Nothing is ever written at or past buffer + capacity.
#include "diag/command_table.h"

namespace norvane {
namespace {

// Value of a hex digit, or -1. Lower-case digits are read too, as a base-16 reading does.
constexpr std::array<std::int8_t, 256> MakeHexDigitTable() {
    std::array<std::int8_t, 256> table{};
    for (auto& v : table) {
        v = -1;
    }
    for (int c = '0'; c <= '9'; ++c) {
        table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - '0');
    }
    for (int c = 'A'; c <= 'F'; ++c) {
        table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A' + 10);
        table[static_cast<std::size_t>(c - 'A' + 'a')] = static_cast<std::int8_t>(c - 'A' + 10);
    }
    return table;
}
constexpr auto kHexDigit = MakeHexDigitTable();

// A pair is read as a base-16 number made of its leading hex digits: "7E" is 0x7E, "7G" is 0x07,
// "G7" is 0 (no leading digit). The texts in the table hold only valid digits; this only matters
// for texts from elsewhere, which are not validated.
std::uint8_t PairValue(char high, char low) {
    const int h = kHexDigit[static_cast<unsigned char>(high)];
    if (h < 0) {
        return 0;
    }
    const int l = kHexDigit[static_cast<unsigned char>(low)];
    if (l < 0) {
        return static_cast<std::uint8_t>(h);
    }
    return static_cast<std::uint8_t>((h << 4) | l);
}

}  // namespace

// Rows 0, 1 and 2 are identical. Only strFrame is sent; names and descriptions are kept as the
// rows were first written, even where the description does not fit the command.
const std::array<DiagCommandRow, kDiagCommandCount> DiagCommandTable{{
    // 0. Version number request (command 0x00).
    {"VERNUM", "0078F07E", "Version Number", ""},
    // 1.
    {"VERNUM", "0078F07E", "Version Number", ""},
    // 2.
    {"VERNUM", "0078F07E", "Version Number", ""},
    // 3. Subsystem 0x04, sub-command 0x000E.
    {"ON_AGC_0", "4B 04 0E 00 0D D3 7E", "Version Number", ""},
    // 4. Subsystem 0x0B, sub-command 0x0009: switches the SAR/PA report off.
    {"OFF_AGC", "4B 0B 09 00 01 00 00 00 00 00 04 10 F5 4B 7E", "Get Build ID", ""},
    // 5. Subsystem 0x0B, sub-command 0x0009: first step of switching the SAR/PA report on.
    {"ON_AGC", "4B 0B 09 00 00 00 00 00 00 00 04 10 14 00 00 00 01 00 00 00 00 39 7E",
     "Get Build ID", ""},
    // 6. Command 0x73, operation 1.
    {"ON_AGC1",
     "73 00 00 00 01 00 00 0000 00 26 00 80 06 26 00 00 00 00 00D0 F6 13 00 78 01 26 00 D0"
     " F6 13 00 91 0E 91 7C 08 06 26 00 6D 05 91 7C 88 06 26 00 4C F8 13 00 48 F8 13 00 01"
     " 00 00 00 00 00 00 00 B4 FA 13 00 7C 98 03 10 E0 E8 7E",
     "Get Build ID", ""},
    // 7. Command 0x73, operation 4.
    {"ON_AGC2",
     "73 0000 00 04 00 00 00 01 00 0000 C1 03 00 00 00 80 FD 7F ED E3 90 7C F8 32 91 7C 18"
     " 00 0000 F4 F8 13 00 F4 F8 13 00 00 00 00 00 54 FA 13 00 40 FA 13 00 B0 F9 13 00 C6 CE"
     " 81 7C F4 F8 13 00 00 00 0000 1E 02 02 00 03 CF 81 7C 07 00 00 00 C8 FE 13 00 40 FA 13"
     " 00 7C 00 98 00 02 00 00 00 A0 0B 00 00 A4 0B 00 00 3C 93 02 00 00 00 00 00 00 00 00"
     " 00 1E 02 02 00 00 00 00 00 77 10 42 00 03 00 32 00 07 00 00 00 0D 38 B9 7E",
     "Get Build ID", ""},
    // 8. Command 0x73, operation 3 (set log mask), equipment 1, 961 bits: only log code 0x117C
    // (mask byte 47 = 0x10), the SAR/PA report.
    {"ON_AGC3",
     "73 00 00 00 03 0000 00 01 00 00 00 C1 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0B 3E 7E",
     "Version Number", ""},
    // 9. Command 0x73, operation 3, equipment 4, 1917 bits (0x077D, its low byte escaped as 7D 5D),
    // all-zero mask: every equipment 4 log off, the cell list among them.
    {"OFF Cell RSSI",
     "73 00 00 00 03 00 0000 04 00 00 00 7D 5D 07 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 2C C3 7E",
     "OFF Cell RSSI", ""},
    // 10. As row 9 with only log code 0x4005 set (mask byte 0 = 0x20): the WCDMA cell list on.
    {"ON Cell RSSI",
     "73 00 00 00 03 00 00 00 04 00 00 00 7D 5D 07 00 00 20 0000 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 19 31 7E",
     "ON Cell RSSI", ""},
    // 11. Subsystem 0x13 (command 0x4B): 524-byte payload embedding copies of escaped frames, hence
    // the escaped 0x7E and 0x7D bytes and sequences like 7D 5D 5D.
    {"C_02",
     "4B 13 05 00 0000 00 00 00 00 00 00 7D 5E 60 00 12 6A 7D 5E 7D 5E 73 00 00 00 03 00 00"
     " 00 01 00 00 00 C9 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 05 51 7D 5E 7D 5E 73 00 00 00 03"
     " 00 00 00 04 00 00 00 7D 5D 5D 07 00 00 20 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 19 31"
     " 7D 5E 7D 5E 73 00 00 00 03 00 00 00 05 00 00 00 28 04 00 00 0000 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 E8 18 7E",
     "Get Build ID", ""},
    // 12. Subsystem 0x13, 524-byte payload with embedded frames.
    {"C_01",
     "4B 13 05 00 00 00 00 00 00 02 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 AE A7 7D 5E 7D 5E 73 00 00 00 03 0000 00 07 00 00 00 07 05 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 FD 66 7D 5E 7D 5E 7D 5D 5D 04 00 00 33"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 83 9C 7D 5E 7D 5E 7D 5D 5D 04 F4 01 FA 01 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 0A FF 7D 5E 7D 5E 7D 5D 5D 04 B8 0B C4 0B 00 00 00 00 00 00 00 00 00 00 00 B4 CE"
     " 7E",
     "Get Build ID", ""},
    // 13. Subsystem 0x13, 524-byte payload with embedded frames.
    {"C_00",
     "4B 13 05 0000 00 00 00 00 04 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 05 95 7D"
     " 5E 7D 5E 7D 5D 5D 04 A0 0F AA 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 11 67 7D 5E 7D 5E 7D 5D 5D 04 88 13 99 13 00 00 00 00 00 0000 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 7F 96 7D 5E 7D 5E 7D 5D 5D 04 7C 15 89 15 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5B FC 7D 5E 7D 5E 7D 5D 5D"
     " 04 70 17 97 17 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 2E AB 7D"
     " 5E 7D 5E 7D 5D 5D 04 64 19 79 19 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 0000 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     " 76 E0 7E",
     "Get Build ID", ""},
    // 14. Subsystem 0x13, sub-command 0x0003.
    {"C_1", "4B1303000000000034507E", "Get Build ID", ""},
}};

const std::string_view DiagProbeFrame = "7B 00 01 02 03 04 05 06 07 08 09 9D 5F 7E";

void HexTextToBytes(const char* text, std::size_t& length, std::uint8_t* buffer,
                    std::size_t capacity) {
    const std::size_t n = length / 2;  // an odd last digit is ignored
    if (n > kHexCodecMaxBytes || n >= capacity) {
        length = 0;
        if (capacity > 0) {
            buffer[0] = 0;
        }
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = PairValue(text[2 * i], text[2 * i + 1]);
    }
    buffer[n] = 0;
    length = n;
}

std::size_t PrepareFrameText(std::string_view stored, std::span<char> out) {
    std::size_t count = 0;
    for (const char c : stored) {
        if (c == ' ') {
            continue;
        }
        if (count == out.size()) {
            return 0;  // does not fit: no half text
        }
        out[count++] = c;
    }
    return count;
}

std::size_t StoredFrameToBytes(std::string_view stored, std::span<std::uint8_t> out) {
    // Room for the digits of the largest frame the codec produces, and one more pair so that a
    // text just over the limit reaches the codec and is refused there; longer ones stop here.
    std::array<char, 2 * kHexCodecMaxBytes + 2> text;
    std::size_t length = PrepareFrameText(stored, text);
    if (length == 0) {  // empty, or too long for the codec in any case
        if (!out.empty()) {
            out[0] = 0;
        }
        return 0;
    }
    HexTextToBytes(text.data(), length, out.data(), out.size());
    return length;
}

const DiagCommandRow* FindCommandRow(std::string_view name) {
    for (const auto& row : DiagCommandTable) {
        if (row.strName == name) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace norvane
