// The body of the receive thread: read frames from the open port, decode them, hand each report
// on in the order the frames arrived.
#pragma once

#include <atomic>
#include <cstdint>

#include "diag/log_decoder.h"
#include "link/messages.h"

namespace norvane {

// Run flag of the receive loop: 1 keeps it reading, 0 ends it after the current read.
extern std::atomic<std::int32_t> g_bReading;

// What the receive loop hands its reports to (the monitor window, the command-line monitor).
// Called on the receive thread.
class ReportSink {
  public:
    virtual ~ReportSink() = default;
    virtual void ShowCellReport(const CellReport& report) = 0;
    virtual void ShowSarPaReport(const SarPaReport& report) = 0;
};

// Counts of what the loop has seen, for tools and tests.
struct ReceiveStats {
    std::atomic<std::uint64_t> reads{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> reports{0};
    std::atomic<std::uint64_t> badFcs{0};
    std::atomic<std::uint64_t> other{0};
};

// Returns 0 when no port was open at its start (after the "Error OpenComPort" message), 1 when
// it ended because g_bReading was cleared.
std::uint32_t ReceiveThreadProc(ReportSink& reports, MessageSink& messages,
                                ReceiveStats* stats = nullptr);

}  // namespace norvane
