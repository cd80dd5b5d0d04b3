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
            break;
        case LogFrameKind::LteIdleNeighbours:
            keep(reports_.lteNeighbours, frame.lteNeighbours);
            break;
        case LogFrameKind::LteServing:
            TakeServing(frame.lteServing, now);
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
    }
}

void LatestReports::CopyTo(RadioReports& out) const {
    const std::lock_guard lock(mutex_);
    out = reports_;
}

}  // namespace norvane
