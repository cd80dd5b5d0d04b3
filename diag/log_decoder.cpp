#include "diag/log_decoder.h"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "diag/bands.h"
#include "diag/multi_sim.h"

namespace norvane {
namespace {

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
void DecodeTime(std::int64_t stamp, CellReport& r) {
    const std::int64_t v = stamp / kTimeStampPerMillisecond;
    const std::int64_t h = v / 3600000;
    const std::int64_t m = (v - h * 3600000) / 60000;
    const std::int64_t s = (v - (h * 60 + m) * 60000) / 1000;
    const std::int64_t ms = v - ((h * 60 + m) * 60 + s) * 1000;
    r.hours = static_cast<std::int32_t>(h);
    r.minutes = static_cast<std::int32_t>(m);
    r.seconds = static_cast<std::int32_t>(s);
    r.milliseconds = static_cast<std::int32_t>(ms);
    const std::optional<std::int64_t> time = ModemTimeUnixMs(stamp);
    r.hasModemTime = time.has_value();
    r.modemTimeUnixMs = time.value_or(0);
}

void SetModemTime(std::int64_t stamp, DecodedLogFrame& out) {
    const std::optional<std::int64_t> time = ModemTimeUnixMs(stamp);
    out.hasModemTime = time.has_value();
    out.modemTimeUnixMs = time.value_or(0);
}

CellEntry DecodeCell(std::span<const std::uint8_t> rec) {
    CellEntry c;
    c.uarfcn = S16(rec, kWcdmaUarfcn);
    c.frequencyMhz = DownlinkFrequencyMhz(c.uarfcn);
    c.psc = S16(rec, kWcdmaPsc);
    c.rscp = static_cast<std::int32_t>(rec[kWcdmaRscp]) - kRscpBias;
    c.rscpBarPos = c.rscp;
    c.ecIo = (static_cast<std::int32_t>(rec[kWcdmaEcIo]) - kEcIoBias) / 2.0;
    return c;
}

GsmCellEntry DecodeGsmCell(std::span<const std::uint8_t> rec) {
    GsmCellEntry g;
    g.arfcn = U16(rec, kGsmArfcn) & kGsmArfcnMask;
    g.bsic = U16(rec, kGsmBsic);
    g.rssi = static_cast<std::int8_t>(rec[kGsmRssi]);
    return g;
}

// Cell list checks and decoding. The counts are the modem's: every WCDMA record they declare must
// lie within the frame before it is read, and so must every GSM record after version 0. Lists
// can pass 255 bytes, so the length fields are not checked; the counts are.
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
    // Version 0 counts its GSM cells with the whole byte and is read without their records when
    // the frame does not hold every one it declares.
    const std::size_t gsm =
        version == 0 ? b[kCellListGsmCountOffset] : b[kCellListGsmCountOffset] & kCellListCountMask;
    const std::size_t gsmAt = l.recordsOffset + l.wcdmaRecordSize * wcdma;
    const bool gsmPresent = b.size() >= gsmAt + l.gsmRecordSize * gsm;
    if (b.size() < gsmAt || (version != 0 && !gsmPresent)) {
        return;
    }
    out.kind = LogFrameKind::CellList;
    out.reason = OtherReason::None;
    CellReport& r = out.cells;
    DecodeTime(S64(b, kLogTimeStampOffset), r);
    SetModemTime(S64(b, kLogTimeStampOffset), out);
    r.version = static_cast<std::int32_t>(version);
    r.wcdmaCellCount = static_cast<std::int32_t>(wcdma);
    r.gsmCellCount = static_cast<std::int32_t>(gsm);
    for (std::size_t k = 0; k < wcdma; ++k) {
        r.cells[k] = DecodeCell(b.subspan(l.recordsOffset + l.wcdmaRecordSize * k));
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
        case kLteIntraMeasLogCode:
            kind = LogFrameKind::LteIntraMeas;
            d = log ? DecodeLteIntraMeasurement(p, out.lteIntra) : d;
            break;
        case kLteConnNeighbourMeasLogCode:
        case kLteIdleNeighbourMeasLogCode:
            kind = LogFrameKind::LteNeighbourMeas;
            d = log ? DecodeLteNeighbourMeasurement(log->code, p, out.lteNeighbourMeas) : d;
            break;
        case kNrCellInfoLogCode:
            kind = LogFrameKind::NrCell;
            d = log ? DecodeNrCellIdentity(p, out.nrCell) : d;
            break;
        case kNrMeasLogCode:
            kind = LogFrameKind::NrMeas;
            d = log ? DecodeNrMeasurement(p, out.nrMeas) : d;
            break;
        default:
            return false;
    }
    if (d == PacketDecode::kOk) {
        out.kind = kind;
        out.reason = OtherReason::None;
        SetModemTime(S64(b, kLogTimeStampOffset), out);
    } else {
        out.reason = d == PacketDecode::kUnknownVersion ? OtherReason::UnknownVersion
                                                        : OtherReason::NotDecoded;
    }
    return true;
}

// The signalling packets, told by their log code; false for any other frame.
bool DecodeSignallingPacket(std::span<const std::uint8_t> b, DecodedLogFrame& out) {
    const std::optional<LogPayload> log = LogPayloadOf(b);
    const std::uint16_t code = b.size() > kLogCodeOffset + 1 ? U16(b, kLogCodeOffset) : 0;
    PacketDecode d = PacketDecode::kMalformed;
    LogFrameKind kind = LogFrameKind::Rrc;
    if (code == kLteRrcLogCode) {
        d = log ? DecodeLteRrc(log->bytes, out.signalling) : d;
        kind = out.signalling.segment != 0 ? LogFrameKind::RrcSegment : kind;
    } else if (code == kWcdmaRrcLogCode) {
        d = log ? DecodeWcdmaRrc(log->bytes, out.signalling) : d;
    } else if (code == kLteNasEsmInLogCode || code == kLteNasEsmOutLogCode ||
               code == kLteNasEmmInLogCode || code == kLteNasEmmOutLogCode) {
        d = log ? DecodeLteNas(code, log->bytes, out.signalling) : d;
        kind = LogFrameKind::Nas;
    } else {
        return false;
    }
    out.kind = d == PacketDecode::kOk ? kind : LogFrameKind::Other;
    out.reason = d == PacketDecode::kOk               ? OtherReason::None
                 : d == PacketDecode::kUnknownVersion ? OtherReason::UnknownVersion
                                                      : OtherReason::NotDecoded;
    if (d == PacketDecode::kOk) {
        SetModemTime(S64(b, kLogTimeStampOffset), out);
    }
    return true;
}

// One log packet, unwrapped.
void DecodeLogPacket(std::span<const std::uint8_t> b, DecodedLogFrame& out) {
    if (b.size() < 4 || b[0] != kLogCommand || DecodeServingCellPacket(b, out) ||
        DecodeSignallingPacket(b, out)) {
        return;
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
        return;
    }
    DecodeCellList(b, out);
}

}  // namespace

DecodedLogFrame DecodeLogFrame(std::span<const std::uint8_t> payload) {
    DecodedLogFrame out;
    const SimPacket p = UnwrapMultiSim(payload);
    DecodeLogPacket(p.packet, out);
    out.sim = p.sim;
    out.cells.sim = p.sim;
    out.sarPa.sim = p.sim;
    return out;
}

std::optional<SignallingMessage> SignallingJoiner::Add(const DecodedLogFrame& frame) {
    if (frame.kind == LogFrameKind::Nas ||
        (frame.kind == LogFrameKind::Rrc && frame.signalling.rat != SignallingRat::kLte)) {
        return frame.signalling;
    }
    if (frame.kind != LogFrameKind::Rrc && frame.kind != LogFrameKind::RrcSegment) {
        return std::nullopt;
    }
    return joiners_[std::min<std::size_t>(frame.sim, joiners_.size() - 1)].Add(frame.signalling);
}

std::uint64_t SignallingJoiner::dropped() const {
    std::uint64_t n = 0;
    for (const LteRrcJoiner& j : joiners_) {
        n += j.dropped();
    }
    return n;
}

}  // namespace norvane
