// Test support without Qt: recorders of the reports the receive loop hands on (under a lock, in
// arrival order) and of the messages the core shows.
#pragma once

#include <mutex>
#include <vector>

#include <string>
#include <string_view>

#include "session/sinks.h"

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

class RecordingMessages : public MessageSink {
  public:
    struct Shown {
        std::string text;
        std::string caption;
    };
    void MessageBox(std::string_view text, std::string_view caption) override {
        std::lock_guard lock(mutex_);
        shown_.push_back({std::string(text), std::string(caption)});
    }
    std::vector<Shown> All() {
        std::lock_guard lock(mutex_);
        return shown_;
    }

  private:
    std::mutex mutex_;
    std::vector<Shown> shown_;
};

}  // namespace norvane::test
