#include "radio/radio_reports.h"

#include <utility>

namespace norvane {

std::optional<int> RadioIdOf(const DecodedLogFrame& frame) {
    if (frame.sim == 0) {
        return std::nullopt;  // not from a dual-SIM modem's wrapper
    }
    return static_cast<int>(frame.sim);
}

double EcIoDb(const CellEntry& cell) {
    return cell.ecIo;
}

LatestReports::LatestReports(RadioClockSource clock) : clock_(std::move(clock)) {}

bool LatestReports::Take(const DecodedLogFrame& frame) {
    switch (frame.kind) {
        case LogFrameKind::CellList:
        case LogFrameKind::WcdmaCell:
        case LogFrameKind::LteCell:
        case LogFrameKind::LteIdle:
        case LogFrameKind::LteIdleNeighbours:
        case LogFrameKind::LteServing:
        case LogFrameKind::LteIntraMeas:
        case LogFrameKind::LteNeighbourMeas:
        case LogFrameKind::NrCell:
        case LogFrameKind::NrMeas:
            break;
        case LogFrameKind::SarPa:
        case LogFrameKind::Rrc:
        case LogFrameKind::RrcSegment:
        case LogFrameKind::Nas:
        case LogFrameKind::Other:
            return false;
    }
    const RadioClock::time_point now = clock_();
    const std::optional<int> radio = RadioIdOf(frame);
    const std::lock_guard lock(mutex_);
    if (radio) {
        if (!reports_.radioId) {
            reports_.radioId = radio;
        } else if (*reports_.radioId != *radio) {
            return false;
        }
    }
    const auto keep = [now](auto& slot, const auto& report) {
        slot.report = report;
        slot.has = true;
        slot.at = now;
    };
    switch (frame.kind) {
        case LogFrameKind::CellList:
            keep(reports_.cellList, frame.cells);
            break;
        case LogFrameKind::WcdmaCell:
            keep(reports_.wcdmaCell, frame.wcdmaCell);
            break;
        case LogFrameKind::LteCell:
            keep(reports_.lteCell, frame.lteCell);
            break;
        case LogFrameKind::LteIdle:
            keep(reports_.lteIdle, frame.lteIdle);
            NameServing(frame.lteIdle.earfcn, frame.lteIdle.pci, now);
            break;
        case LogFrameKind::LteIdleNeighbours:
            keep(reports_.lteNeighbours, frame.lteNeighbours);
            break;
        case LogFrameKind::LteServing:
            TakeServing(frame.lteServing, now);
            break;
        case LogFrameKind::LteIntraMeas: {
            const LteIntraMeasurement& m = frame.lteIntra;
            if (m.servingIndex == 0) {
                keep(reports_.lteIntra, m);
                NameServing(m.earfcn, m.pci, now);
            }
            for (std::size_t i = 0; i < m.count && i < m.cells.size(); ++i) {
                TakeMeasured(m.earfcn, m.cells[i], now);
            }
            break;
        }
        case LogFrameKind::LteNeighbourMeas: {
            const LteNeighbourMeasurement& m = frame.lteNeighbourMeas;
            for (std::size_t l = 0; l < m.count && l < m.layers.size(); ++l) {
                const LteNeighbourLayer& layer = m.layers[l];
                for (std::size_t i = 0; i < layer.count && i < layer.cells.size(); ++i) {
                    TakeMeasured(layer.earfcn, layer.cells[i], now);
                }
            }
            break;
        }
        case LogFrameKind::NrCell:
            keep(reports_.nrCell, frame.nrCell);
            break;
        case LogFrameKind::NrMeas:
            keep(reports_.nrMeas, frame.nrMeas);
            break;
        case LogFrameKind::SarPa:
        case LogFrameKind::Rrc:
        case LogFrameKind::RrcSegment:
        case LogFrameKind::Nas:
        case LogFrameKind::Other:
            break;
    }
    taken_.fetch_add(1, std::memory_order_release);
    return true;
}

void LatestReports::TakeServing(const LteServingMeasurement& m, RadioClock::time_point now) {
    std::array<bool, kLteCarriers> seen{};
    for (std::size_t i = 0; i < m.count && i < m.cells.size(); ++i) {
        const std::size_t carrier = m.cells[i].servingIndex % kLteCarriers;  // 3 bits on the wire
        Latest<LteServingMeasurement>& slot = reports_.lteCarriers[carrier];
        if (!seen[carrier]) {
            seen[carrier] = true;
            slot.report.count = 0;
            slot.has = true;
            slot.at = now;
        }
        slot.report.cells[slot.report.count++] = m.cells[i];
        const LteServingCell& c = m.cells[i];
        if (c.servingIndex == 0 && (!c.hasServingFlag || c.isServing)) {
            NameServing(c.earfcn, c.pci, now);
        }
    }
}

void LatestReports::TakeMeasured(std::uint32_t earfcn, const LteMeasuredCell& cell,
                                 RadioClock::time_point now) {
    auto& slots = reports_.measured;
    MeasuredNeighbour* slot = &slots[0];
    for (MeasuredNeighbour& n : slots) {
        if (n.has && n.earfcn == earfcn && n.pci == cell.pci) {
            slot = &n;
            break;
        }
        if (!n.has ? slot->has : slot->has && n.at < slot->at) {
            slot = &n;  // a free slot, else the one heard of longest ago
        }
    }
    *slot = {earfcn, cell.pci, cell.rsrp, cell.rsrq, true, now};
}

void LatestReports::NameServing(std::uint32_t earfcn, std::uint16_t pci,
                                RadioClock::time_point now) {
    Latest<MeasuredServingCell>& s = reports_.lteServingCell;
    s.report = {earfcn, pci};
    s.has = true;
    s.at = now;
}

void LatestReports::CopyTo(RadioReports& out) const {
    const std::lock_guard lock(mutex_);
    out = reports_;
}

}  // namespace norvane
