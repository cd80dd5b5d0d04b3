#include "session/session_worker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <utility>

namespace norvane {

SessionWorker::SessionWorker(MonitorView& view, ReceiveStats* stats, bool monitorFrames)
    : session_(view, stats, monitorFrames), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SessionWorker::~SessionWorker() {
    Shutdown();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void SessionWorker::Start() {
    Post([entry = session_.View().PortListText()](MonitoringSession& s) { s.StartOn(entry); });
}

void SessionWorker::SelectPort() {
    session_.View().ResetBars();
    Start();
}

void SessionWorker::Post(Task task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        if (!thread_.joinable()) {
            quit_ = false;
            thread_ = std::thread([this] { Run(); });
        }
    }
    eventfd_write(wakeFd_, 1);
}

void SessionWorker::Shutdown() {
    if (!thread_.joinable()) {
        return;  // nothing was asked since the last end: the session holds no port
    }
    Post(&MonitoringSession::Shutdown);
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    eventfd_write(wakeFd_, 1);
    thread_.join();
}

void SessionWorker::Note() {
    portOpen_.store(session_.PortOpen());
    waiting_.store(session_.WaitingForModem());
}

void SessionWorker::Run() {
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            if (!tasks_.empty()) {
                task = std::move(tasks_.front());
                tasks_.pop_front();
            } else if (quit_) {
                return;
            }
        }
        if (task) {
            task(session_);
            Note();
            continue;
        }
        // Nothing queued: sleep until a call comes, or the port goes, or the modem returns.
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {session_.EventFd(), POLLIN, 0}};
        if (poll(fds, 2, wakeFd_ < 0 ? 50 : -1) <= 0) {  // without an eventfd, look often
            continue;
        }
        if (fds[0].revents & POLLIN) {
            eventfd_t count = 0;
            eventfd_read(wakeFd_, &count);
        }
        if (fds[1].revents & POLLIN) {
            session_.HandleEvents();
            Note();
        }
    }
}

}  // namespace norvane
