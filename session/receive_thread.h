// A receive loop on its own thread: started on an open port, stopped by clearing its run flag,
// waking the port's pending read and joining. The port stays open; its owner closes it after
// Stop(), and keeps it alive while the thread runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "link/serial_port.h"
#include "session/receive_loop.h"

namespace norvane {

class ReceiveThread {
  public:
    ReceiveThread() = default;
    ReceiveThread(const ReceiveThread&) = delete;
    ReceiveThread& operator=(const ReceiveThread&) = delete;
    ~ReceiveThread() { Stop(); }

    // Sets the run flag and starts the loop on `port`. Stops a loop this object still runs
    // first. Throws std::system_error when no thread can be created.
    void Start(const SerialPort& port, ReportSink& reports, MessageSink& messages,
               ReceiveStats* stats = nullptr, FrameRecorder* recorder = nullptr) {
        Stop();
        port.ClearWake();
        port_ = &port;
        result_.store(kRunning);
        reading_.store(true);
        try {
            thread_ = std::thread([this, &port, &reports, &messages, stats, recorder] {
                result_.store(RunReceiveLoop(port, reading_, reports, messages, stats, recorder));
            });
        } catch (...) {
            reading_.store(false);
            result_.store(kNotStarted);
            throw;
        }
    }

    // The loop ends after its current read; Stop() then ends that read at once.
    void ClearRunFlag() { reading_.store(false); }

    // Clears the run flag, wakes the read in progress and joins the thread. Afterwards reads on
    // that port return 0 at once until the next Start.
    void Stop() {
        if (!thread_.joinable()) {
            return;
        }
        reading_.store(false);
        port_->Wake();
        thread_.join();
    }

    bool Running() const { return result_.load() == kRunning; }
    // The loop's result once it has ended (0 or 1); -1 while it runs, -2 before.
    std::int64_t Result() const { return result_.load(); }

  private:
    static constexpr std::int64_t kRunning = -1;
    static constexpr std::int64_t kNotStarted = -2;
    const SerialPort* port_ = nullptr;
    std::atomic<bool> reading_{false};
    std::thread thread_;
    std::atomic<std::int64_t> result_{kNotStarted};
};

}  // namespace norvane
