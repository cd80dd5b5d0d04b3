// Helpers for the monitor window's tests: a modem on the master side of a pty, the message-box
// and beep recorders, thread and descriptor counts, and reports handed over from another thread
// the way the receive loop does it.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/framework.h"
#include "framework/message_box.h"
#include "monitor/monitor_window.h"
#include "tests/support/pty_modem.h"

namespace norvane::test {

// Installs a message-box recorder (answers OK at once) and a beep counter for its lifetime.
class UiRecorder {
  public:
    UiRecorder() {
        previousPresenter_ = SetMessageBoxPresenter([this](const MessageBoxCall& call) {
            calls.push_back(call);
            if (onMessage) {
                onMessage(call);
            }
        });
        previousBeeper_ = SetBeeper([this] { ++beeps; });
    }
    ~UiRecorder() {
        SetMessageBoxPresenter(std::move(previousPresenter_));
        SetBeeper(std::move(previousBeeper_));
    }
    UiRecorder(const UiRecorder&) = delete;
    UiRecorder& operator=(const UiRecorder&) = delete;

    std::vector<MessageBoxCall> calls;
    std::function<void(const MessageBoxCall&)> onMessage;
    int beeps = 0;

  private:
    MessageBoxPresenter previousPresenter_;
    Beeper previousBeeper_;
};

// Points port discovery's simulator source at `dir` for its lifetime (XDG_RUNTIME_DIR).
class RuntimeDir {
  public:
    explicit RuntimeDir(const std::string& dir) {
        if (const char* old = getenv("XDG_RUNTIME_DIR")) {
            old_ = old;
            hadOld_ = true;
        }
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    ~RuntimeDir() {
        if (hadOld_) {
            setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }
    RuntimeDir(const RuntimeDir&) = delete;
    RuntimeDir& operator=(const RuntimeDir&) = delete;

  private:
    std::string old_;
    bool hadOld_ = false;
};

// Hands reports over from another thread, as the receive loop does, then lets the UI thread
// run what was posted.
inline void FromReceiveThread(const std::function<void()>& call) {
    std::thread t(call);
    t.join();
}
inline void RunPosted() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// Runs the event loop until `done` holds or `ms` have passed; returns `done()`.
inline bool WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return done();
}

}  // namespace norvane::test
