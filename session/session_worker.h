// A monitoring session run on a thread of its own, for an owner that must never wait on the port
// (the window's UI thread). Every call is queued and returns at once; the worker runs the calls
// in the order they were made, so the bytes on the wire are those of the session's own calls, in
// the same order. Between calls the worker waits on the session's descriptor and takes in a
// lost port and the modem's return itself, so no nested event loop of the owner ever enters the
// session.
//
// The view is called on the worker (messages, the up-time line, the returned port) and on the
// receive thread (reports): it hands them to its own thread without waiting. Only Start() and
// SelectPort() call the view on the owner's thread: the port list's text, and the bars reset.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session/monitoring_session.h"

namespace norvane {

class SessionWorker {
  public:
    explicit SessionWorker(MonitorView& view, ReceiveStats* stats = nullptr,
                           bool monitorFrames = true);
    SessionWorker(const SessionWorker&) = delete;
    SessionWorker& operator=(const SessionWorker&) = delete;
    // Shutdown().
    ~SessionWorker();

    // MonitoringSession's calls, queued.
    void Start();
    void SelectPort();
    void SwitchCellsOn() { Post(&MonitoringSession::SwitchCellsOn); }
    void SwitchCellsOff() { Post(&MonitoringSession::SwitchCellsOff); }
    void SwitchSarPaOn() { Post(&MonitoringSession::SwitchSarPaOn); }
    void SwitchSarPaOff() { Post(&MonitoringSession::SwitchSarPaOff); }
    void Stop() { Post(&MonitoringSession::Stop); }
    void SetLogCodes(LogView view, std::vector<std::uint16_t> codes) {
        Post(
            [view, codes = std::move(codes)](MonitoringSession& s) { s.SetLogCodes(view, codes); });
    }
    void SetRecorder(FrameRecorder* recorder) {
        Post([recorder](MonitoringSession& s) { s.SetRecorder(recorder); });
    }
    void RecordPosition(CaptureTime time, std::string line) {
        Post(
            [time, line = std::move(line)](MonitoringSession& s) { s.RecordPosition(time, line); });
    }
    // Ends the session (thread joined, port closed, nothing sent after what was queued before)
    // and the worker, and returns when both have ended: the one call that waits, for an owner
    // about to go away. Calls after it start a new worker.
    void Shutdown();

    // What the session was like after its last call or event (any thread).
    bool PortOpen() const { return portOpen_.load(); }
    bool WaitingForModem() const { return waiting_.load(); }
    bool ReceiveThreadRunning() const { return session_.ReceiveThreadRunning(); }

  private:
    using Task = std::function<void(MonitoringSession&)>;
    void Post(Task task);
    void Post(void (MonitoringSession::*call)()) {
        Post([call](MonitoringSession& s) { (s.*call)(); });
    }
    void Run();
    void Note();

    MonitoringSession session_;
    std::atomic<bool> portOpen_{false};
    std::atomic<bool> waiting_{false};
    int wakeFd_ = -1;  // eventfd: a call was queued

    std::mutex mutex_;
    std::deque<Task> tasks_;
    bool quit_ = false;
    std::thread thread_;  // last: started after everything it uses
};

}  // namespace norvane
