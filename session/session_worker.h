// A monitoring session run on a thread of its own, for owners that must never wait on the port
// (the windows' UI thread), and the views that watch its port. Every call is queued and returns
// at once; the worker runs the calls in the order they were made, so the bytes on the wire are
// those of the session's own calls, in the same order. Between calls the worker waits on the
// session's descriptor and takes in a lost port and the modem's return itself, so no nested event
// loop of an owner ever enters the session.
//
// The session talks to every view attached (Attach): on the worker (messages, the up-time line,
// the port's state) and on the receive thread (reports). Each call reaches the views under one
// lock, so once Detach() has returned no call reaches that view any more; a view hands what it is
// told to its own thread without waiting, so the lock is never held for long.
//
// Nothing here waits for the worker: Release() queues the end (thread joined, port closed) and
// lets go; the worker owns what it uses until it has ended, and counts itself in its Census until
// then, which is what the program's exit waits for, with a deadline.
//
// Threads: the calls below come from one owner thread; the state queries from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "session/monitoring_session.h"

namespace norvane {

// The workers still running, however they were let go.
class WorkerCensus {
  public:
    // Waits up to `limit` for every worker to end; the number still running afterwards.
    int WaitForAll(std::chrono::milliseconds limit);
    int Running();

  private:
    friend class SessionWorker;
    void Add();
    void Done();
    std::mutex mutex_;
    std::condition_variable ended_;
    int running_ = 0;
};

class SessionWorker {
  public:
    using Task = std::function<void(MonitoringSession&)>;

    // Set once the worker has ended: its port closed, its threads ended.
    class Ended {
      public:
        // Whether it ended within `limit`.
        bool WaitFor(std::chrono::milliseconds limit);
        bool Done();

      private:
        friend class SessionWorker;
        void Set();
        std::mutex mutex_;
        std::condition_variable set_;
        bool ended_ = false;
    };

    // The session starts with no view and no monitor frames: a view of kMonitor switches them on
    // when it joins (MonitoringSession::JoinMonitor).
    explicit SessionWorker(std::shared_ptr<WorkerCensus> census, ReceiveStats* stats = nullptr);
    SessionWorker(const SessionWorker&) = delete;
    SessionWorker& operator=(const SessionWorker&) = delete;
    // Release().
    ~SessionWorker();

    // The session's calls reach `view` from now on, until Detach(view).
    void Attach(MonitorView& view);
    // Waits only for a call that is reaching a view at this moment.
    void Detach(MonitorView& view);
    std::size_t Views() const;

    // Queues `task`; the worker runs it on the session.
    void Post(Task task);
    // Queues `call`, made to `view` alone (if it is still attached when the call runs).
    // The call may only look at the session: the view's lock is held while it runs.
    void Tell(MonitorView& view, std::function<void(const MonitoringSession&, MonitorView&)> call);
    // Queues MonitoringSession::Shutdown() and the worker's end, after what was queued before.
    // Calls after it are not run.
    void Release();

    // What the session was like after its last call or event (any thread).
    bool PortOpen() const;
    bool WaitingForModem() const;
    bool ReceiveThreadRunning() const;
    // The device the session's port was opened on (or is awaited at); empty without one.
    std::string Device() const;
    std::shared_ptr<Ended> EndSignal() const;

  private:
    struct State;
    void Post(void (MonitoringSession::*call)());
    std::shared_ptr<State> state_;  // shared with the worker's thread until it ends
};

}  // namespace norvane
