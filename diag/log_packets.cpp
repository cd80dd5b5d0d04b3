#include "diag/log_packets.h"

#include <algorithm>

namespace norvane {
namespace {

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t Raw16(std::int16_t v) {
    return static_cast<std::uint16_t>(v);
}

}  // namespace

bool StartLogFrame(std::span<std::uint8_t> out, std::size_t payloadSize, std::uint16_t code,
                   std::int64_t stamp) {
    if (out.size() < kLogHeaderSize + payloadSize) {
        return false;
    }
    PutLogHeader(out.first<kLogHeaderSize>(), kLogHeaderSize + payloadSize, code, stamp);
    std::fill_n(out.begin() + kLogHeaderSize, payloadSize, std::uint8_t{0});
    return true;
}

void PutLogHeader(std::span<std::uint8_t, kLogHeaderSize> out, std::size_t frameLength,
                  std::uint16_t code, std::int64_t stamp) {
    const auto recordLength = static_cast<std::uint32_t>(frameLength - kLogRecordLengthOffset);
    out[0] = kLogCommand;
    out[1] = 0x00;
    Put16(&out[kLogLengthOffset], recordLength);
    Put16(&out[kLogRecordLengthOffset], recordLength);
    Put16(&out[kLogCodeOffset], code);
    const auto s = static_cast<std::uint64_t>(stamp);
    for (std::size_t i = 0; i < 8; ++i) {
        out[kLogTimeStampOffset + i] = static_cast<std::uint8_t>(s >> (8 * i));
    }
}

std::optional<LogPayload> LogPayloadOf(std::span<const std::uint8_t> frame) {
    if (frame.size() < kLogHeaderSize || frame[0] != kLogCommand) {
        return std::nullopt;
    }
    // The modem's length counts the frame from byte 4 on: the rest of the header and the payload.
    const std::size_t length = frame[kLogLengthOffset] | (frame[kLogLengthOffset + 1] << 8);
    if (length < kLogHeaderSize - kLogRecordLengthOffset ||
        length > frame.size() - kLogRecordLengthOffset) {
        return std::nullopt;
    }
    return LogPayload{
        static_cast<std::uint16_t>(frame[kLogCodeOffset] | (frame[kLogCodeOffset + 1] << 8)),
        frame.subspan(kLogHeaderSize, length + kLogRecordLengthOffset - kLogHeaderSize)};
}

std::optional<std::int64_t> ModemTimeUnixMs(std::int64_t stamp) {
    const auto raw = static_cast<std::uint64_t>(stamp);
    const std::uint64_t ticks = raw >> 16;
    constexpr std::uint64_t kEndTicks =
        static_cast<std::uint64_t>(kModemTimeEndUnixMs - kGpsEpochUnixMs) * 4 / 5;
    if (ticks < kModemTimeFirstTicks || ticks >= kEndTicks) {
        return std::nullopt;
    }
    // ticks x 1.25 ms + low 16 bits / 40960 ms, over a common denominator: ticks < 2^42 here.
    const std::uint64_t ms = (ticks * 204800 + (raw & 0xFFFF) * 4) / 163840;
    const std::int64_t unixMs = kGpsEpochUnixMs + static_cast<std::int64_t>(ms);
    if (unixMs >= kModemTimeEndUnixMs) {
        return std::nullopt;
    }
    return unixMs;
}

std::size_t CellListSize(unsigned version, std::size_t wcdmaCells, std::size_t gsmCells) {
    const CellListLayout& l = kCellListLayouts[std::min<std::size_t>(version, 2)];
    return l.recordsOffset + l.wcdmaRecordSize * wcdmaCells + l.gsmRecordSize * gsmCells;
}

std::size_t WriteCellList(std::span<std::uint8_t> out, unsigned version, std::int64_t stamp,
                          std::span<const WcdmaCellRecord> wcdma,
                          std::span<const GsmCellRecord> gsm) {
    if (version >= kCellListLayouts.size() || wcdma.size() > kCellListMaxCells ||
        gsm.size() > kCellListMaxCells) {
        return 0;
    }
    const CellListLayout& l = kCellListLayouts[version];
    const std::size_t size = CellListSize(version, wcdma.size(), gsm.size());
    if (size > out.size()) {
        return 0;
    }
    std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size), 0);
    PutLogHeader(out.first<kLogHeaderSize>(), size, kCellListLogCode, stamp);
    out[kCellListCountOffset] =
        static_cast<std::uint8_t>((version << kCellListVersionShift) | wcdma.size());
    out[kCellListGsmCountOffset] = static_cast<std::uint8_t>(gsm.size());
    std::uint8_t* r = out.data() + l.recordsOffset;
    for (const WcdmaCellRecord& c : wcdma) {
        Put16(r + kWcdmaUarfcn, c.uarfcn);
        Put16(r + kWcdmaPsc, c.psc);
        r[kWcdmaRscp] = c.rscp;
        Put16(r + kWcdmaRscpRank, Raw16(c.rscpRank));
        r[kWcdmaEcIo] = c.ecIo;
        Put16(r + kWcdmaEcIoRank, Raw16(c.ecIoRank));
        if (version >= 1) {
            r[kWcdmaReselect] = c.reselect;
        }
        if (version == 2) {
            Put16(r + kWcdmaHcsPriority, Raw16(c.hcsPriority));
            Put16(r + kWcdmaHValue, Raw16(c.hValue));
            r[kWcdmaHcsQualify] = c.hcsQualify;
        }
        r += l.wcdmaRecordSize;
    }
    for (const GsmCellRecord& g : gsm) {
        Put16(r + kGsmArfcn, g.arfcn);
        Put16(r + kGsmBsic, g.bsic);
        r[kGsmRssi] = static_cast<std::uint8_t>(g.rssi);
        Put16(r + kGsmRank, Raw16(g.rank));
        if (version >= 1) {
            r[kGsmReselect] = g.reselect;
        }
        if (version == 2) {
            Put16(r + kGsmHcsPriority, Raw16(g.hcsPriority));
            Put16(r + kGsmHValue, Raw16(g.hValue));
            r[kGsmHcsQualify] = g.hcsQualify;
        }
        r += l.gsmRecordSize;
    }
    return size;
}

bool LogMask::Selects(std::uint16_t code) const {
    const std::uint32_t k = code & 0x0FFFu;
    return static_cast<std::uint32_t>(code >> 12) == equipment && k < bits &&
           ((mask[k / 8] >> (k % 8)) & 1) != 0;
}

std::optional<std::uint32_t> LogConfigOperation(std::span<const std::uint8_t> payload) {
    if (payload.size() < kLogConfigOperationOffset + 4 || payload[0] != kLogConfigCommand) {
        return std::nullopt;
    }
    return U32(payload, kLogConfigOperationOffset);
}

std::optional<LogMask> ParseLogMaskSet(std::span<const std::uint8_t> payload) {
    if (payload.size() < kLogConfigMaskOffset ||
        LogConfigOperation(payload) != kLogConfigOpSetMask) {
        return std::nullopt;
    }
    LogMask m;
    m.equipment = U32(payload, kLogConfigEquipmentOffset);
    m.bits = U32(payload, kLogConfigBitsOffset);
    // The sender's bit count decides the mask length: it must fit in what was sent.
    const std::uint64_t maskBytes = (static_cast<std::uint64_t>(m.bits) + 7) / 8;
    if (maskBytes > payload.size() - kLogConfigMaskOffset) {
        return std::nullopt;
    }
    m.mask = payload.subspan(kLogConfigMaskOffset, static_cast<std::size_t>(maskBytes));
    return m;
}

std::size_t BuildLogMaskSet(std::uint32_t equipment, std::uint32_t bits,
                            std::span<const std::uint16_t> codes, std::span<std::uint8_t> out) {
    const std::uint64_t size = kLogConfigMaskOffset + (static_cast<std::uint64_t>(bits) + 7) / 8;
    if (size > out.size()) {
        return 0;
    }
    for (const std::uint16_t code : codes) {
        if (static_cast<std::uint32_t>(code >> 12) != equipment || (code & 0x0FFFu) >= bits) {
            return 0;
        }
    }
    std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size), 0);
    out[0] = kLogConfigCommand;
    Put32(&out[kLogConfigOperationOffset], kLogConfigOpSetMask);
    Put32(&out[kLogConfigEquipmentOffset], equipment);
    Put32(&out[kLogConfigBitsOffset], bits);
    for (const std::uint16_t code : codes) {
        const std::uint32_t k = code & 0x0FFFu;
        out[kLogConfigMaskOffset + k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
    }
    return static_cast<std::size_t>(size);
}

std::size_t BuildLogItemCountsRequest(std::span<std::uint8_t> out) {
    if (out.size() < kLogConfigItemCountsRequestSize) {
        return 0;
    }
    std::fill_n(out.begin(), kLogConfigItemCountsRequestSize, std::uint8_t{0});
    out[0] = kLogConfigCommand;
    Put32(&out[kLogConfigOperationOffset], kLogConfigOpItemCounts);
    return kLogConfigItemCountsRequestSize;
}

std::optional<LogItemCounts> ParseLogItemCounts(std::span<const std::uint8_t> payload) {
    if (payload.size() < kLogConfigItemCountsSize ||
        LogConfigOperation(payload) != kLogConfigOpItemCounts ||
        U32(payload, kLogConfigStatusOffset) != 0) {
        return std::nullopt;
    }
    LogItemCounts counts{};
    for (std::size_t id = 0; id < counts.size(); ++id) {
        counts[id] = U32(payload, kLogConfigItemCountsOffset + 4 * id);
    }
    return counts;
}

std::optional<LogMask> ParseLogMaskSetAnswer(std::span<const std::uint8_t> payload) {
    if (payload.size() < kLogConfigSetAnswerMaskOffset ||
        LogConfigOperation(payload) != kLogConfigOpSetMask ||
        U32(payload, kLogConfigStatusOffset) != 0) {
        return std::nullopt;
    }
    // After the status: equipment, bit count and mask, laid out as in the request.
    LogMask m;
    m.equipment = U32(payload, kLogConfigEquipmentOffset + 4);
    m.bits = U32(payload, kLogConfigBitsOffset + 4);
    const std::uint64_t maskBytes = (static_cast<std::uint64_t>(m.bits) + 7) / 8;
    if (maskBytes > payload.size() - kLogConfigSetAnswerMaskOffset) {
        return std::nullopt;
    }
    m.mask = payload.subspan(kLogConfigSetAnswerMaskOffset, static_cast<std::size_t>(maskBytes));
    return m;
}

std::optional<std::uint32_t> LogConfigStatus(std::span<const std::uint8_t> payload) {
    if (payload.size() < kLogConfigStatusOffset + 4 || !LogConfigOperation(payload)) {
        return std::nullopt;
    }
    return U32(payload, kLogConfigStatusOffset);
}

}  // namespace norvane
