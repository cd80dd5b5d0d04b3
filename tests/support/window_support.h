// Helpers for the UI tests: the message-box and beep recorder, the runtime directory that port
// discovery looks in, and reports handed over from another thread as the receive loop does.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
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

// Points port discovery's simulator source at `dir` (XDG_RUNTIME_DIR) for its lifetime.
class RuntimeDir {
  public:
    explicit RuntimeDir(const std::string& dir) { qputenv(kName, dir.c_str()); }
    ~RuntimeDir() { had_ ? (void)qputenv(kName, old_) : (void)qunsetenv(kName); }
    RuntimeDir(const RuntimeDir&) = delete;
    RuntimeDir& operator=(const RuntimeDir&) = delete;

  private:
    static constexpr char kName[] = "XDG_RUNTIME_DIR";
    QByteArray old_ = qgetenv(kName);
    bool had_ = qEnvironmentVariableIsSet(kName);
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

// While it lives, another thread asks the UI thread every 2 ms to run a call and notes how long
// each took to be run: Longest() is the longest time the UI thread did not answer (while the
// test itself runs its event loop, as QTest::qWait does).
class UiStallMeter {
  public:
    using Clock = std::chrono::steady_clock;
    UiStallMeter() : asker_([this] { Ask(); }) {}
    ~UiStallMeter() {
        stop_ = true;
        asker_.join();  // before the context goes, so nothing is posted to it after
    }
    UiStallMeter(const UiStallMeter&) = delete;
    UiStallMeter& operator=(const UiStallMeter&) = delete;

    std::chrono::milliseconds Longest() const { return std::chrono::milliseconds(longestMs_); }

  private:
    void Ask() {
        while (!stop_) {
            auto answered = std::make_shared<std::atomic<bool>>(false);
            QMetaObject::invokeMethod(
                &context_,
                [this, answered, asked = Clock::now()] {
                    const auto took =
                        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
                    longestMs_ = std::max<long long>(longestMs_, took.count());
                    *answered = true;
                },
                Qt::QueuedConnection);
            while (!*answered && !stop_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    QObject context_;  // on the UI thread
    std::atomic<long long> longestMs_{0};
    std::atomic<bool> stop_{false};
    std::thread asker_;  // last: started once the rest is there
};

}  // namespace norvane::test
