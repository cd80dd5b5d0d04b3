#include "session/session_worker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <system_error>
#include <thread>
#include <utility>

#include "session/texts.h"

namespace norvane {

void WorkerCensus::Add() {
    const std::lock_guard lock(mutex_);
    ++running_;
}

void WorkerCensus::Done() {
    {
        const std::lock_guard lock(mutex_);
        --running_;
    }
    ended_.notify_all();
}

int WorkerCensus::Running() {
    const std::lock_guard lock(mutex_);
    return running_;
}

int WorkerCensus::WaitForAll(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    ended_.wait_for(lock, limit, [this] { return running_ == 0; });
    return running_;
}

void SessionWorker::Ended::Set() {
    {
        const std::lock_guard lock(mutex_);
        ended_ = true;
    }
    set_.notify_all();
}

bool SessionWorker::Ended::Done() {
    const std::lock_guard lock(mutex_);
    return ended_;
}

bool SessionWorker::Ended::WaitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return set_.wait_for(lock, limit, [this] { return ended_; });
}

namespace {

// The session's view: every call goes to each view attached, under one lock (recursive: a call
// to one view made while the worker tells another runs on the same thread).
class ViewList final : public MonitorView {
  public:
    void Attach(MonitorView& view) {
        const std::lock_guard lock(mutex_);
        views_.push_back(&view);
    }
    void Detach(MonitorView& view) {
        const std::lock_guard lock(mutex_);
        std::erase(views_, &view);
    }
    std::size_t Size() {
        const std::lock_guard lock(mutex_);
        return views_.size();
    }
    template <typename Call>
    void With(MonitorView& view, Call call) {
        const std::lock_guard lock(mutex_);
        if (std::find(views_.begin(), views_.end(), &view) != views_.end()) {
            call(view);
        }
    }

    // The port is always given with the call that starts it.
    std::string PortListText() override { return {}; }
    // Each window resets its own bars when its user chooses a port.
    void ResetBars() override {}
    void SetUpTimeText(std::string_view text) override {
        Each([&](MonitorView& v) { v.SetUpTimeText(text); });
    }
    void PortStateChanged(bool gone) override {
        Each([&](MonitorView& v) { v.PortStateChanged(gone); });
    }
    void ShowReturnedPort(std::string_view device) override {
        Each([&](MonitorView& v) { v.ShowReturnedPort(device); });
    }
    void ShowMonitoring(std::string_view device) override {
        Each([&](MonitorView& v) { v.ShowMonitoring(device); });
    }
    void MessageBox(std::string_view text, std::string_view caption) override {
        Each([&](MonitorView& v) { v.MessageBox(text, caption); });
    }
    void ShowCellReport(const CellReport& report) override {
        Each([&](MonitorView& v) { v.ShowCellReport(report); });
    }
    void ShowSarPaReport(const SarPaReport& report) override {
        Each([&](MonitorView& v) { v.ShowSarPaReport(report); });
    }
    void ShowLogFrame(const DecodedLogFrame& frame) override {
        Each([&](MonitorView& v) { v.ShowLogFrame(frame); });
    }
    void ShowPosition(std::string_view line) override {
        Each([&](MonitorView& v) { v.ShowPosition(line); });
    }

  private:
    template <typename Call>
    void Each(Call call) {
        const std::lock_guard lock(mutex_);
        for (MonitorView* view : views_) {
            call(*view);
        }
    }
    std::recursive_mutex mutex_;
    std::vector<MonitorView*> views_;
};

}  // namespace

struct SessionWorker::State {
    State(std::shared_ptr<WorkerCensus> c, ReceiveStats* stats)
        : census(std::move(c)), session(views, stats, false) {}
    ~State() {
        if (wakeFd >= 0) {
            close(wakeFd);
        }
    }
    void Run();
    void Note();
    // A write to an eventfd fails only without one (then the worker looks every 50 ms) or at a
    // count of 2^64 - 1, which nothing reaches: not looked at.
    void Wake() const { [[maybe_unused]] const int r = eventfd_write(wakeFd, 1); }
    bool Next(Task& task);

    std::shared_ptr<WorkerCensus> census;
    std::shared_ptr<Ended> ended = std::make_shared<Ended>();
    ViewList views;
    MonitoringSession session;  // after the views it talks to
    std::atomic<bool> portOpen{false};
    std::atomic<bool> waiting{false};
    int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);  // a call was queued

    mutable std::mutex mutex;
    std::deque<Task> tasks;
    std::string device;    // the session's, as of the last Note()
    bool quit = false;     // Release(): no call is taken after it
    bool running = false;  // the thread was started
    bool threadSaid = false;
};

SessionWorker::SessionWorker(std::shared_ptr<WorkerCensus> census, ReceiveStats* stats)
    : state_(std::make_shared<State>(std::move(census), stats)) {
    state_->census->Add();
    try {
        // The thread owns the state with the owner; the last of them to let go ends the session.
        std::thread([state = state_]() mutable {
            state->Run();
            const std::shared_ptr<WorkerCensus> census = state->census;
            const std::shared_ptr<Ended> ended = state->ended;
            state.reset();
            ended->Set();
            census->Done();
        }).detach();
        state_->running = true;
    } catch (const std::system_error&) {
        state_->ended->Set();
        state_->census->Done();  // calls are not run; the first one says why
    }
}

SessionWorker::~SessionWorker() {
    Release();
}

void SessionWorker::Attach(MonitorView& view) {
    state_->views.Attach(view);
}

void SessionWorker::Detach(MonitorView& view) {
    state_->views.Detach(view);
}

std::size_t SessionWorker::Views() const {
    return state_->views.Size();
}

void SessionWorker::Post(Task task) {
    State& s = *state_;
    bool say = false;
    {
        const std::lock_guard lock(s.mutex);
        if (s.quit) {
            return;
        }
        if (s.running) {
            s.tasks.push_back(std::move(task));
        } else {
            say = !std::exchange(s.threadSaid, true);
        }
    }
    if (say) {  // no thread to run it: said once, and nothing is run
        s.views.MessageBox(kThreadErrorText, kErrorCaption);
    }
    s.Wake();
}

void SessionWorker::Tell(MonitorView& view,
                         std::function<void(const MonitoringSession&, MonitorView&)> call) {
    Post([views = &state_->views, target = &view, call = std::move(call)](MonitoringSession& s) {
        views->With(*target, [&](MonitorView& v) { call(s, v); });
    });
}

void SessionWorker::Release() {
    Post(&MonitoringSession::Shutdown);
    {
        const std::lock_guard lock(state_->mutex);
        state_->quit = true;
    }
    state_->Wake();
}

void SessionWorker::Post(void (MonitoringSession::*call)()) {
    Post([call](MonitoringSession& s) { (s.*call)(); });
}

bool SessionWorker::PortOpen() const {
    return state_->portOpen.load();
}

bool SessionWorker::WaitingForModem() const {
    return state_->waiting.load();
}

bool SessionWorker::ReceiveThreadRunning() const {
    return state_->session.ReceiveThreadRunning();
}

std::string SessionWorker::Device() const {
    const std::lock_guard lock(state_->mutex);
    return state_->device;
}

std::shared_ptr<SessionWorker::Ended> SessionWorker::EndSignal() const {
    return state_->ended;
}

void SessionWorker::State::Note() {
    portOpen.store(session.PortOpen());
    waiting.store(session.WaitingForModem());
    const std::lock_guard lock(mutex);
    device = session.Device();
}

// The next task, if one is queued; false when the worker is to end.
bool SessionWorker::State::Next(Task& task) {
    const std::lock_guard lock(mutex);
    if (!tasks.empty()) {
        task = std::move(tasks.front());
        tasks.pop_front();
        return true;
    }
    return !quit;
}

void SessionWorker::State::Run() {
    for (;;) {
        Task task;
        if (!Next(task)) {
            return;
        }
        if (task) {
            task(session);
            Note();
            continue;
        }
        // Nothing queued: sleep until a call comes, or the port goes, or the modem returns.
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {session.EventFd(), POLLIN, 0}};
        if (poll(fds, 2, wakeFd < 0 ? 50 : -1) <= 0) {  // without an eventfd, look often
            continue;
        }
        if (fds[0].revents & POLLIN) {
            eventfd_t count = 0;
            eventfd_read(wakeFd, &count);
        }
        if (fds[1].revents & POLLIN) {
            session.HandleEvents();
            Note();
        }
    }
}

}  // namespace norvane
