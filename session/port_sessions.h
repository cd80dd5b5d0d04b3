// One monitoring session per port, shared by the views that watch it (the NetMonitor window, the
// radio window, later views). A view takes a seat (SessionSeat) and chooses a port: when another
// view already monitors that port, it joins that session; otherwise a session of its own opens
// the port. The session switches on the union of what its views need (the NetMonitor's fixed
// frames while it is alone, see session/log_masks.h); a view that leaves switches off only what
// no other view needs and leaves the others running; the last view to leave ends the session.
// Port loss and the modem's return reach every view of the session.
//
// Nothing here waits: each session runs on its own SessionWorker, and a session that ends does
// so on its worker, after its stop frames. The program's exit waits for them with
// WaitForWorkers.
//
// Threads: PortSessions and every seat on it are used from one thread (the UI thread).
//
// Use:
//   PortSessions sessions;                               // the program's, outlives its views
//   SessionSeat seat(sessions, view, LogView::kRadio, codes);
//   seat.SelectPort("/dev/ttyUSB1 - Diagnostics");       // opens or joins
//   seat.Leave(true);                                    // the view's stop exchange, then gone
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "session/session_worker.h"

namespace norvane {

// How long a new session of a port waits, on its worker, for an earlier session of that port to
// let it go.
inline constexpr std::chrono::milliseconds kPortHandOverWait{5000};

class PortSessions {
  public:
    PortSessions();
    PortSessions(const PortSessions&) = delete;
    PortSessions& operator=(const PortSessions&) = delete;
    // The seats are gone first. Sessions still ending go on ending by themselves.
    ~PortSessions();

    // Waits up to `limit` for every session that was let go to end (its stop frames written, its
    // threads joined, its port closed). The number still running afterwards, which the caller
    // leaves behind.
    int WaitForWorkers(std::chrono::milliseconds limit) { return census_->WaitForAll(limit); }
    // Sessions whose worker still runs, in use or ending.
    int Running() const { return census_->Running(); }

  private:
    friend class SessionSeat;
    struct Port {
        std::string device;  // the device path the session was opened on
        std::shared_ptr<SessionWorker> worker;
    };
    // The session monitoring `device`, or none.
    Port* Find(const std::string& device);
    Port& Open(const std::string& device);
    void Drop(const SessionWorker* worker);

    std::shared_ptr<WorkerCensus> census_;
    std::vector<std::unique_ptr<Port>> ports_;
    // Sessions let go and perhaps still ending, by the device they had: a new session of that
    // device opens its port once they have let it go.
    struct Ending {
        std::string device;
        std::shared_ptr<SessionWorker::Ended> ended;
    };
    std::vector<Ending> ending_;
};

// A view's place in the session of the port it watches.
class SessionSeat {
  public:
    // `role`: kMonitor for the NetMonitor (its fixed frames and buttons), another role for a view
    // that needs `codes`. One view of each role per port.
    SessionSeat(PortSessions& sessions, MonitorView& view, LogView role,
                std::vector<std::uint16_t> codes = {});
    SessionSeat(const SessionSeat&) = delete;
    SessionSeat& operator=(const SessionSeat&) = delete;
    // Leave(false).
    ~SessionSeat();

    // The user chose `entry` ("device - description"; empty: none). Alone on its port, the view
    // has that port closed without stop frames and the new one opened, as its choice always did;
    // otherwise it leaves the others' session without a frame and joins, or opens, the session of
    // the new port. Never waits.
    void SelectPort(const std::string& entry);
    // The view goes: with `stop`, its stop exchange (the last view: the session's whole stop
    // sequence and the port closed; otherwise what no other view needs is switched off);
    // without, nothing is sent. No call reaches the view once this returns. Never waits.
    void Leave(bool stop);

    // The NetMonitor's buttons (kMonitor only).
    void SwitchCellsOn() { Post(&MonitoringSession::SwitchCellsOn); }
    void SwitchCellsOff() { Post(&MonitoringSession::SwitchCellsOff); }
    void SwitchSarPaOn() { Post(&MonitoringSession::SwitchSarPaOn); }
    void SwitchSarPaOff() { Post(&MonitoringSession::SwitchSarPaOff); }

    // This view's recording, for the sessions it opens from now on (a session records into the
    // recorder of the view that opened its port). nullptr: none. It must outlive those sessions.
    void SetRecorder(FrameRecorder* recorder) { recorder_ = recorder; }
    // A position line for the session's recorder.
    void RecordPosition(CaptureTime time, std::string line);

    // What the session of this view's port was like after its last call or event.
    bool PortOpen() const { return worker_ && worker_->PortOpen(); }
    bool WaitingForModem() const { return worker_ && worker_->WaitingForModem(); }
    bool ReceiveThreadRunning() const { return worker_ && worker_->ReceiveThreadRunning(); }
    // How many views watch this view's port (itself included); 0 without a port.
    std::size_t Watchers() const { return worker_ ? worker_->Views() : 0; }

  private:
    void Post(void (MonitoringSession::*call)());
    // Opens, or joins, the session of `entry`'s port.
    void Join(const std::string& entry);

    PortSessions& sessions_;
    MonitorView& view_;
    const LogView role_;
    const std::vector<std::uint16_t> codes_;
    FrameRecorder* recorder_ = nullptr;
    std::shared_ptr<SessionWorker> worker_;  // the session of the port chosen; none before
};

}  // namespace norvane
