// A receive loop on its own thread: started on an open port, stopped by clearing its run flag,
// waking the port's pending read and joining. The port stays open; its owner closes it after
// Stop(), and keeps it alive while the thread runs. When the port goes away the loop ends by
// itself and, if an eventfd was given with SignalGoneTo, the thread adds 1 to it, so that the
// owner's thread learns it without polling and joins the thread.
#pragma once

#include <sys/eventfd.h>

#include <atomic>
#include <cstdint>
#include <optional>
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

    // The eventfd to signal when a loop ends because its port has gone; -1 for none. Takes
    // effect at the next Start.
    void SignalGoneTo(int eventFd) { goneFd_ = eventFd; }

    // Sets the run flag and starts the loop on `port`. Stops a loop this object still runs
    // first. Throws std::system_error when no thread can be created.
    void Start(const SerialPort& port, ReportSink& reports, MessageSink& messages,
               ReceiveStats* stats = nullptr, FrameRecorder* recorder = nullptr,
               LogConfigAnswers* answers = nullptr, std::mutex* order = nullptr) {
        Stop();
        port.ClearWake();
        port_ = &port;
        state_.store(State::kRunning);
        reading_.store(true);
        try {
            thread_ = std::thread([this, &port, &reports, &messages, stats, recorder, answers,
                                   order, goneFd = goneFd_] {
                const std::uint32_t result = RunReceiveLoop(port, reading_, reports, messages,
                                                            stats, recorder, answers, order);
                result_.store(result);
                state_.store(State::kEnded);  // after it, so Result() sees this result
                if (result == kLoopPortGone && goneFd >= 0) {
                    eventfd_write(goneFd, 1);
                }
            });
        } catch (...) {
            reading_.store(false);
            state_.store(State::kNotStarted);
            throw;
        }
    }

    // The loop ends after its current read; Stop() then ends that read at once.
    void ClearRunFlag() { reading_.store(false); }

    // Clears the run flag, wakes the read in progress and joins the thread. Afterwards reads on
    // that port return 0 at once until the next Start, and Result() is empty again: a port
    // opened since is not taken for the one that went away.
    void Stop() {
        if (!thread_.joinable()) {
            return;
        }
        reading_.store(false);
        port_->Wake();
        thread_.join();
        state_.store(State::kNotStarted);
    }

    bool Running() const { return state_.load() == State::kRunning; }
    // The loop's result once it has ended (kLoopNoPort, kLoopStopped or kLoopPortGone) and
    // until Stop(); empty while it runs, before it and after Stop().
    std::optional<std::uint32_t> Result() const {
        if (state_.load() != State::kEnded) {
            return std::nullopt;
        }
        return result_.load();
    }

  private:
    enum class State : std::uint8_t { kNotStarted, kRunning, kEnded };
    const SerialPort* port_ = nullptr;
    int goneFd_ = -1;
    std::atomic<bool> reading_{false};
    std::thread thread_;
    std::atomic<State> state_{State::kNotStarted};
    std::atomic<std::uint32_t> result_{0};  // the loop's, once state_ is kEnded
};

}  // namespace norvane
