// Builders of DIAG log payloads (unescaped, without CRC) for tests, benchmarks and the sample
// stream.
#pragma once

#include <cstdint>
#include <vector>

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

}  // namespace norvane::testing
