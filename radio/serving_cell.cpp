#include "radio/serving_cell.h"

#include <algorithm>

namespace norvane {
namespace {

double Db(Sixteenths value) {
    return value / 16.0;
}

bool Serves(const LteServingCell& cell) {
    return !cell.hasServingFlag || cell.isServing;  // sub-versions 4 and 7 send the serving cell
}

// The primary cell among carrier 0's cells: the serving one of the identity's PCI, else the
// first serving one.
const LteServingCell* PrimaryCell(const RadioReports& r, RadioClock::time_point now) {
    const Latest<LteServingMeasurement>& carrier = r.lteCarriers[0];
    if (!carrier.FreshAt(now)) {
        return nullptr;
    }
    const LteServingCell* first = nullptr;
    for (std::size_t i = 0; i < carrier.report.count; ++i) {
        const LteServingCell& cell = carrier.report.cells[i];
        if (!Serves(cell)) {
            continue;
        }
        if (r.lteCell.FreshAt(now) && cell.pci == r.lteCell.report.pci) {
            return &cell;
        }
        first = first != nullptr ? first : &cell;
    }
    return first;
}

}  // namespace

double EcIoDb(const CellEntry& cell) {
    return cell.ecIo;
}

Technology CurrentTechnology(const RadioReports& r) {
    RadioClock::time_point lte{}, wcdma{};
    bool any = false;
    const auto newest = [&any](RadioClock::time_point& t, const auto& slot) {
        if (slot.has) {
            t = std::max(t, slot.at);
            any = true;
        }
    };
    newest(lte, r.lteCell);
    newest(lte, r.lteIdle);
    newest(lte, r.lteNeighbours);
    newest(lte, r.lteIntra);
    newest(lte, r.lteServingCell);
    for (const auto& carrier : r.lteCarriers) {
        newest(lte, carrier);
    }
    const bool anyLte = any;
    newest(wcdma, r.wcdmaCell);
    newest(wcdma, r.cellList);
    if (!any) {
        return Technology::None;
    }
    return anyLte && lte >= wcdma ? Technology::Lte : Technology::Wcdma;
}

ServingSignal LteServingSignal(const RadioReports& r, RadioClock::time_point now) {
    ServingSignal s;
    s.count = 3;
    const LteServingCell* primary = PrimaryCell(r, now);
    // The newer fresh one of the idle measurement and the primary cell; the intra-frequency
    // results (without RSSI) only when neither is fresh.
    RadioClock::time_point newest{};
    const auto newer = [&](const auto& slot, bool usable) {
        if (usable && slot.FreshAt(now) && (!s.has || slot.at >= newest)) {
            newest = slot.at;
            s.has = true;
            return true;
        }
        return false;
    };
    enum { kNone, kIdle, kPrimary, kIntra } source = kNone;
    source = newer(r.lteIdle, true) ? kIdle : source;
    source = newer(r.lteCarriers[0], primary != nullptr) ? kPrimary : source;
    source = newer(r.lteIntra, source == kNone) ? kIntra : source;
    s.at = newest;
    s.present = {true, true, true};
    if (source == kIdle) {
        const LteIdleMeasurement& m = r.lteIdle.report;
        s.cellCode = m.pci;
        s.values = {Db(m.rsrp), Db(m.rsrq), Db(m.rssi)};
    } else if (source == kPrimary) {
        s.cellCode = primary->pci;
        s.values = {Db(primary->rsrp), Db(primary->rsrq), Db(primary->rssi)};
    } else if (source == kIntra) {
        const LteIntraMeasurement& m = r.lteIntra.report;
        s.cellCode = m.pci;
        s.values = {Db(m.rsrp), Db(m.rsrq), 0};
        s.present[2] = false;
    }
    return s;
}

ServingSignal WcdmaServingSignal(const RadioReports& r, RadioClock::time_point now) {
    ServingSignal s;
    s.count = 2;
    if (!r.cellList.FreshAt(now)) {
        return s;
    }
    const CellReport& list = r.cellList.report;
    const auto cells =
        std::span(list.cells)
            .first(std::min<std::size_t>(static_cast<std::size_t>(std::max(list.wcdmaCellCount, 0)),
                                         list.cells.size()));
    const CellEntry* serving = nullptr;
    if (r.wcdmaCell.FreshAt(now)) {
        const auto it = std::find_if(cells.begin(), cells.end(), [&](const CellEntry& c) {
            return c.psc == r.wcdmaCell.report.psc;
        });
        serving = it != cells.end() ? &*it : nullptr;
    }
    if (serving == nullptr && !cells.empty()) {
        serving = &*std::max_element(
            cells.begin(), cells.end(),
            [](const CellEntry& a, const CellEntry& b) { return a.rscp < b.rscp; });
    }
    if (serving != nullptr) {
        s.has = true;
        s.at = r.cellList.at;
        s.cellCode = static_cast<std::uint16_t>(serving->psc);
        s.values = {static_cast<double>(serving->rscp), EcIoDb(*serving), 0};
        s.present = {true, true, false};
    }
    return s;
}

std::optional<MeasuredServingCell> LteServingCellNamed(const RadioReports& r,
                                                       RadioClock::time_point now) {
    const bool measured = r.lteServingCell.FreshAt(now);
    if (r.lteCell.FreshAt(now) && (!measured || r.lteCell.at > r.lteServingCell.at)) {
        return MeasuredServingCell{r.lteCell.report.earfcnDl, r.lteCell.report.pci};
    }
    return measured ? std::optional(r.lteServingCell.report) : std::nullopt;
}

bool LteIdentityOfServingCell(const RadioReports& r) {
    if (!r.lteCell.has) {
        return false;
    }
    const MeasuredServingCell& m = r.lteServingCell.report;
    return !r.lteServingCell.has || r.lteServingCell.at <= r.lteCell.at ||
           (m.pci == r.lteCell.report.pci && m.earfcn == r.lteCell.report.earfcnDl);
}

NrServing NrServingCell(const RadioReports& r, RadioClock::time_point now) {
    NrServing s;
    const bool identity = r.nrCell.FreshAt(now);
    if (r.nrMeas.FreshAt(now)) {
        const NrMeasurement& m = r.nrMeas.report;
        const NrMeasCell* serving = nullptr;
        for (std::size_t i = 0; i < m.count && i < m.cells.size(); ++i) {
            const NrMeasCell& c = m.cells[i];
            if (c.serving && (serving == nullptr || (identity && c.pci == r.nrCell.report.pci))) {
                serving = &c;
            }
        }
        if (serving != nullptr) {
            s.has = true;
            s.at = r.nrMeas.at;
            s.pci = serving->pci;
            s.arfcn = serving->arfcn;
            s.values = {serving->rsrp / 128.0, serving->rsrq / 128.0};
            s.present = {serving->rsrp != 0, serving->rsrq != 0};
        }
    }
    if (identity && (!s.has || s.pci == r.nrCell.report.pci)) {
        s.identity = true;
        s.pci = r.nrCell.report.pci;
        s.arfcn = s.has ? s.arfcn : r.nrCell.report.arfcnDl;
    }
    return s;
}

bool NrLive(const RadioReports& r, RadioClock::time_point now) {
    return r.nrCell.FreshAt(now) || r.nrMeas.FreshAt(now);
}

std::vector<NeighbourRow> LteNeighbourRows(const RadioReports& r, RadioClock::time_point now) {
    std::vector<NeighbourRow> rows;
    if (r.lteNeighbours.FreshAt(now)) {
        const LteIdleNeighbours& m = r.lteNeighbours.report;
        for (std::size_t i = 0; i < m.count; ++i) {
            const LteNeighbour& c = m.cells[i];
            rows.push_back({c.pci, m.earfcn, Db(c.rsrp), Db(c.rsrq), Db(c.rssi), true,
                            NeighbourRole::Idle, 0, -1, r.lteNeighbours.at});
        }
    }
    const LteServingCell* primary = PrimaryCell(r, now);
    for (const auto& carrier : r.lteCarriers) {
        if (!carrier.FreshAt(now)) {
            continue;
        }
        for (std::size_t i = 0; i < carrier.report.count; ++i) {
            const LteServingCell& c = carrier.report.cells[i];
            if (&c == primary) {
                continue;
            }
            const NeighbourRole role = Serves(c) && c.servingIndex != 0 ? NeighbourRole::Secondary
                                                                        : NeighbourRole::Neighbour;
            rows.push_back({c.pci, c.earfcn, Db(c.rsrp), Db(c.rsrq), Db(c.rssi), true, role,
                            c.servingIndex, -1, carrier.at});
        }
    }
    if (r.nrMeas.FreshAt(now)) {
        const NrServing serving = NrServingCell(r, now);
        const NrMeasurement& m = r.nrMeas.report;
        for (std::size_t i = 0; i < m.count && i < m.cells.size(); ++i) {
            const NrMeasCell& c = m.cells[i];
            if (serving.has && c.pci == serving.pci && c.arfcn == serving.arfcn) {
                continue;
            }
            rows.push_back({c.pci, c.arfcn, c.rsrp / 128.0, c.rsrq / 128.0, 0, false,
                            NeighbourRole::Nr, 0, c.hasSsb ? int(c.ssb) : -1, r.nrMeas.at});
        }
    }
    for (const MeasuredNeighbour& n : r.measured) {
        if (n.has && now - n.at <= kStaleAfter) {
            rows.push_back({n.pci, n.earfcn, Db(n.rsrp), Db(n.rsrq), 0, false,
                            NeighbourRole::Neighbour, 0, -1, n.at});
        }
    }
    // One row a cell: a secondary cell as such, else the newest report of it; not the serving one.
    const std::optional<MeasuredServingCell> serving = LteServingCellNamed(r, now);
    const auto better = [](const NeighbourRow& a, const NeighbourRow& b) {
        const bool aSecondary = a.role == NeighbourRole::Secondary;
        const bool bSecondary = b.role == NeighbourRole::Secondary;
        return aSecondary != bSecondary ? aSecondary : a.at > b.at;
    };
    std::vector<NeighbourRow> kept;
    for (const NeighbourRow& row : rows) {
        const bool nr = row.role == NeighbourRole::Nr;
        if (serving && !nr && row.role != NeighbourRole::Secondary && row.pci == serving->pci &&
            row.earfcn == serving->earfcn) {
            continue;
        }
        const auto same = std::find_if(kept.begin(), kept.end(), [&](const NeighbourRow& k) {
            return k.pci == row.pci && k.earfcn == row.earfcn &&
                   (k.role == NeighbourRole::Nr) == nr;
        });
        if (same == kept.end()) {
            kept.push_back(row);
        } else if (better(row, *same)) {
            *same = row;
        }
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const NeighbourRow& a, const NeighbourRow& b) { return a.rsrp > b.rsrp; });
    return kept;
}

}  // namespace norvane
