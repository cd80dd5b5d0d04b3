#include "diag/hdlc.h"

namespace norvane {
namespace {

// Table-driven CRC-16/X.25 (reflected 0x1021 = 0x8408), built at compile time.
constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408U)
                             : static_cast<std::uint16_t>(crc >> 1);
        }
        table[i] = crc;
    }
    return table;
}
constexpr auto kCrcTable = MakeCrcTable();

// The CRC register before the final XOR; running it over payload + received CRC leaves this
// constant when the CRC is right.
constexpr std::uint16_t kCrcGood = 0xF0B8;

constexpr std::uint16_t CrcUpdate(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFFU]);
}

bool NeedsEscape(std::uint8_t b) { return b == kHdlcFlag || b == kHdlcEscape; }

}  // namespace

std::uint16_t Crc16X25(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc = CrcUpdate(crc, b);
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFFU);
}

std::size_t HdlcEncode(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out) {
    std::size_t pos = 0;
    auto put = [&](std::uint8_t b) {
        if (NeedsEscape(b)) {
            if (pos + 2 > out.size()) {
                return false;
            }
            out[pos++] = kHdlcEscape;
            out[pos++] = static_cast<std::uint8_t>(b ^ kHdlcEscapeXor);
            return true;
        }
        if (pos + 1 > out.size()) {
            return false;
        }
        out[pos++] = b;
        return true;
    };
    for (std::uint8_t b : payload) {
        if (!put(b)) {
            return 0;
        }
    }
    const std::uint16_t crc = Crc16X25(payload);
    if (!put(static_cast<std::uint8_t>(crc & 0xFFU)) || !put(static_cast<std::uint8_t>(crc >> 8))) {
        return 0;
    }
    if (pos + 1 > out.size()) {
        return 0;
    }
    out[pos++] = kHdlcFlag;
    return pos;
}

void HdlcDeframer::Reset() {
    length_ = 0;
    payloadLength_ = 0;
    escaped_ = false;
    discarding_ = false;
}

HdlcDeframer::Step HdlcDeframer::Feed(std::span<const std::uint8_t> in) {
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::uint8_t b = in[i];
        if (b == kHdlcFlag) {
            const std::size_t length = length_;
            const bool wasDiscarding = discarding_;
            length_ = 0;
            escaped_ = false;
            discarding_ = false;
            if (wasDiscarding) {
                // The overlong frame was reported when it overflowed; this flag ends it.
                continue;
            }
            if (length == 0) {
                continue;  // leading flag or two flags in a row: no frame
            }
            std::uint16_t crc = 0xFFFF;
            for (std::size_t k = 0; k < length; ++k) {
                crc = CrcUpdate(crc, buffer_[k]);
            }
            if (length < 3 || crc != kCrcGood) {
                return {Status::kBadFcs, i + 1};
            }
            payloadLength_ = length - 2;
            return {Status::kFrame, i + 1};
        }
        if (discarding_) {
            continue;
        }
        std::uint8_t value = b;
        if (escaped_) {
            value = static_cast<std::uint8_t>(b ^ kHdlcEscapeXor);
            escaped_ = false;
        } else if (b == kHdlcEscape) {
            escaped_ = true;
            continue;
        }
        if (length_ == buffer_.size()) {
            discarding_ = true;
            length_ = 0;
            return {Status::kOverflow, i + 1};
        }
        buffer_[length_++] = value;
    }
    return {Status::kNeedMore, in.size()};
}

}  // namespace norvane
