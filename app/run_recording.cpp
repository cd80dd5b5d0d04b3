#include "app/run_recording.h"

#include <QApplication>
#include <csignal>

#include "capture/writer.h"
#include "framework/message_box.h"
#include "session/texts.h"

namespace norvane {
namespace {

constexpr int kFlushMs = 900;  // packets reach the disk at least every second

void ShowError(const std::string& text) {
    ShowMessageBox(QApplication::activeModalWidget(), text, std::string(kErrorCaption));
}

}  // namespace

std::unique_ptr<RunRecording> RunRecording::Start(const std::string& path) {
    // A file size limit ends a write with EFBIG instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    CaptureError error;
    std::unique_ptr<CaptureWriter> writer = CaptureWriter::Create(path, error);
    if (writer == nullptr) {
        ShowError(error.message);
        return nullptr;
    }
    std::unique_ptr<RunRecording> run(new RunRecording);
    RunRecording* self = run.get();
    run->m_recorder = std::make_unique<CaptureRecorder>(
        std::move(writer), nullptr, [self](const CaptureError& e) { self->OnFailure(e); });
    QObject::connect(&run->m_flush, &QTimer::timeout, run.get(),
                     [self] { self->m_recorder->Flush(); });
    run->m_flush.start(kFlushMs);
    return run;
}

void RunRecording::OnFailure(const CaptureError& error) {
    // Queued even on the UI thread: the message box must not run inside a monitoring call.
    QMetaObject::invokeMethod(
        this, [text = error.message] { ShowError(text); }, Qt::QueuedConnection);
}

}  // namespace norvane
