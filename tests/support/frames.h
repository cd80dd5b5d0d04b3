// Test support without Qt: frames as the bytes on the wire.
#pragma once

#include <gtest/gtest.h>

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

}  // namespace norvane::test
