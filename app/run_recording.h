// `norvane --record FILE`: one capture for every monitoring session of the run. Owned by the
// application; each NetMonitor window records into it, one after another, and a .pcap capture
// also takes the radio window's frames and positions beside them (a .bin capture keeps the bytes
// of one port as read, so it takes the NetMonitor's alone: two ports' reads would interleave).
// A thread of its own brings what was gathered to the disk at least every second, so the UI
// thread never writes the file.
#pragma once

#include <QObject>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "session/recorder.h"

namespace norvane {

class RunRecording : public QObject {
  public:
    // Creates the capture at `path`. When it cannot be created, the reason is shown in a message
    // box and nothing is returned: the program goes on without recording.
    static std::unique_ptr<RunRecording> Start(const std::string& path);

    ~RunRecording() override;

    // What the NetMonitor windows record into.
    FrameRecorder* recorder() { return m_recorder.get(); }
    // What the radio window records into: the same capture when it is a .pcap, else nullptr.
    FrameRecorder* radioRecorder() { return m_takesRadio ? m_recorder.get() : nullptr; }

  private:
    RunRecording() = default;
    // From any thread; the writer fails only once, so this shows at most one message.
    void OnFailure(const CaptureError& error);
    void FlushEverySecond();

    std::unique_ptr<CaptureRecorder> m_recorder;
    bool m_takesRadio = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_ending = false;  // under m_mutex
    std::thread m_flusher;  // last: started once the recorder is there
};

}  // namespace norvane
