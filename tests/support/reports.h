// Test support without Qt: the monitor as the session sees it, recording what it is asked to
// show. Reports come from the receive thread, so what is recorded is kept under a lock.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "session/sinks.h"

namespace norvane::test {

class RecordingView : public MonitorView {
  public:
    struct Message {
        std::string text, caption;
        bool threadRunning;  // what `isThreadRunning` said as the message was shown
    };
    std::string PortListText() override { return entry; }
    void ResetBars() override { ++barResets; }
    void SetUpTimeText(std::string_view text) override { upTime = text; }
    void MessageBox(std::string_view text, std::string_view caption) override {
        const bool running = isThreadRunning && isThreadRunning();
        const std::lock_guard lock(mutex_);
        messages_.push_back({std::string(text), std::string(caption), running});
    }
    void ShowCellReport(const CellReport& r) override {
        const std::lock_guard lock(mutex_);
        cells_.push_back(r);
    }
    void ShowSarPaReport(const SarPaReport& r) override {
        const std::lock_guard lock(mutex_);
        sarPa_.push_back(r);
    }
    std::vector<CellReport> Cells() { return Locked(cells_); }
    std::vector<SarPaReport> SarPa() { return Locked(sarPa_); }
    std::vector<Message> Messages() { return Locked(messages_); }

    std::string entry;  // the port list's text
    int barResets = 0;
    std::string upTime;
    std::function<bool()> isThreadRunning;

  private:
    template <typename T>
    T Locked(const T& value) {
        const std::lock_guard lock(mutex_);
        return value;
    }
    std::mutex mutex_;
    std::vector<CellReport> cells_;
    std::vector<SarPaReport> sarPa_;
    std::vector<Message> messages_;
};

}  // namespace norvane::test
