// Test support without Qt: frames as the bytes on the wire.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "diag/command_table.h"
#include "diag/hdlc.h"

namespace norvane::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes StoredBytes(std::string_view text) {
    std::array<std::uint8_t, kFrameBufferSize> buffer{};
    const std::size_t n = StoredFrameToBytes(text, buffer);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

inline Bytes RowBytes(std::string_view name) {
    const DiagCommandRow* row = FindCommandRow(name);
    EXPECT_NE(row, nullptr) << name;
    return row != nullptr ? StoredBytes(row->strFrame) : Bytes{};
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// A payload framed as the modem sends it: CRC, escapes, closing flag.
inline Bytes EncodeFrame(std::span<const std::uint8_t> payload) {
    Bytes out(2 * payload.size() + 8);
    out.resize(HdlcEncode(payload, out));
    return out;
}
inline Bytes EncodeFrame(std::initializer_list<std::uint8_t> payload) {
    return EncodeFrame(std::span(payload.begin(), payload.size()));
}

// A cell list (log code 0x4005) with one band I cell of the given PSC, as the modem frames it.
inline Bytes CellListFrame(std::uint16_t psc) {
    Bytes p = {0x10, 0x00, 0x18, 0x00, 0x18, 0x00, 0x05, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    const std::uint16_t uarfcn = 10700;
    const std::int16_t rscp = -60;
    const Bytes cell = {std::uint8_t(uarfcn),
                        std::uint8_t(uarfcn >> 8),
                        std::uint8_t(psc),
                        std::uint8_t(psc >> 8),
                        std::uint8_t(rscp),
                        std::uint8_t(rscp >> 8),
                        0,
                        std::uint8_t(256 - 8),
                        0,
                        0};
    p.insert(p.end(), cell.begin(), cell.end());
    return EncodeFrame(p);
}

// A SAR/PA report (log code 0x117C) with SAR level 2 and the given PA value.
inline Bytes SarPaFrame(std::uint8_t pa) {
    Bytes p(32, 0);
    const Bytes head = {0x10, 0x00, 0x1C, 0x00, 0x1C, 0x00, 0x7C, 0x11};
    std::copy(head.begin(), head.end(), p.begin());
    p[25] = 2;
    p[29] = pa;
    return EncodeFrame(p);
}

}  // namespace norvane::test
