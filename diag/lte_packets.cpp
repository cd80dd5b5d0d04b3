#include "diag/lte_packets.h"

#include <algorithm>

#include "diag/log_packets.h"

namespace norvane {
namespace {

// Every field a layout names lies inside the bytes it claims: a record inside its stride, a
// single record inside the shortest body, a cell word inside its 32 bytes.
constexpr bool LayoutsHold() {
    for (const LteServingMeasLayout& l : kLteServingMeasLayouts) {
        const std::size_t recordEnd =
            std::max({l.rsrp.End(), l.rsrq.End(), l.rssi.End(), kLteServingPci.End()});
        if (l.counted ? l.records < kLteServingCount + 2 || recordEnd > l.stride
                      : l.records + recordEnd > l.minimumBody) {
            return false;
        }
    }
    for (const LteIdleServingLayout& l : kLteIdleServingLayouts) {
        if (std::max({l.pci.End(), l.rsrp.End(), l.rsrq.End(), l.rssi.End()}) > l.size) {
            return false;
        }
    }
    return kLteNeighbourRsrq.End() <= kLteNeighbourCellSize;
}
static_assert(LayoutsHold());

// Decodes the records of one 0x19 subpacket body into `out`.
PacketDecode DecodeServingBody(std::span<const std::uint8_t> body, const LteServingMeasLayout& l,
                               LteServingMeasurement& out) {
    std::size_t count = 1;
    if (l.counted) {
        if (body.size() < l.records) {
            return PacketDecode::kMalformed;
        }
        // The modem's count: every record it declares must lie in the body.
        count = LeU16(body, kLteServingCount);
        if (count > (body.size() - l.records) / l.stride) {
            return PacketDecode::kMalformed;
        }
    } else if (body.size() < l.minimumBody) {
        return PacketDecode::kMalformed;
    }
    if (count > kLteMaxServingCells - out.count) {
        return PacketDecode::kMalformed;
    }
    const std::uint32_t earfcn = LeUint(body, 0, l.earfcnWidth);
    for (std::size_t k = 0; k < count; ++k) {
        const auto record = body.subspan(l.records + l.stride * k);
        LteServingCell& c = out.cells[out.count++];
        c.subVersion = l.subVersion;
        c.earfcn = earfcn;
        c.pci = static_cast<std::uint16_t>(kLteServingPci.Read(record));
        c.servingIndex = static_cast<std::uint8_t>(kLteServingIndex.Read(record));
        c.hasServingFlag = l.servingFlag;
        c.isServing = l.servingFlag && kLteServingFlag.Read(record) != 0;
        c.rsrp = MeasureField(l.rsrp, record, l.rsrpBias);
        c.rsrq = MeasureField(l.rsrq, record, kRsrqBias);
        c.rssi = MeasureField(l.rssi, record, kRssiBias);
    }
    return PacketDecode::kOk;
}

}  // namespace

const LteServingMeasLayout* FindLteServingMeasLayout(std::uint8_t subVersion) {
    const auto& all = kLteServingMeasLayouts;
    const auto it = std::find_if(
        all.begin(), all.end(), [subVersion](const auto& l) { return l.subVersion == subVersion; });
    return it == all.end() ? nullptr : &*it;
}

PacketDecode DecodeLteCellIdentity(std::span<const std::uint8_t> payload, LteCellIdentity& out) {
    if (payload.empty()) {
        return PacketDecode::kMalformed;
    }
    const LteCellInfoLayout* l = FindLayoutVersion(kLteCellInfoLayouts, payload[0]);
    if (l == nullptr) {
        return PacketDecode::kUnknownVersion;
    }
    if (payload.size() < l->size) {
        return PacketDecode::kMalformed;
    }
    out.version = l->version;
    out.pci = static_cast<std::uint16_t>(LeU16(payload, kLteCellInfoPci));
    out.earfcnDl = LeUint(payload, kLteCellInfoEarfcnDl, l->earfcnWidth);
    out.earfcnUl = LeUint(payload, l->earfcnUl, l->earfcnWidth);
    out.bandwidthDlRb = payload[l->bandwidthDl];
    out.bandwidthUlRb = payload[l->bandwidthUl];
    out.cellId = LeU32(payload, l->cellId);
    out.tac = static_cast<std::uint16_t>(LeU16(payload, l->tac));
    out.band = LeU32(payload, l->band);
    out.plmn =
        PlmnFromBinary(LeU16(payload, l->mcc), payload[l->mncDigits], LeU16(payload, l->mnc));
    return PacketDecode::kOk;
}

PacketDecode DecodeLteIdleMeasurement(std::span<const std::uint8_t> payload,
                                      LteIdleMeasurement& out) {
    if (payload.empty()) {
        return PacketDecode::kMalformed;
    }
    const LteIdleServingLayout* l = FindLayoutVersion(kLteIdleServingLayouts, payload[0]);
    if (l == nullptr) {
        return PacketDecode::kUnknownVersion;
    }
    if (payload.size() < l->size) {
        return PacketDecode::kMalformed;
    }
    out.version = l->version;
    out.earfcn = LeUint(payload, kLteMeasEarfcn, l->earfcnWidth);
    out.pci = static_cast<std::uint16_t>(l->pci.Read(payload));
    out.rsrp = MeasureField(l->rsrp, payload, kRsrpBias);
    out.rsrq = MeasureField(l->rsrq, payload, kRsrqBias);
    out.rssi = MeasureField(l->rssi, payload, kRssiBias);
    return PacketDecode::kOk;
}

PacketDecode DecodeLteIdleNeighbours(std::span<const std::uint8_t> payload,
                                     LteIdleNeighbours& out) {
    if (payload.empty()) {
        return PacketDecode::kMalformed;
    }
    const LteIdleNeighbourLayout* l = FindLayoutVersion(kLteIdleNeighbourLayouts, payload[0]);
    if (l == nullptr) {
        return PacketDecode::kUnknownVersion;
    }
    if (payload.size() < l->cells) {
        return PacketDecode::kMalformed;
    }
    // The modem's count: every cell it declares must lie in the payload and fit the report.
    const std::size_t n = LeUint(payload, l->countWord, l->countWidth) >> kLteNeighbourCountShift;
    if (n > (payload.size() - l->cells) / kLteNeighbourCellSize || n > kLteMaxNeighbours) {
        return PacketDecode::kMalformed;
    }
    out.version = l->version;
    out.earfcn = LeUint(payload, kLteMeasEarfcn, l->earfcnWidth);
    out.count = static_cast<std::uint16_t>(n);
    for (std::size_t k = 0; k < n; ++k) {
        const auto cell = payload.subspan(l->cells + kLteNeighbourCellSize * k);
        LteNeighbour& c = out.cells[k];
        c.pci = static_cast<std::uint16_t>(kLteNeighbourPci.Read(cell));
        c.rsrp = MeasureField(kLteNeighbourRsrp, cell, kRsrpBias);
        c.rsrq = MeasureField(kLteNeighbourRsrq, cell, kRsrqBias);
        c.rssi = MeasureField(kLteNeighbourRssi, cell, kRssiBias);
    }
    return PacketDecode::kOk;
}

PacketDecode DecodeLteServingMeasurement(std::span<const std::uint8_t> payload,
                                         LteServingMeasurement& out) {
    if (payload.size() < kLteServingSubpackets) {
        return PacketDecode::kMalformed;
    }
    if (payload[0] != kLteServingContainerVersion) {
        return PacketDecode::kUnknownVersion;
    }
    out.count = 0;
    bool decoded = false;
    const PacketDecode walk = ForEachLteSubpacket(payload, [&](const LteSubpacket& sub) {
        const LteServingMeasLayout* l =
            sub.id == kLteServingMeasSubpacket ? FindLteServingMeasLayout(sub.subVersion) : nullptr;
        decoded = decoded || l != nullptr;
        return l != nullptr ? DecodeServingBody(sub.body, *l, out) : PacketDecode::kOk;
    });
    if (walk != PacketDecode::kOk) {
        return walk;
    }
    return decoded ? PacketDecode::kOk : PacketDecode::kUnknownVersion;
}

std::size_t WriteLteCellIdentity(std::span<std::uint8_t> out, std::int64_t stamp,
                                 const LteCellIdentity& cell) {
    const LteCellInfoLayout* l = FindLayoutVersion(kLteCellInfoLayouts, cell.version);
    if (l == nullptr || !StartLogFrame(out, l->size, kLteCellInfoLogCode, stamp)) {
        return 0;
    }
    const auto p = out.subspan(kLogHeaderSize, l->size);
    p[0] = l->version;
    PutLe(p, kLteCellInfoPci, 2, cell.pci);
    PutLe(p, kLteCellInfoEarfcnDl, l->earfcnWidth, cell.earfcnDl);
    PutLe(p, l->earfcnUl, l->earfcnWidth, cell.earfcnUl);
    p[l->bandwidthDl] = cell.bandwidthDlRb;
    p[l->bandwidthUl] = cell.bandwidthUlRb;
    PutLe(p, l->cellId, 4, cell.cellId);
    PutLe(p, l->tac, 2, cell.tac);
    PutLe(p, l->band, 4, cell.band);
    PutLe(p, l->mcc, 2, DigitsValue(cell.plmn.mcc));
    p[l->mncDigits] = static_cast<std::uint8_t>(
        std::find(cell.plmn.mnc.begin(), cell.plmn.mnc.end(), '\0') - cell.plmn.mnc.begin());
    PutLe(p, l->mnc, 2, DigitsValue(cell.plmn.mnc));
    return kLogHeaderSize + l->size;
}

std::size_t WriteLteIdleMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                                    const LteIdleMeasurement& m) {
    const LteIdleServingLayout* l = FindLayoutVersion(kLteIdleServingLayouts, m.version);
    if (l == nullptr || !StartLogFrame(out, l->size, kLteIdleServingLogCode, stamp)) {
        return 0;
    }
    const auto p = out.subspan(kLogHeaderSize, l->size);
    p[0] = l->version;
    PutLe(p, kLteMeasEarfcn, l->earfcnWidth, m.earfcn);
    l->pci.Write(p, m.pci);
    l->rsrp.Write(p, RawField(l->rsrp, m.rsrp, kRsrpBias));
    l->rsrq.Write(p, RawField(l->rsrq, m.rsrq, kRsrqBias));
    l->rssi.Write(p, RawField(l->rssi, m.rssi, kRssiBias));
    return kLogHeaderSize + l->size;
}

std::size_t WriteLteIdleNeighbours(std::span<std::uint8_t> out, std::int64_t stamp,
                                   const LteIdleNeighbours& m) {
    const LteIdleNeighbourLayout* l = FindLayoutVersion(kLteIdleNeighbourLayouts, m.version);
    const std::size_t n = std::min<std::size_t>(m.count, kLteMaxNeighbours);
    const std::size_t size = (l != nullptr ? l->cells : 0) + kLteNeighbourCellSize * n;
    if (l == nullptr || !StartLogFrame(out, size, kLteIdleNeighboursLogCode, stamp)) {
        return 0;
    }
    const auto p = out.subspan(kLogHeaderSize, size);
    p[0] = l->version;
    PutLe(p, kLteMeasEarfcn, l->earfcnWidth, m.earfcn);
    PutLe(p, l->countWord, l->countWidth, static_cast<std::uint32_t>(n << kLteNeighbourCountShift));
    for (std::size_t k = 0; k < n; ++k) {
        const auto cell = p.subspan(l->cells + kLteNeighbourCellSize * k);
        const LteNeighbour& c = m.cells[k];
        kLteNeighbourPci.Write(cell, c.pci);
        kLteNeighbourRsrp.Write(cell, RawField(kLteNeighbourRsrp, c.rsrp, kRsrpBias));
        kLteNeighbourRsrq.Write(cell, RawField(kLteNeighbourRsrq, c.rsrq, kRsrqBias));
        kLteNeighbourRssi.Write(cell, RawField(kLteNeighbourRssi, c.rssi, kRssiBias));
    }
    return kLogHeaderSize + size;
}

std::size_t WriteLteServingMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                                       std::uint8_t subVersion,
                                       std::span<const LteServingCell> cells) {
    const LteServingMeasLayout* l = FindLteServingMeasLayout(subVersion);
    if (l == nullptr || cells.empty() || (!l->counted && cells.size() != 1) ||
        cells.size() > kLteMaxServingCells) {
        return 0;
    }
    const std::size_t body = l->counted ? l->records + l->stride * cells.size() : l->minimumBody;
    const std::size_t size = kLteServingSubpackets + kLteSubpacketHeaderSize + body;
    if (!StartLogFrame(out, size, kLteServingMeasLogCode, stamp)) {
        return 0;
    }
    const auto p = out.subspan(kLogHeaderSize, size);
    p[0] = kLteServingContainerVersion;
    p[1] = 1;  // one subpacket
    const auto sub = p.subspan(kLteServingSubpackets);
    sub[0] = kLteServingMeasSubpacket;
    sub[1] = subVersion;
    PutLe(sub, 2, 2, static_cast<std::uint32_t>(kLteSubpacketHeaderSize + body));
    const auto b = sub.subspan(kLteSubpacketHeaderSize);
    PutLe(b, 0, l->earfcnWidth, cells[0].earfcn);
    if (l->counted) {
        PutLe(b, kLteServingCount, 2, static_cast<std::uint32_t>(cells.size()));
    }
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const auto record = b.subspan(l->records + l->stride * k);
        const LteServingCell& c = cells[k];
        kLteServingPci.Write(record, c.pci);
        kLteServingIndex.Write(record, c.servingIndex);
        kLteServingFlag.Write(record, l->servingFlag && c.isServing ? 1 : 0);
        l->rsrp.Write(record, RawField(l->rsrp, c.rsrp, l->rsrpBias));
        l->rsrq.Write(record, RawField(l->rsrq, c.rsrq, kRsrqBias));
        l->rssi.Write(record, RawField(l->rssi, c.rssi, kRssiBias));
    }
    return kLogHeaderSize + size;
}

}  // namespace norvane
