// The sample stream in tests/data/sample-stream.bin: what a modem's diagnostic port delivers
// while cell and SAR/PA logging run. make-sample-stream writes it; a test checks that the
// committed file is still what this builds.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/unit/log_frames.h"

namespace norvane::testing {

inline std::vector<std::uint8_t> SampleStream() {
    constexpr std::int64_t kTicksPerMs = 52400;
    std::vector<std::uint8_t> s{0x7E};  // this modem opens with a flag

    // Cell list, two cells on band I; PSC 382 (0x017E) and PSC 125 (0x7D) are escaped on the wire.
    AppendFrame(s, CellListPayload({{10737, 382, 0xB4, 0xFF, 0xF6}, {10712, 125, 0xA8, 0xFF, 0xF0}},
                                   0, kTicksPerMs * (3600000 + 2 * 60000 + 3004)));
    AppendFrame(s, SarPaPayload(3, 90));             // High, PA 90
    AppendFrame(s, {0x00, 0x31, 0x32, 0x7E, 0x33});  // version reply: other
    AppendFrame(s, OtherLogPayload(120, 42));        // another log packet: other

    // Eight cells spread over bands I, VIII, V (additional channel) and a channel in no band,
    // 3 GSM neighbours; RSCP 0x10 0x00 gives -260 dBm and bar -4.
    std::vector<CellRecord> eight = {
        {10562, 0, 0xC8, 0xFF, 0xFA},  {10838, 511, 0xB0, 0xFF, 0xF2}, {2937, 7, 0x9C, 0xFF, 0xEC},
        {3000, 300, 0x10, 0x00, 0x05}, {3088, 12, 0xA0, 0xFF, 0xEE},   {1007, 64, 0xAA, 0xFF, 0xF1},
        {4400, 99, 0xBE, 0xFF, 0xF8},  {1000, 1, 0x80, 0xFF, 0xE0},
    };
    AppendFrame(s, CellListPayload(eight, 3, kTicksPerMs * 25 * 3600000));

    // The same report with one bit flipped on the way: dropped for its check sequence.
    std::vector<std::uint8_t> bad;
    AppendFrame(bad, CellListPayload({{10737, 50, 0xB4, 0xFF, 0xF6}}, 1, 0));
    bad[20] ^= 0x04;  // PSC 50 becomes 54
    s.insert(s.end(), bad.begin(), bad.end());

    AppendFrame(s, SarPaPayload(4, 75));        // no level, PA 75: overheated
    AppendFrame(s, CellListPayload({}, 2, 0));  // no WCDMA cell: other
    AppendFrame(s, CellListPayload({{10737, 50, 0xB4, 0xFF, 0xF6}}, 0, kTicksPerMs * 59999));
    AppendFrame(s, SarPaPayload(0, 81));  // Low, PA 81
    return s;
}

}  // namespace norvane::testing
