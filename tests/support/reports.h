// Test support without Qt: a report sink that keeps, under a lock, every report the receive
// loop hands on, and the order in which they came.
#pragma once

#include <mutex>
#include <vector>

#include "diag/receive_loop.h"

namespace norvane::test {

class RecordingReports : public ReportSink {
  public:
    void ShowCellReport(const CellReport& r) override {
        std::lock_guard lock(mutex_);
        cells_.push_back(r);
        order_.push_back(r.cells[0].psc);
    }
    void ShowSarPaReport(const SarPaReport& r) override {
        std::lock_guard lock(mutex_);
        sarPa_.push_back(r);
        order_.push_back(-static_cast<int>(r.paValue));
    }
    // One entry per report in arrival order: the first cell's PSC for a cell list, minus the PA
    // value for a SAR/PA report.
    std::vector<int> Seen() {
        std::lock_guard lock(mutex_);
        return order_;
    }
    std::vector<CellReport> Cells() {
        std::lock_guard lock(mutex_);
        return cells_;
    }
    std::size_t SarPaCount() {
        std::lock_guard lock(mutex_);
        return sarPa_.size();
    }

  private:
    std::mutex mutex_;
    std::vector<CellReport> cells_;
    std::vector<SarPaReport> sarPa_;
    std::vector<int> order_;
};

}  // namespace norvane::test
