// Reading and writing the fields of log payloads: little-endian words, bit fields inside them,
// measurements in sixteenths of a dB, network codes as digit text, and how a decode ended. The
// callers check that a field lies inside the payload before they read or write it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace norvane {

// How decoding one log payload ended. A known packet of a version this code has no layout for is
// kUnknownVersion; one whose bytes break its own layout (too short, counts beyond its end) is
// kMalformed.
enum class PacketDecode : std::uint8_t { kOk, kUnknownVersion, kMalformed };

inline std::uint32_t LeU16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8);
}

inline std::uint32_t LeU32(std::span<const std::uint8_t> b, std::size_t at) {
    return LeU16(b, at) | (LeU16(b, at + 2) << 16);
}

// A field of 2 or 4 bytes: the value of its `width` bytes at `at`.
inline std::uint32_t LeUint(std::span<const std::uint8_t> b, std::size_t at, std::size_t width) {
    return width == 2 ? LeU16(b, at) : LeU32(b, at);
}

inline void PutLe(std::span<std::uint8_t> b, std::size_t at, std::size_t width, std::uint32_t v) {
    for (std::size_t i = 0; i < width; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// Bits shift .. shift+width-1 of the little-endian 32-bit word at byte `offset`.
struct BitField {
    std::uint16_t offset;
    std::uint8_t shift;
    std::uint8_t width;

    constexpr std::uint32_t Mask() const { return width >= 32 ? ~0u : (1u << width) - 1; }
    std::uint32_t Read(std::span<const std::uint8_t> b) const {
        return (LeU32(b, offset) >> shift) & Mask();
    }
    // ORs `value` (cut to the field's width) into the word; the word's other bits stay.
    void Write(std::span<std::uint8_t> b, std::uint32_t value) const {
        PutLe(b, offset, 4, LeU32(b, offset) | ((value & Mask()) << shift));
    }
    constexpr std::size_t End() const { return offset + std::size_t{4}; }
};

// A measurement in sixteenths of its unit (dBm or dB). Every formula of these packets is
// raw / 16 - offset, so whole sixteenths keep each value exact: -1678 is -104.875 dBm.
using Sixteenths = std::int32_t;
inline constexpr Sixteenths kRsrpBias = -180 * 16;  // RSRP = raw / 16 - 180 dBm
inline constexpr Sixteenths kRsrqBias = -30 * 16;   // RSRQ = raw / 16 - 30 dB
inline constexpr Sixteenths kRssiBias = -110 * 16;  // RSSI = raw / 16 - 110 dBm

// The layout of `version` among `layouts` (each with a `version` member), or nullptr.
template <typename Layout, std::size_t N, typename Version>
const Layout* FindLayoutVersion(const std::array<Layout, N>& layouts, Version version) {
    for (const Layout& l : layouts) {
        if (l.version == version) {
            return &l;
        }
    }
    return nullptr;
}

// A measurement field's value: raw + bias.
inline Sixteenths MeasureField(const BitField& f, std::span<const std::uint8_t> b,
                               Sixteenths bias) {
    return static_cast<Sixteenths>(f.Read(b)) + bias;
}

// The raw field value of a measurement; out of the field's range it is cut to its edge.
inline std::uint32_t RawField(const BitField& f, Sixteenths value, Sixteenths bias) {
    const std::int64_t raw = std::int64_t{value} - bias;
    return static_cast<std::uint32_t>(raw < 0 ? 0 : raw > f.Mask() ? f.Mask() : raw);
}

// Mobile country and network code as the digits the packet holds, each NUL-terminated ("310",
// "03"); `known` false when the packet holds none that can be read as digits.
struct PlmnText {
    bool known = false;
    std::array<char, 6> mcc{};
    std::array<char, 6> mnc{};
};

// `value` in decimal, zero-padded to `minDigits`, into `text` (NUL-terminated; 5 digits fit).
inline void DecimalText(std::uint32_t value, std::size_t minDigits, std::array<char, 6>& text) {
    std::array<char, 5> reversed{};
    std::size_t n = 0;
    do {
        reversed[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && n < reversed.size());
    while (n < minDigits && n < reversed.size()) {
        reversed[n++] = '0';
    }
    for (std::size_t i = 0; i < n; ++i) {
        text[i] = reversed[n - 1 - i];
    }
    text[n] = '\0';
}

// The PLMN of a packet that sends MCC and MNC as binary numbers with the MNC's digit count: MCC
// to three digits, MNC to its count when that is 2 or 3.
inline PlmnText PlmnFromBinary(std::uint32_t mcc, std::uint32_t mncDigits, std::uint32_t mnc) {
    PlmnText p;
    p.known = true;
    DecimalText(mcc, 3, p.mcc);
    DecimalText(mnc, mncDigits == 2 || mncDigits == 3 ? mncDigits : 1, p.mnc);
    return p;
}

// The number the leading digits of `text` spell; 0 for none.
inline std::uint32_t DigitsValue(const std::array<char, 6>& text) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + static_cast<std::uint32_t>(text[i] - '0');
    }
    return v;
}

}  // namespace norvane
