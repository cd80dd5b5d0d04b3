// The fixed command frames sent to the modem's diagnostic port, stored as hex text that already
// holds the finished on-wire frame (payload, CRC, escapes, closing flag), and the codec that
// turns such a text into bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace norvane {

struct DiagCommandRow {
    std::string_view strName;
    std::string_view strFrame;  // on-wire frame as upper-case hex text, spaces irregular
    std::string_view strDescription;
    std::string_view strSpare;  // always empty
};

inline constexpr std::size_t kDiagCommandCount = 15;
extern const std::array<DiagCommandRow, kDiagCommandCount> DiagCommandTable;

// The loopback probe sent first after a port is opened (command 0x7B, bytes 00..09).
extern const std::string_view DiagProbeFrame;

// Largest frame the codec produces: n + 1 bytes must fit its 10,000-byte scratch area.
inline constexpr std::size_t kHexCodecMaxBytes = 9999;

// Decodes a space-free hex text. `length` holds the number of characters on entry and the
// number of bytes produced on return; `buffer` receives those bytes and one 0x00 after them and
// must hold `capacity` bytes. See command_table.cpp for what a text too long for the scratch
// area or for the caller's buffer gives.
void HexTextToBytes(const char* text, std::size_t& length, std::uint8_t* buffer,
                    std::size_t capacity);

// Prepares a stored frame text for the codec: copies it without its spaces into `out` and
// returns the number of characters copied. Returns 0, and leaves `out` partly written, when the
// text without spaces does not fit into `out`: a cut text would make a different frame.
std::size_t PrepareFrameText(std::string_view stored, std::span<char> out);

// Prepares and decodes a stored frame text into `out` (the bytes and one 0x00 after them);
// returns the number of frame bytes, 0 when the frame does not fit into `out` or the codec.
std::size_t StoredFrameToBytes(std::string_view stored, std::span<std::uint8_t> out);

// The first row with this strName, or nullptr.
const DiagCommandRow* FindCommandRow(std::string_view name);

}  // namespace norvane
