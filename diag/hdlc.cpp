#include "diag/hdlc.h"

#include <bit>
#include <cstring>

namespace norvane {
namespace {

// CRC-16/X.25 (reflected 0x1021 = 0x8408), sliced by 8: table k gives the effect of a byte
// followed by k zero bytes, so eight bytes are folded into the register per step. The tables
// are built at compile time.
using CrcTables = std::array<std::array<std::uint16_t, 256>, 8>;
constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408U)
                             : static_cast<std::uint16_t>(crc >> 1);
        }
        t[0][i] = crc;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            const std::uint16_t prev = t[k - 1][i];
            t[k][i] = static_cast<std::uint16_t>((prev >> 8) ^ t[0][prev & 0xFFU]);
        }
    }
    return t;
}
constexpr CrcTables kCrc = MakeCrcTables();

// The CRC register before the final XOR; running it over payload + received CRC leaves this
// constant when the CRC is right.
constexpr std::uint16_t kCrcGood = 0xF0B8;

constexpr std::uint16_t CrcUpdate(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc >> 8) ^ kCrc[0][(crc ^ byte) & 0xFFU]);
}

std::uint64_t LoadLe64(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) {
        w = __builtin_bswap64(w);
    }
    return w;
}

std::uint16_t CrcRegister(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t x = LoadLe64(p + i) ^ crc;
        crc = static_cast<std::uint16_t>(kCrc[7][x & 0xFF] ^ kCrc[6][(x >> 8) & 0xFF] ^
                                         kCrc[5][(x >> 16) & 0xFF] ^ kCrc[4][(x >> 24) & 0xFF] ^
                                         kCrc[3][(x >> 32) & 0xFF] ^ kCrc[2][(x >> 40) & 0xFF] ^
                                         kCrc[1][(x >> 48) & 0xFF] ^ kCrc[0][x >> 56]);
    }
    for (; i < n; ++i) {
        crc = CrcUpdate(crc, p[i]);
    }
    return crc;
}

bool NeedsEscape(std::uint8_t b) {
    return b == kHdlcFlag || b == kHdlcEscape;
}

// Index of the first flag or escape byte in p[0..n), or n. Eight bytes at a time: a byte of
// w ^ pattern is zero where w holds the pattern byte; (v - 0x01..) & ~v & 0x80.. marks the lowest
// such zero byte exactly (marks above it may be false, but only the lowest is used).
std::size_t FindFlagOrEscape(const std::uint8_t* p, std::size_t n) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    constexpr std::uint64_t kFlags = kOnes * kHdlcFlag;
    constexpr std::uint64_t kEscapes = kOnes * kHdlcEscape;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint64_t w = LoadLe64(p + i);
        const std::uint64_t f = w ^ kFlags;
        const std::uint64_t e = w ^ kEscapes;
        const std::uint64_t marks = ((f - kOnes) & ~f & kHighs) | ((e - kOnes) & ~e & kHighs);
        if (marks != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(marks)) / 8;
        }
    }
    for (; i < n; ++i) {
        if (NeedsEscape(p[i])) {
            return i;
        }
    }
    return n;
}

}  // namespace

std::uint16_t Crc16X25(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint16_t>(CrcRegister(0xFFFF, bytes.data(), bytes.size()) ^ 0xFFFFU);
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

HdlcDeframer::Step HdlcDeframer::EndFrame(std::size_t consumed) {
    const std::size_t length = length_;
    const bool wasDiscarding = discarding_;
    length_ = 0;
    escaped_ = false;  // an escape right before the flag escapes nothing
    discarding_ = false;
    if (wasDiscarding || length == 0) {
        // The tail of an overlong frame (reported when it overflowed), or no frame at all: a
        // leading flag or two flags in a row.
        return {Status::kNeedMore, consumed};
    }
    if (length < 3 || CrcRegister(0xFFFF, buffer_.data(), length) != kCrcGood) {
        return {Status::kBadFcs, consumed};
    }
    payloadLength_ = length - 2;
    return {Status::kFrame, consumed};
}

HdlcDeframer::Step HdlcDeframer::Feed(std::span<const std::uint8_t> in) {
    const std::uint8_t* const p = in.data();
    const std::size_t n = in.size();
    std::size_t i = 0;
    while (i < n) {
        if (discarding_) {
            const void* flag = std::memchr(p + i, kHdlcFlag, n - i);
            if (flag == nullptr) {
                return {Status::kNeedMore, n};
            }
            i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(flag) - p);
        } else if (escaped_ && p[i] != kHdlcFlag) {
            if (length_ == buffer_.size()) {
                return Overflow(i + 1);
            }
            buffer_[length_++] = static_cast<std::uint8_t>(p[i] ^ kHdlcEscapeXor);
            escaped_ = false;
            ++i;
            continue;
        } else {
            // Copy the run of plain bytes up to the next flag or escape in one go.
            const std::size_t run = FindFlagOrEscape(p + i, n - i);
            const std::size_t room = buffer_.size() - length_;
            if (run > room) {
                std::memcpy(buffer_.data() + length_, p + i, room);
                return Overflow(i + room + 1);
            }
            if (run < 16) {  // small pieces (slow links, byte-by-byte feeding): no library call
                for (std::size_t k = 0; k < run; ++k) {
                    buffer_[length_ + k] = p[i + k];
                }
            } else {
                std::memcpy(buffer_.data() + length_, p + i, run);
            }
            length_ += run;
            i += run;
            if (i == n) {
                break;
            }
            if (p[i] == kHdlcEscape) {
                escaped_ = true;
                ++i;
                continue;
            }
        }
        // p[i] is a flag: the frame ends here.
        const Step step = EndFrame(i + 1);
        if (step.status != Status::kNeedMore) {
            return step;
        }
        i = step.consumed;
    }
    return {Status::kNeedMore, n};
}

HdlcDeframer::Step HdlcDeframer::Overflow(std::size_t consumed) {
    discarding_ = true;
    escaped_ = false;
    length_ = 0;
    return {Status::kOverflow, consumed};
}

}  // namespace norvane
