// `norvane --record FILE`: one capture for every monitoring session of the run, one after
// another. Owned by the application; each NetMonitor window records into it.
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <string>

#include "session/recorder.h"

namespace norvane {

class RunRecording : public QObject {
  public:
    // Creates the capture at `path`. When it cannot be created, the reason is shown in a message
    // box and nothing is returned: the program goes on without recording.
    static std::unique_ptr<RunRecording> Start(const std::string& path);

    FrameRecorder* recorder() { return m_recorder.get(); }

  private:
    RunRecording() = default;
    // From any thread; the writer fails only once, so this shows at most one message.
    void OnFailure(const CaptureError& error);

    std::unique_ptr<CaptureRecorder> m_recorder;
    QTimer m_flush;  // the capture reaches the disk at least every second
};

}  // namespace norvane
