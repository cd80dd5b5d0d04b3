// Builders of DIAG log payloads (unescaped, without CRC) for tests, benchmarks and the sample
// stream.
#pragma once

#include <cstdint>
#include <vector>

#include "diag/hdlc.h"

namespace norvane::testing {

struct CellRecord {
    std::int16_t uarfcn = 10737;
    std::int16_t psc = 50;
    std::uint8_t rscpLow = 0xB4;  // -96 dBm
    std::uint8_t rscpHigh = 0xFF;
    std::uint8_t ecIo = 0xF6;  // -10 dB
};

inline void PutLe(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

// A WCDMA cell list (log code 0x4005) holding `cells`; `count` overrides the WCDMA count byte.
inline std::vector<std::uint8_t> CellListPayload(const std::vector<CellRecord>& cells,
                                                 std::uint8_t gsm, std::int64_t stamp,
                                                 int count = -1) {
    const auto records = static_cast<std::uint8_t>(2 + 10 * cells.size() + 12);
    std::vector<std::uint8_t> p{0x10, 0x00, records, 0x00, records, 0x00, 0x05, 0x40};
    PutLe(p, static_cast<std::uint64_t>(stamp), 8);
    p.push_back(static_cast<std::uint8_t>(count < 0 ? cells.size() : static_cast<unsigned>(count)));
    p.push_back(gsm);
    for (const CellRecord& c : cells) {
        PutLe(p, static_cast<std::uint16_t>(c.uarfcn), 2);
        PutLe(p, static_cast<std::uint16_t>(c.psc), 2);
        p.push_back(c.rscpLow);
        p.push_back(c.rscpHigh);
        p.push_back(0x00);
        p.push_back(c.ecIo);
        PutLe(p, 0, 2);
    }
    return p;
}

// A SAR/PA report (log code 0x117C, record length 0x1C), 30 bytes.
inline std::vector<std::uint8_t> SarPaPayload(std::uint8_t level, std::uint8_t pa) {
    std::vector<std::uint8_t> p{0x10, 0x00, 0x1C, 0x00, 0x1C, 0x00, 0x7C, 0x11};
    PutLe(p, 0x0123456789ULL, 8);
    p.resize(30, 0x00);
    p[25] = level;
    p[29] = pa;
    return p;
}

// Some other log packet (log code 0x4179) with `size` bytes of varied content in all.
inline std::vector<std::uint8_t> OtherLogPayload(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> p{0x10, 0x00, 0x20, 0x00, 0x20, 0x00, 0x79, 0x41};
    std::uint32_t x = seed * 2654435761U + 1;
    while (p.size() < size) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        p.push_back(static_cast<std::uint8_t>(x >> 7));
    }
    p.resize(size);
    return p;
}

// Appends the on-wire form of `payload` (escaped, CRC, closing flag) to `stream`.
inline void AppendFrame(std::vector<std::uint8_t>& stream,
                        const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> wire(2 * payload.size() + 8);
    wire.resize(HdlcEncode(payload, wire));
    stream.insert(stream.end(), wire.begin(), wire.end());
}

// A realistic stream of `frames` frames: cell lists (1 to 8 cells, with PSC, RSCP and Ec/Io
// bytes that need escaping), SAR/PA reports and other log packets of 40 to 300 bytes.
inline std::vector<std::uint8_t> RealisticStream(std::size_t frames) {
    std::vector<std::uint8_t> stream;
    std::uint32_t x = 12345;
    for (std::size_t f = 0; f < frames; ++f) {
        x = x * 1103515245U + 12345U;
        const unsigned pick = (x >> 16) % 8;
        if (pick < 4) {
            std::vector<CellRecord> cells(1 + (x >> 8) % 8);
            for (std::size_t k = 0; k < cells.size(); ++k) {
                cells[k].uarfcn = static_cast<std::int16_t>(10562 + 25 * k);
                cells[k].psc = static_cast<std::int16_t>(k == 1 ? 0x7E : 100 + 37 * k);
                cells[k].rscpLow = static_cast<std::uint8_t>(k == 2 ? 0x7D : 0xA0 + k);
                cells[k].ecIo = static_cast<std::uint8_t>(0xF0 + k);
            }
            AppendFrame(stream, CellListPayload(cells, static_cast<std::uint8_t>(f % 5),
                                                static_cast<std::int64_t>(f) * 52400 * 250));
        } else if (pick == 4) {
            AppendFrame(stream, SarPaPayload(static_cast<std::uint8_t>(f % 5),
                                             static_cast<std::uint8_t>(60 + f % 40)));
        } else {
            AppendFrame(stream, OtherLogPayload(40 + (x >> 4) % 261, x));
        }
    }
    return stream;
}

}  // namespace norvane::testing
