// A receive loop on its own thread, for the monitor's control and the tools: started with the
// port already in g_hComPort, stopped by clearing the run flag, waking the port's pending read
// and joining. The port itself stays open; its owner closes it after Stop().
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "diag/receive_loop.h"
#include "link/serial_port.h"

namespace norvane {

class ReceiveThread {
  public:
    ReceiveThread() = default;
    ReceiveThread(const ReceiveThread&) = delete;
    ReceiveThread& operator=(const ReceiveThread&) = delete;
    ~ReceiveThread() { Stop(); }

    // Sets g_bReading and starts ReceiveThreadProc. Stops a loop this object still runs first.
    void Start(ReportSink& reports, MessageSink& messages, ReceiveStats* stats = nullptr) {
        Stop();
        ClearComPortWake(g_hComPort.load());
        result_.store(kRunning);
        g_bReading.store(1);
        thread_ = std::thread([this, &reports, &messages, stats] {
            result_.store(static_cast<std::int64_t>(ReceiveThreadProc(reports, messages, stats)));
        });
    }

    // Clears g_bReading, wakes the read in progress on g_hComPort and joins the thread.
    // Afterwards reads on that port return 0 at once until ClearComPortWake (Start does it).
    void Stop() {
        if (!thread_.joinable()) {
            return;
        }
        g_bReading.store(0);
        WakeComPort(g_hComPort.load());
        thread_.join();
    }

    bool Running() const { return result_.load() == kRunning; }
    // ReceiveThreadProc's result once it has ended (0 or 1); -1 while it runs, -2 before.
    std::int64_t Result() const { return result_.load(); }

  private:
    static constexpr std::int64_t kRunning = -1;
    static constexpr std::int64_t kNotStarted = -2;
    std::thread thread_;
    std::atomic<std::int64_t> result_{kNotStarted};
};

}  // namespace norvane
