#include "app/run_recording.h"

#include <QApplication>
#include <chrono>
#include <csignal>

#include "capture/writer.h"
#include "framework/message_box.h"
#include "session/texts.h"

namespace norvane {
namespace {

constexpr std::chrono::milliseconds kFlush{900};  // packets reach the disk at least every second

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
    run->m_takesRadio = writer->format() == CaptureFormat::kPcap;
    run->m_recorder = std::make_unique<CaptureRecorder>(
        std::move(writer), nullptr, [self](const CaptureError& e) { self->OnFailure(e); });
    run->m_flusher = std::thread([self] { self->FlushEverySecond(); });
    return run;
}

RunRecording::~RunRecording() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    m_flusher.join();
    // The recorder's writer brings the rest to the file as it goes.
}

void RunRecording::FlushEverySecond() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, kFlush, [this] { return m_ending; })) {
        lock.unlock();
        m_recorder->Flush();
        lock.lock();
    }
}

void RunRecording::OnFailure(const CaptureError& error) {
    // Queued even on the UI thread: the message box must not run inside a monitoring call.
    QMetaObject::invokeMethod(
        this, [text = error.message] { ShowError(text); }, Qt::QueuedConnection);
}

}  // namespace norvane
