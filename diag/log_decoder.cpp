#include "diag/log_decoder.h"

#include <cstddef>

#include "diag/bands.h"

namespace norvane {
namespace {

// DIAG log frame, as unescaped by the deframer (CRC removed). Multi-byte fields little-endian.
//   0     command code 0x10 (log)
//   1     zero
//   2..3  length of the log record
//   4..5  the same length, repeated inside the log record
//   6..7  log code
//   8..15 time stamp, 64-bit, 52400 ticks per millisecond
//   16..  log payload
constexpr std::uint8_t kLogCommand = 0x10;
constexpr std::size_t kTimeStampOffset = 8;
constexpr std::int64_t kTicksPerMillisecond = 52400;

// WCDMA cell list, log code 0x4005.
constexpr std::uint8_t kCellListCodeLow = 0x05;
constexpr std::uint8_t kCellListCodeHigh = 0x40;
constexpr std::size_t kWcdmaCountOffset = 16;
constexpr std::size_t kGsmCountOffset = 17;
constexpr std::size_t kCellRecordOffset = 18;
constexpr std::size_t kCellRecordSize = 10;
constexpr std::size_t kMaxCells = 8;
// Cell record: +0 UARFCN (s16), +2 PSC (s16), +4 RSCP (s16, low byte is dBm + 276),
// +6 unused, +7 Ec/Io (dB + 256), +8..9 unused.
constexpr std::int32_t kRscpBias = 276;
constexpr std::int32_t kRscpBarBias = 20;
constexpr std::int32_t kEcIoBias = 256;

// SAR/PA report, log code 0x117C, log record length 0x1C.
constexpr std::uint8_t kSarPaRecordLength = 0x1C;
constexpr std::uint8_t kSarPaCodeLow = 0x7C;
constexpr std::uint8_t kSarPaCodeHigh = 0x11;
constexpr std::size_t kSarLevelOffset = 25;
constexpr std::size_t kPaValueOffset = 29;
constexpr std::size_t kSarPaMinSize = kPaValueOffset + 1;
constexpr std::uint8_t kPaOverheatedAtOrBelow = 80;

std::int32_t S16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)));
}

std::int64_t S64(std::span<const std::uint8_t> b, std::size_t at) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        v |= static_cast<std::uint64_t>(b[at + i]) << (8 * i);
    }
    return static_cast<std::int64_t>(v);
}

bool IsSarPa(std::span<const std::uint8_t> b) {
    return b.size() >= kSarPaMinSize && b[1] == 0x00 && b[3] == 0x00 &&
           b[4] == kSarPaRecordLength && b[5] == 0x00 && b[6] == kSarPaCodeLow &&
           b[7] == kSarPaCodeHigh;
}

bool IsCellList(std::span<const std::uint8_t> b) {
    // The low byte of the repeated length (b[4]) is not looked at.
    if (b.size() <= kGsmCountOffset || b[1] != 0x00 || b[3] != 0x00 || b[5] != 0x00 ||
        b[6] != kCellListCodeLow || b[7] != kCellListCodeHigh) {
        return false;
    }
    // The modem's count decides how many records are read: only 1..8, and only when the frame
    // really holds that many records.
    const std::size_t count = b[kWcdmaCountOffset];
    return count >= 1 && count <= kMaxCells &&
           b.size() >= kCellRecordOffset + kCellRecordSize * count;
}

// The modem's up-time from the time stamp. Signed 64-bit throughout, every division truncating
// toward zero; hours are not wrapped at 24.
void DecodeUpTime(std::int64_t stamp, CellReport& r) {
    const std::int64_t v = stamp / kTicksPerMillisecond;
    const std::int64_t h = v / 3600000;
    const std::int64_t m = (v - h * 3600000) / 60000;
    const std::int64_t s = (v - (h * 60 + m) * 60000) / 1000;
    const std::int64_t ms = v - ((h * 60 + m) * 60 + s) * 1000;
    r.hours = static_cast<std::int32_t>(h);
    r.minutes = static_cast<std::int32_t>(m);
    r.seconds = static_cast<std::int32_t>(s);
    r.milliseconds = static_cast<std::int32_t>(ms);
}

CellEntry DecodeCell(std::span<const std::uint8_t> rec) {
    CellEntry c;
    c.uarfcn = S16(rec, 0);
    c.frequencyMhz = DownlinkFrequencyMhz(c.uarfcn);
    c.psc = S16(rec, 2);
    c.rscp = static_cast<std::int32_t>(rec[4]) - kRscpBias;
    c.rscpBarPos = S16(rec, 4) - kRscpBarBias;
    c.ecIo = static_cast<std::int32_t>(rec[7]) - kEcIoBias;
    return c;
}

}  // namespace

DecodedLogFrame DecodeLogFrame(std::span<const std::uint8_t> payload) {
    DecodedLogFrame out;
    const auto b = payload;
    if (b.size() < 3 || b[0] != kLogCommand) {
        return out;
    }
    if (b[2] == kSarPaRecordLength) {
        // Never a cell list, whatever its log code.
        if (IsSarPa(b)) {
            const std::uint8_t level = b[kSarLevelOffset];
            out.kind = LogFrameKind::SarPa;
            out.sarPa.hasSarLevel = level <= static_cast<std::uint8_t>(SarLevel::High);
            out.sarPa.sarLevel =
                out.sarPa.hasSarLevel ? static_cast<SarLevel>(level) : SarLevel::Low;
            out.sarPa.paValue = b[kPaValueOffset];
            out.sarPa.paOverheated = out.sarPa.paValue <= kPaOverheatedAtOrBelow;
        }
        return out;
    }
    if (!IsCellList(b)) {
        return out;
    }
    out.kind = LogFrameKind::CellList;
    CellReport& r = out.cells;
    DecodeUpTime(S64(b, kTimeStampOffset), r);
    r.wcdmaCellCount = b[kWcdmaCountOffset];
    r.gsmCellCount = b[kGsmCountOffset];
    for (std::size_t k = 0; k < static_cast<std::size_t>(r.wcdmaCellCount); ++k) {
        r.cells[k] =
            DecodeCell(b.subspan(kCellRecordOffset + kCellRecordSize * k, kCellRecordSize));
    }
    return out;
}

}  // namespace norvane
