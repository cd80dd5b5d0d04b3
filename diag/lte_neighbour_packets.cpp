#include "diag/lte_neighbour_packets.h"

#include <algorithm>

#include "diag/log_packets.h"
#include "diag/lte_packets.h"

namespace norvane {
namespace {

// Every field a layout names lies inside the bytes it claims.
constexpr bool LayoutsHold() {
    for (const LteIntraMeasLayout& l : kLteIntraMeasLayouts) {
        if (l.pci + 2u > l.records || l.rsrp + 2u > l.records || l.rsrq + 2u > l.records ||
            l.neighbours >= l.records || l.detected >= l.records ||
            kLteIntraEarfcn + l.earfcnWidth > l.pci) {
            return false;
        }
    }
    for (const LteNeighbourMeasLayout& l : kLteNeighbourMeasLayouts) {
        if (l.earfcnWidth > l.cellsWord || l.cellsWord + 2u > l.records) {
            return false;
        }
    }
    return std::max({kLteNeighbourMeasPci.End(), kLteNeighbourMeasRsrp.End(),
                     kLteNeighbourMeasRsrq.End()}) <= kLteNeighbourMeasRecordSize;
}
static_assert(LayoutsHold());

const LteNeighbourMeasLayout* FindNeighbourLayout(std::uint16_t logCode, std::uint8_t subpacket,
                                                  std::uint8_t subVersion) {
    const auto& all = kLteNeighbourMeasLayouts;
    const auto it = std::find_if(all.begin(), all.end(), [&](const auto& l) {
        return l.logCode == logCode && l.subpacket == subpacket && l.subVersion == subVersion;
    });
    return it == all.end() ? nullptr : &*it;
}

std::uint8_t ResultSubpacket(std::uint16_t logCode) {
    return logCode == kLteConnNeighbourMeasLogCode ? kLteConnNeighbourResultSubpacket
                                                   : kLteIdleNeighbourResultSubpacket;
}

Sixteenths Rsrp16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<Sixteenths>(LeU16(b, at)) + kRsrpBias;
}

Sixteenths Rsrq16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<Sixteenths>(LeU16(b, at)) + kRsrqBias;
}

// A 16-bit measurement field's raw value, cut to its range.
std::uint32_t Raw16(Sixteenths value, Sixteenths bias) {
    return std::clamp<std::int64_t>(std::int64_t{value} - bias, 0, 0xFFFF);
}

// One result subpacket's body into a layer.
PacketDecode DecodeLayer(std::span<const std::uint8_t> body, const LteNeighbourMeasLayout& l,
                         LteNeighbourLayer& out) {
    if (body.size() < l.records) {
        return PacketDecode::kMalformed;
    }
    const std::uint32_t word = LeU16(body, l.cellsWord);
    // The modem's count: every record it declares must lie in the subpacket.
    const std::size_t n = word & kLteNeighbourMeasCountMask;
    if (n > (body.size() - l.records) / kLteNeighbourMeasRecordSize || n > kLteMaxMeasuredCells) {
        return PacketDecode::kMalformed;
    }
    out.subVersion = l.subVersion;
    out.earfcn = LeUint(body, 0, l.earfcnWidth);
    out.servingIndex = l.logCode == kLteConnNeighbourMeasLogCode
                           ? static_cast<std::uint8_t>((word >> kLteNeighbourMeasIndexShift) &
                                                       kLteNeighbourMeasIndexMask)
                           : 0;
    out.count = static_cast<std::uint16_t>(n);
    for (std::size_t k = 0; k < n; ++k) {
        const auto record = body.subspan(l.records + kLteNeighbourMeasRecordSize * k);
        LteMeasuredCell& c = out.cells[k];
        c.pci = static_cast<std::uint16_t>(kLteNeighbourMeasPci.Read(record));
        c.rsrp = MeasureField(kLteNeighbourMeasRsrp, record, kRsrpBias);
        c.rsrq = MeasureField(kLteNeighbourMeasRsrq, record, kRsrqBias);
    }
    return PacketDecode::kOk;
}

}  // namespace

PacketDecode DecodeLteIntraMeasurement(std::span<const std::uint8_t> payload,
                                       LteIntraMeasurement& out) {
    if (payload.empty()) {
        return PacketDecode::kMalformed;
    }
    const LteIntraMeasLayout* l = FindLayoutVersion(kLteIntraMeasLayouts, payload[0]);
    if (l == nullptr) {
        return PacketDecode::kUnknownVersion;
    }
    if (payload.size() < l->records) {
        return PacketDecode::kMalformed;
    }
    // The modem's counts: every record they declare must lie in the payload.
    const std::size_t n = payload[l->neighbours];
    const std::size_t d = payload[l->detected];
    if (n > kLteMaxMeasuredCells || d > kLteMaxMeasuredCells ||
        payload.size() - l->records < kLteIntraNeighbourSize * n + kLteIntraDetectedSize * d) {
        return PacketDecode::kMalformed;
    }
    out.version = l->version;
    out.servingIndex =
        static_cast<std::uint8_t>(payload[kLteIntraServingIndex] & kLteIntraServingIndexMask);
    out.earfcn = LeUint(payload, kLteIntraEarfcn, l->earfcnWidth);
    out.pci = static_cast<std::uint16_t>(LeU16(payload, l->pci));
    out.rsrp = Rsrp16(payload, l->rsrp);
    out.rsrq = Rsrq16(payload, l->rsrq);
    out.count = static_cast<std::uint16_t>(n);
    for (std::size_t k = 0; k < n; ++k) {
        const auto record = payload.subspan(l->records + kLteIntraNeighbourSize * k);
        out.cells[k] = {static_cast<std::uint16_t>(LeU16(record, 0)),
                        Rsrp16(record, kLteIntraNeighbourRsrp),
                        Rsrq16(record, kLteIntraNeighbourRsrq)};
    }
    const std::size_t detectedAt = l->records + kLteIntraNeighbourSize * n;
    out.detectedCount = static_cast<std::uint16_t>(d);
    for (std::size_t k = 0; k < d; ++k) {
        out.detected[k] =
            LeUint(payload, detectedAt + kLteIntraDetectedSize * k, l->detectedPciWidth);
    }
    return PacketDecode::kOk;
}

PacketDecode DecodeLteNeighbourMeasurement(std::uint16_t logCode,
                                           std::span<const std::uint8_t> payload,
                                           LteNeighbourMeasurement& out) {
    if (payload.size() < kLteServingSubpackets) {
        return PacketDecode::kMalformed;
    }
    if (payload[0] != kLteNeighbourMeasContainerVersion) {
        return PacketDecode::kUnknownVersion;
    }
    out.connected = logCode == kLteConnNeighbourMeasLogCode;
    out.count = 0;
    const std::uint8_t result = ResultSubpacket(logCode);
    return ForEachLteSubpacket(payload, [&](const LteSubpacket& sub) {
        if (sub.id != result) {
            return PacketDecode::kOk;  // a request
        }
        const LteNeighbourMeasLayout* l = FindNeighbourLayout(logCode, result, sub.subVersion);
        if (l == nullptr) {
            return PacketDecode::kUnknownVersion;
        }
        if (out.count == kLteMaxNeighbourLayers) {
            return PacketDecode::kMalformed;
        }
        const PacketDecode d = DecodeLayer(sub.body, *l, out.layers[out.count]);
        out.count += d == PacketDecode::kOk ? 1 : 0;
        return d;
    });
}

std::size_t WriteLteIntraMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                                     const LteIntraMeasurement& m) {
    const LteIntraMeasLayout* l = FindLayoutVersion(kLteIntraMeasLayouts, m.version);
    const std::size_t n = std::min<std::size_t>(m.count, kLteMaxMeasuredCells);
    const std::size_t d = std::min<std::size_t>(m.detectedCount, kLteMaxMeasuredCells);
    const std::size_t size =
        (l != nullptr ? l->records : 0) + kLteIntraNeighbourSize * n + kLteIntraDetectedSize * d;
    if (l == nullptr || !StartLogFrame(out, size, kLteIntraMeasLogCode, stamp)) {
        return 0;
    }
    const auto p = out.subspan(kLogHeaderSize, size);
    p[0] = l->version;
    p[kLteIntraServingIndex] = m.servingIndex & kLteIntraServingIndexMask;
    PutLe(p, kLteIntraEarfcn, l->earfcnWidth, m.earfcn);
    PutLe(p, l->pci, 2, m.pci);
    for (const std::size_t repeat : {0, 2}) {
        PutLe(p, l->rsrp + repeat, 2, Raw16(m.rsrp, kRsrpBias));
        PutLe(p, l->rsrq + repeat, 2, Raw16(m.rsrq, kRsrqBias));
    }
    p[l->neighbours] = static_cast<std::uint8_t>(n);
    p[l->detected] = static_cast<std::uint8_t>(d);
    for (std::size_t k = 0; k < n; ++k) {
        const auto record = p.subspan(l->records + kLteIntraNeighbourSize * k);
        const LteMeasuredCell& c = m.cells[k];
        PutLe(record, 0, 2, c.pci);
        PutLe(record, kLteIntraNeighbourRsrp, 2, Raw16(c.rsrp, kRsrpBias));
        PutLe(record, kLteIntraNeighbourRsrp + 2, 2, Raw16(c.rsrp, kRsrpBias));
        PutLe(record, kLteIntraNeighbourRsrq, 2, Raw16(c.rsrq, kRsrqBias));
        PutLe(record, kLteIntraNeighbourRsrq + 2, 2, Raw16(c.rsrq, kRsrqBias));
    }
    const std::size_t detectedAt = l->records + kLteIntraNeighbourSize * n;
    for (std::size_t k = 0; k < d; ++k) {
        PutLe(p, detectedAt + kLteIntraDetectedSize * k, l->detectedPciWidth, m.detected[k]);
    }
    return kLogHeaderSize + size;
}

std::size_t WriteLteNeighbourMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                                         bool connected, const LteNeighbourLayer& layer) {
    const std::uint16_t code =
        connected ? kLteConnNeighbourMeasLogCode : kLteIdleNeighbourMeasLogCode;
    const std::uint8_t result = ResultSubpacket(code);
    const LteNeighbourMeasLayout* l = FindNeighbourLayout(code, result, layer.subVersion);
    const std::size_t n = std::min<std::size_t>(layer.count, kLteMaxMeasuredCells);
    const std::size_t body = (l != nullptr ? l->records : 0) + kLteNeighbourMeasRecordSize * n;
    const std::size_t size = kLteServingSubpackets + 2 * kLteSubpacketHeaderSize + body;
    if (l == nullptr || !StartLogFrame(out, size, code, stamp)) {
        return 0;
    }
    const auto p = out.subspan(kLogHeaderSize, size);
    p[0] = kLteNeighbourMeasContainerVersion;
    p[1] = 2;  // the request (nothing in it) and the result
    const auto request = p.subspan(kLteServingSubpackets);
    request[0] = connected ? kLteConnNeighbourRequestSubpacket : kLteIdleNeighbourRequestSubpacket;
    request[1] = layer.subVersion;
    PutLe(request, 2, 2, kLteSubpacketHeaderSize);
    const auto sub = request.subspan(kLteSubpacketHeaderSize);
    sub[0] = result;
    sub[1] = layer.subVersion;
    PutLe(sub, 2, 2, static_cast<std::uint32_t>(kLteSubpacketHeaderSize + body));
    const auto b = sub.subspan(kLteSubpacketHeaderSize);
    PutLe(b, 0, l->earfcnWidth, layer.earfcn);
    const std::uint32_t index = connected ? (layer.servingIndex & kLteNeighbourMeasIndexMask) : 0;
    PutLe(b, l->cellsWord, 2, static_cast<std::uint32_t>(n) | index << kLteNeighbourMeasIndexShift);
    for (std::size_t k = 0; k < n; ++k) {
        const auto record = b.subspan(l->records + kLteNeighbourMeasRecordSize * k);
        const LteMeasuredCell& c = layer.cells[k];
        kLteNeighbourMeasPci.Write(record, c.pci);
        kLteNeighbourMeasRsrp.Write(record, RawField(kLteNeighbourMeasRsrp, c.rsrp, kRsrpBias));
        kLteNeighbourMeasRsrq.Write(record, RawField(kLteNeighbourMeasRsrq, c.rsrq, kRsrqBias));
    }
    return kLogHeaderSize + size;
}

}  // namespace norvane
