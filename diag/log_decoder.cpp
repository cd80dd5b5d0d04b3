#include "diag/log_decoder.h"

#include <algorithm>
#include <cstddef>

#include "diag/bands.h"

namespace norvane {
namespace {

// Version 0 places the RSCP bar at the 16-bit value at +4 (the RSCP byte and the low byte of its
// rank) less 20. With the rank's low byte 0xFF, as the modems send it, that is the RSCP itself.
constexpr std::int32_t kV0RscpBarBias = 20;
constexpr std::uint8_t kPaOverheatedAtOrBelow = 80;

std::int32_t S16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)));
}

std::int32_t U16(std::span<const std::uint8_t> b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}

std::int64_t S64(std::span<const std::uint8_t> b, std::size_t at) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        v |= static_cast<std::uint64_t>(b[at + i]) << (8 * i);
    }
    return static_cast<std::int64_t>(v);
}

bool IsSarPa(std::span<const std::uint8_t> b) {
    return b.size() > kPaValueOffset && b[1] == 0x00 && b[3] == 0x00 &&
           b[kLogRecordLengthOffset] == kSarPaRecordLength && b[5] == 0x00 &&
           U16(b, kLogCodeOffset) == kSarPaLogCode;
}

// The modem's up-time from the time stamp. Signed 64-bit throughout, every division truncating
// toward zero; hours are not wrapped at 24.
void DecodeUpTime(std::int64_t stamp, CellReport& r) {
    const std::int64_t v = stamp / kTimeStampPerMillisecond;
    const std::int64_t h = v / 3600000;
    const std::int64_t m = (v - h * 3600000) / 60000;
    const std::int64_t s = (v - (h * 60 + m) * 60000) / 1000;
    const std::int64_t ms = v - ((h * 60 + m) * 60 + s) * 1000;
    r.hours = static_cast<std::int32_t>(h);
    r.minutes = static_cast<std::int32_t>(m);
    r.seconds = static_cast<std::int32_t>(s);
    r.milliseconds = static_cast<std::int32_t>(ms);
}

CellEntry DecodeCell(std::span<const std::uint8_t> rec, unsigned version) {
    CellEntry c;
    c.uarfcn = S16(rec, kWcdmaUarfcn);
    c.frequencyMhz = DownlinkFrequencyMhz(c.uarfcn);
    c.psc = S16(rec, kWcdmaPsc);
    c.rscp = static_cast<std::int32_t>(rec[kWcdmaRscp]) - kRscpBias;
    c.rscpBarPos = version == 0 ? S16(rec, kWcdmaRscp) - kV0RscpBarBias : c.rscp;
    c.ecIo = static_cast<std::int32_t>(rec[kWcdmaEcIo]) - kEcIoBias;
    return c;
}

GsmCellEntry DecodeGsmCell(std::span<const std::uint8_t> rec) {
    GsmCellEntry g;
    g.arfcn = U16(rec, kGsmArfcn) & kGsmArfcnMask;
    g.bsic = U16(rec, kGsmBsic);
    g.rssi = static_cast<std::int8_t>(rec[kGsmRssi]);
    return g;
}

// Cell list checks and decoding. The counts are the modem's: every record they declare must lie
// within the frame before it is read (version 0 keeps its old rules, see below).
void DecodeCellList(std::span<const std::uint8_t> b, DecodedLogFrame& out) {
    if (b.size() <= kCellListGsmCountOffset || b[1] != 0x00 ||
        U16(b, kLogCodeOffset) != kCellListLogCode) {
        return;
    }
    const unsigned version = b[kCellListCountOffset] >> kCellListVersionShift;
    if (version >= kCellListLayouts.size()) {
        out.reason = OtherReason::UnknownVersion;
        return;
    }
    const CellListLayout& l = kCellListLayouts[version];
    const std::size_t wcdma = b[kCellListCountOffset] & kCellListCountMask;
    std::size_t gsm = b[kCellListGsmCountOffset];
    const std::size_t gsmAt = l.recordsOffset + l.wcdmaRecordSize * wcdma;
    bool gsmPresent = false;
    if (version == 0) {
        // As the monitor has always read it: the high bytes of both lengths zero (the low byte
        // of the repeated length is not looked at), 1 to 8 cells, all of them in the frame. The
        // GSM records are read when the frame holds every one the whole count byte declares.
        if (b[3] != 0x00 || b[5] != 0x00 || wcdma < 1 || wcdma > kCellListV0MaxCells ||
            b.size() < gsmAt) {
            return;
        }
        gsmPresent = b.size() >= gsmAt + l.gsmRecordSize * gsm;
    } else {
        // Such lists can pass 255 bytes, so the lengths are not checked; the counts are.
        gsm &= kCellListCountMask;
        if (b.size() < gsmAt + l.gsmRecordSize * gsm) {
            return;
        }
        gsmPresent = true;
    }
    out.kind = LogFrameKind::CellList;
    out.reason = OtherReason::None;
    CellReport& r = out.cells;
    DecodeUpTime(S64(b, kLogTimeStampOffset), r);
    r.version = static_cast<std::int32_t>(version);
    r.wcdmaCellCount = static_cast<std::int32_t>(wcdma);
    r.gsmCellCount = static_cast<std::int32_t>(gsm);
    for (std::size_t k = 0; k < wcdma; ++k) {
        r.cells[k] = DecodeCell(b.subspan(l.recordsOffset + l.wcdmaRecordSize * k), version);
    }
    if (gsmPresent) {
        // Only version 0 can declare more than 63; the first 63 are kept.
        const std::size_t kept = std::min(gsm, kCellListMaxCells);
        for (std::size_t k = 0; k < kept; ++k) {
            r.gsmCells[k] = DecodeGsmCell(b.subspan(gsmAt + l.gsmRecordSize * k));
        }
        r.gsmCellsDecoded = static_cast<std::int32_t>(kept);
    }
}

// The serving-cell packets, told by their log code; false for any other frame.
bool DecodeServingCellPacket(std::span<const std::uint8_t> b, DecodedLogFrame& out) {
    if (b.size() <= kLogCodeOffset + 1) {
        return false;
    }
    PacketDecode d = PacketDecode::kMalformed;
    LogFrameKind kind = LogFrameKind::Other;
    const std::optional<LogPayload> log = LogPayloadOf(b);
    const std::span<const std::uint8_t> p = log ? log->bytes : std::span<const std::uint8_t>{};
    switch (U16(b, kLogCodeOffset)) {
        case kWcdmaCellIdLogCode:
            kind = LogFrameKind::WcdmaCell;
            d = log ? DecodeWcdmaCellIdentity(p, out.wcdmaCell) : d;
            break;
        case kLteCellInfoLogCode:
            kind = LogFrameKind::LteCell;
            d = log ? DecodeLteCellIdentity(p, out.lteCell) : d;
            break;
        case kLteIdleServingLogCode:
            kind = LogFrameKind::LteIdle;
            d = log ? DecodeLteIdleMeasurement(p, out.lteIdle) : d;
            break;
        case kLteIdleNeighboursLogCode:
            kind = LogFrameKind::LteIdleNeighbours;
            d = log ? DecodeLteIdleNeighbours(p, out.lteNeighbours) : d;
            break;
        case kLteServingMeasLogCode:
            kind = LogFrameKind::LteServing;
            d = log ? DecodeLteServingMeasurement(p, out.lteServing) : d;
            break;
        default:
            return false;
    }
    if (d == PacketDecode::kOk) {
        out.kind = kind;
        out.reason = OtherReason::None;
    } else {
        out.reason = d == PacketDecode::kUnknownVersion ? OtherReason::UnknownVersion
                                                        : OtherReason::NotDecoded;
    }
    return true;
}

}  // namespace

DecodedLogFrame DecodeLogFrame(std::span<const std::uint8_t> payload) {
    DecodedLogFrame out;
    const auto b = payload;
    if (b.size() < 4 || b[0] != kLogCommand || DecodeServingCellPacket(b, out)) {
        return out;
    }
    if (b[kLogLengthOffset] == kSarPaRecordLength && b[3] == 0x00) {
        // Never a cell list, whatever its log code.
        if (IsSarPa(b)) {
            const std::uint8_t level = b[kSarLevelOffset];
            out.kind = LogFrameKind::SarPa;
            out.reason = OtherReason::None;
            out.sarPa.hasSarLevel = level <= static_cast<std::uint8_t>(SarLevel::High);
            out.sarPa.sarLevel =
                out.sarPa.hasSarLevel ? static_cast<SarLevel>(level) : SarLevel::Low;
            out.sarPa.paValue = b[kPaValueOffset];
            out.sarPa.paOverheated = out.sarPa.paValue <= kPaOverheatedAtOrBelow;
        }
        return out;
    }
    DecodeCellList(b, out);
    return out;
}

}  // namespace norvane
