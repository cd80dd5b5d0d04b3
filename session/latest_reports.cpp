#include "session/latest_reports.h"

#include <utility>

namespace norvane {

LatestReports::LatestReports(RadioClockSource clock) : clock_(std::move(clock)) {}

namespace {

template <class Report>
void Put(Latest<Report>& slot, const Report& report, RadioClock::time_point now,
         std::uint64_t taken) {
    slot.report = report;
    slot.has = true;
    slot.at = now;
    slot.taken = taken;
}

}  // namespace

template <class Keep>
bool LatestReports::KeepOf(std::uint32_t sim, Keep keep) {
    const RadioClock::time_point now = clock_();
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        if (!reports_.radio.Takes(sim)) {
            return false;
        }
        keep(now, taken_.load(std::memory_order_relaxed) + 1);
        taken_.fetch_add(1, std::memory_order_release);
        wake = !std::exchange(unread_, true);
    }
    if (wake && wake_) {
        wake_();
    }
    return true;
}

bool LatestReports::Take(const CellReport& report) {
    return KeepOf(report.sim, [&](RadioClock::time_point now, std::uint64_t n) {
        Put(reports_.cellList, report, now, n);
    });
}

bool LatestReports::Take(const SarPaReport& report) {
    return KeepOf(report.sim, [&](RadioClock::time_point now, std::uint64_t n) {
        Put(reports_.sarPa, report, now, n);
    });
}

bool LatestReports::Take(const DecodedLogFrame& frame) {
    switch (frame.kind) {
        case LogFrameKind::CellList:
            return Take(frame.cells);
        case LogFrameKind::SarPa:
            return Take(frame.sarPa);
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
        case LogFrameKind::Rrc:
        case LogFrameKind::RrcSegment:
        case LogFrameKind::Nas:
        case LogFrameKind::Other:
            return false;
    }
    return KeepOf(frame.sim, [&](RadioClock::time_point now, std::uint64_t n) {
        switch (frame.kind) {
            case LogFrameKind::WcdmaCell:
                Put(reports_.wcdmaCell, frame.wcdmaCell, now, n);
                break;
            case LogFrameKind::LteCell:
                Put(reports_.lteCell, frame.lteCell, now, n);
                break;
            case LogFrameKind::LteIdle:
                Put(reports_.lteIdle, frame.lteIdle, now, n);
                NameServing(frame.lteIdle.earfcn, frame.lteIdle.pci, now);
                break;
            case LogFrameKind::LteIdleNeighbours:
                Put(reports_.lteNeighbours, frame.lteNeighbours, now, n);
                break;
            case LogFrameKind::LteServing:
                TakeServing(frame.lteServing, now);
                break;
            case LogFrameKind::LteIntraMeas: {
                const LteIntraMeasurement& m = frame.lteIntra;
                if (m.servingIndex == 0) {
                    Put(reports_.lteIntra, m, now, n);
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
                Put(reports_.nrCell, frame.nrCell, now, n);
                break;
            case LogFrameKind::NrMeas:
                Put(reports_.nrMeas, frame.nrMeas, now, n);
                break;
            default:
                break;
        }
    });
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

std::uint64_t LatestReports::CopyTo(RadioReports& out) {
    const std::lock_guard lock(mutex_);
    out = reports_;
    unread_ = false;
    return taken_.load(std::memory_order_relaxed);
}

void LatestReports::ChooseRadioAgain() {
    const std::lock_guard lock(mutex_);
    reports_.radio.Forget();
}

}  // namespace norvane
