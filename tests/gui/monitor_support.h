// Helpers for the UI tests: the message-box and beep recorder, the runtime directory that port
// discovery looks in, and reports handed over from another thread as the receive loop does.
#pragma once

#include <stdlib.h>

#include <QCoreApplication>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/framework.h"
#include "framework/message_box.h"
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

}  // namespace norvane::test
