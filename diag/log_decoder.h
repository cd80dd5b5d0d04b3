// Decoding of the two DIAG log packets the monitor understands: the WCDMA cell list (log code
// 0x4005) and the SAR/PA report (log code 0x117C).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace norvane {

enum class SarLevel : std::uint8_t { Low = 0, Normal = 1, Medium = 2, High = 3 };

struct SarPaReport {
    bool hasSarLevel = false;
    SarLevel sarLevel = SarLevel::Low;  // meaningful only when hasSarLevel
    std::uint8_t paValue = 0;
    bool paOverheated = false;  // paValue <= 80
};

struct CellEntry {
    std::int32_t uarfcn = 0;  // raw downlink channel number as the modem sent it
    std::int32_t frequencyMhz = 0;
    std::int32_t psc = 0;
    std::int32_t rscp = 0;        // dBm
    std::int32_t rscpBarPos = 0;  // position for the RSCP bar (range -120..-70)
    std::int32_t ecIo = 0;
};

struct CellReport {
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    std::int32_t milliseconds = 0;
    std::int32_t wcdmaCellCount = 0;   // 1..8
    std::int32_t gsmCellCount = 0;     // 0..255
    std::array<CellEntry, 8> cells{};  // cells[0 .. wcdmaCellCount-1] are filled
};

enum class LogFrameKind { CellList, SarPa, Other };

struct DecodedLogFrame {
    LogFrameKind kind = LogFrameKind::Other;
    CellReport cells;   // valid when kind == CellList
    SarPaReport sarPa;  // valid when kind == SarPa
};

// Classifies and decodes one unescaped DIAG frame payload (CRC already checked and removed by
// HdlcDeframer). Pure: reads nothing outside `payload`, allocates nothing. A frame shorter than
// the fields it declares is Other.
DecodedLogFrame DecodeLogFrame(std::span<const std::uint8_t> payload);

}  // namespace norvane
