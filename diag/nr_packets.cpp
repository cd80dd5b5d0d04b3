#include "diag/nr_packets.h"

#include <algorithm>

#include "diag/log_packets.h"

namespace norvane {
namespace {

// Every field a layout names lies inside the bytes it claims: the layer count inside the
// header, the carrier's bytes inside the carrier, a beam's SSB inside the beam, the identity's
// fields inside its payload.
constexpr bool LayoutsHold() {
    for (const NrMeasLayout& l : kNrMeasLayouts) {
        if (l.layerCount < kNrVersionSize || l.layerCount >= l.layers ||
            std::max<std::size_t>({l.cellCount, l.servingIndex, kNrCarrierServingPci + 1,
                                   kNrCarrierArfcn + 3}) >= l.carrierSize ||
            l.beamSize < kNrBeamSsb + 2) {
            return false;
        }
    }
    for (const NrCellInfoLayout& l : kNrCellInfoLayouts) {
        if (l.pci < kNrVersionSize ||
            std::max({l.pci + 2, l.arfcnDl + 4, l.arfcnUl + 4, l.bandwidthDl + 2, l.bandwidthUl + 2,
                      l.cellId + 8, l.mcc + 2, l.mncDigits + 1, l.mnc + 2, l.tac + 4, l.band + 2}) >
                l.size) {
            return false;
        }
    }
    return kNrCellRsrq + 4 <= kNrCellSize;
}
static_assert(LayoutsHold());

// The layout of the version `payload` begins with; nullptr for a version without one. The
// caller has checked that the version's bytes are there.
template <typename Layout, std::size_t N>
const Layout* LayoutOf(const std::array<Layout, N>& layouts,
                       std::span<const std::uint8_t> payload) {
    return FindLayoutVersion(layouts, LeU32(payload, 0));
}

std::uint64_t LeU64(std::span<const std::uint8_t> b, std::size_t at) {
    return LeU32(b, at) | static_cast<std::uint64_t>(LeU32(b, at + 4)) << 32;
}

// The cells a carrier record declares: its count byte, or when that is no count, its serving
// cell index byte when that is 1 to 254.
std::size_t CellCount(std::span<const std::uint8_t> carrier, const NrMeasLayout& l) {
    const std::uint8_t count = carrier[l.cellCount];
    if (count != 0 && count != kNrNoCount) {
        return count;
    }
    const std::uint8_t index = carrier[l.servingIndex];
    return index != 0 && index != kNrNoCount ? index : 0;
}

}  // namespace

PacketDecode DecodeNrMeasurement(std::span<const std::uint8_t> payload, NrMeasurement& out) {
    if (payload.size() < kNrVersionSize) {
        return PacketDecode::kMalformed;
    }
    const NrMeasLayout* l = LayoutOf(kNrMeasLayouts, payload);
    if (l == nullptr) {
        return PacketDecode::kUnknownVersion;
    }
    if (payload.size() < l->layers) {
        return PacketDecode::kMalformed;
    }
    out.version = l->version;
    out.count = 0;
    // The counts are the modem's: every carrier, cell and beam they declare must lie in the
    // payload before it is read.
    std::size_t at = l->layers;
    for (unsigned layer = 0; layer < payload[l->layerCount]; ++layer) {
        if (payload.size() - at < l->carrierSize) {
            return PacketDecode::kMalformed;
        }
        const auto carrier = payload.subspan(at, l->carrierSize);
        const std::uint32_t arfcn = LeU32(carrier, kNrCarrierArfcn);
        const std::uint32_t servingPci = LeU16(carrier, kNrCarrierServingPci);
        const std::size_t cells = CellCount(carrier, *l);
        at += l->carrierSize;
        for (std::size_t k = 0; k < cells; ++k) {
            if (payload.size() - at < kNrCellSize || out.count == kNrMaxCells) {
                return PacketDecode::kMalformed;
            }
            const auto cell = payload.subspan(at);
            const std::size_t beams = cell[kNrCellBeams];
            if (beams > (cell.size() - kNrCellSize) / l->beamSize) {
                return PacketDecode::kMalformed;
            }
            NrMeasCell& c = out.cells[out.count++];
            c.arfcn = arfcn;
            c.pci = static_cast<std::uint16_t>(LeU16(cell, kNrCellPci));
            c.serving = servingPci != kNrNoPci && c.pci == servingPci;
            c.hasSsb = beams > 0;
            c.ssb =
                c.hasSsb ? static_cast<std::uint16_t>(LeU16(cell, kNrCellSize + kNrBeamSsb)) : 0;
            c.rsrp = static_cast<Q7>(LeU32(cell, kNrCellRsrp));
            c.rsrq = static_cast<Q7>(LeU32(cell, kNrCellRsrq));
            at += kNrCellSize + beams * l->beamSize;
        }
    }
    return PacketDecode::kOk;
}

PacketDecode DecodeNrCellIdentity(std::span<const std::uint8_t> payload, NrCellIdentity& out) {
    if (payload.size() < kNrVersionSize) {
        return PacketDecode::kMalformed;
    }
    const NrCellInfoLayout* l = LayoutOf(kNrCellInfoLayouts, payload);
    if (l == nullptr) {
        return PacketDecode::kUnknownVersion;
    }
    if (payload.size() < l->size) {
        return PacketDecode::kMalformed;
    }
    out.version = l->version;
    out.pci = static_cast<std::uint16_t>(LeU16(payload, l->pci));
    out.arfcnDl = LeU32(payload, l->arfcnDl);
    out.arfcnUl = LeU32(payload, l->arfcnUl);
    out.bandwidthDlMhz = static_cast<std::uint16_t>(LeU16(payload, l->bandwidthDl));
    out.bandwidthUlMhz = static_cast<std::uint16_t>(LeU16(payload, l->bandwidthUl));
    out.cellId = LeU64(payload, l->cellId);
    out.plmn =
        PlmnFromBinary(LeU16(payload, l->mcc), payload[l->mncDigits], LeU16(payload, l->mnc));
    out.tac = LeU32(payload, l->tac);
    out.band = static_cast<std::uint16_t>(LeU16(payload, l->band));
    return PacketDecode::kOk;
}

std::size_t WriteNrMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                               const NrMeasurement& m) {
    const NrMeasLayout* l = FindLayoutVersion(kNrMeasLayouts, m.version);
    if (l == nullptr) {
        return 0;
    }
    const auto cells = std::span(m.cells).first(std::min<std::size_t>(m.count, kNrMaxCells));
    std::size_t layers = 0;
    std::size_t size = l->layers;
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const bool first = k == 0 || cells[k].arfcn != cells[k - 1].arfcn;
        layers += first ? 1 : 0;
        size += (first ? l->carrierSize : 0) + kNrCellSize + (cells[k].hasSsb ? l->beamSize : 0);
    }
    if (!StartLogFrame(out, size, kNrMeasLogCode, stamp)) {
        return 0;
    }
    const auto p = out.subspan(kLogHeaderSize, size);
    PutLe(p, 0, kNrVersionSize, l->version);
    p[l->layerCount] = static_cast<std::uint8_t>(layers);
    std::size_t at = l->layers;
    for (std::size_t k = 0; k < cells.size();) {
        // One layer: the cells from k on with its NR-ARFCN.
        const auto carrier = p.subspan(at, l->carrierSize);
        std::size_t n = 0;
        std::size_t serving = kNrNoCount;  // the index of its serving cell; 0xFF for none
        while (k + n < cells.size() && cells[k + n].arfcn == cells[k].arfcn) {
            serving = serving == kNrNoCount && cells[k + n].serving ? n : serving;
            ++n;
        }
        PutLe(carrier, kNrCarrierArfcn, 4, cells[k].arfcn);
        carrier[l->cellCount] = static_cast<std::uint8_t>(n);
        carrier[l->servingIndex] = static_cast<std::uint8_t>(serving);
        PutLe(carrier, kNrCarrierServingPci, 2,
              serving == kNrNoCount ? kNrNoPci : cells[k + serving].pci);
        at += l->carrierSize;
        for (const NrMeasCell& c : cells.subspan(k, n)) {
            const auto cell = p.subspan(at);
            PutLe(cell, kNrCellPci, 2, c.pci);
            cell[kNrCellBeams] = c.hasSsb ? 1 : 0;
            PutLe(cell, kNrCellRsrp, 4, static_cast<std::uint32_t>(c.rsrp));
            PutLe(cell, kNrCellRsrq, 4, static_cast<std::uint32_t>(c.rsrq));
            if (c.hasSsb) {
                PutLe(cell, kNrCellSize + kNrBeamSsb, 2, c.ssb);
            }
            at += kNrCellSize + (c.hasSsb ? l->beamSize : 0);
        }
        k += n;
    }
    return kLogHeaderSize + size;
}

std::size_t WriteNrCellIdentity(std::span<std::uint8_t> out, std::int64_t stamp,
                                const NrCellIdentity& cell) {
    const NrCellInfoLayout* l = FindLayoutVersion(kNrCellInfoLayouts, cell.version);
    if (l == nullptr || !StartLogFrame(out, l->size, kNrCellInfoLogCode, stamp)) {
        return 0;
    }
    const auto p = out.subspan(kLogHeaderSize, l->size);
    PutLe(p, 0, kNrVersionSize, l->version);
    PutLe(p, l->pci, 2, cell.pci);
    PutLe(p, l->arfcnDl, 4, cell.arfcnDl);
    PutLe(p, l->arfcnUl, 4, cell.arfcnUl);
    PutLe(p, l->bandwidthDl, 2, cell.bandwidthDlMhz);
    PutLe(p, l->bandwidthUl, 2, cell.bandwidthUlMhz);
    PutLe(p, l->cellId, 4, static_cast<std::uint32_t>(cell.cellId));
    PutLe(p, l->cellId + 4, 4, static_cast<std::uint32_t>(cell.cellId >> 32));
    PutLe(p, l->mcc, 2, DigitsValue(cell.plmn.mcc));
    p[l->mncDigits] = static_cast<std::uint8_t>(
        std::find(cell.plmn.mnc.begin(), cell.plmn.mnc.end(), '\0') - cell.plmn.mnc.begin());
    PutLe(p, l->mnc, 2, DigitsValue(cell.plmn.mnc));
    PutLe(p, l->tac, 4, cell.tac);
    PutLe(p, l->band, 2, cell.band);
    return kLogHeaderSize + l->size;
}

}  // namespace norvane
