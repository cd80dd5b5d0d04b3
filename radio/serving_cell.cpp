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
    const bool idle =
        r.lteIdle.FreshAt(now) && (primary == nullptr || r.lteIdle.at >= r.lteCarriers[0].at);
    if (idle) {
        const LteIdleMeasurement& m = r.lteIdle.report;
        s.has = true;
        s.at = r.lteIdle.at;
        s.cellCode = m.pci;
        s.values = {Db(m.rsrp), Db(m.rsrq), Db(m.rssi)};
    } else if (primary != nullptr) {
        s.has = true;
        s.at = r.lteCarriers[0].at;
        s.cellCode = primary->pci;
        s.values = {Db(primary->rsrp), Db(primary->rsrq), Db(primary->rssi)};
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
    }
    return s;
}

std::vector<NeighbourRow> LteNeighbourRows(const RadioReports& r, RadioClock::time_point now) {
    std::vector<NeighbourRow> rows;
    if (r.lteNeighbours.FreshAt(now)) {
        const LteIdleNeighbours& m = r.lteNeighbours.report;
        for (std::size_t i = 0; i < m.count; ++i) {
            const LteNeighbour& c = m.cells[i];
            rows.push_back({c.pci, m.earfcn, Db(c.rsrp), Db(c.rsrq), Db(c.rssi),
                            NeighbourRole::Idle, 0, r.lteNeighbours.at});
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
            rows.push_back({c.pci, c.earfcn, Db(c.rsrp), Db(c.rsrq), Db(c.rssi), role,
                            c.servingIndex, carrier.at});
        }
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const NeighbourRow& a, const NeighbourRow& b) { return a.rsrp > b.rsrp; });
    return rows;
}

}  // namespace norvane
