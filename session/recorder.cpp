#include "session/recorder.h"

#include <optional>
#include <utility>

namespace norvane {

CaptureRecorder::CaptureRecorder(std::unique_ptr<CaptureWriter> writer,
                                 std::unique_ptr<GsmtapSender> sender, FailureSink onFailure)
    : writer_(std::move(writer)), sender_(std::move(sender)), onFailure_(std::move(onFailure)) {}

void CaptureRecorder::OnRead(CaptureTime time, std::span<const std::uint8_t> bytes) {
    if (writer_ != nullptr) {
        Report(writer_->WriteRead(time, bytes));
    }
}

void CaptureRecorder::OnFrame(CaptureTime time, FrameDirection direction,
                              std::span<const std::uint8_t> payload) {
    if (writer_ != nullptr) {
        Report(writer_->WriteFrame(time, direction, payload));
    }
    if (sender_ != nullptr) {
        sender_->Send(direction, payload);
    }
    if (direction != FrameDirection::kFromModem || (writer_ == nullptr && sender_ == nullptr)) {
        return;
    }
    const DecodedLogFrame frame = DecodeLogFrame(payload);
    CaptureError error;
    {
        // A joined message lives in the joiner until its next call.
        const std::lock_guard lock(joinerMutex_);
        if (const std::optional<SignallingMessage> m = joiner_->Add(frame)) {
            if (writer_ != nullptr) {
                error = writer_->WriteSignalling(MessageTime(frame, time), *m);
            }
            if (sender_ != nullptr) {
                sender_->SendSignalling(*m);
            }
        }
    }
    Report(std::move(error));
}

void CaptureRecorder::OnPosition(CaptureTime time, std::string_view line) {
    if (writer_ != nullptr) {
        Report(writer_->WritePosition(time, line));
    }
}

void CaptureRecorder::Flush() {
    if (writer_ != nullptr) {
        Report(writer_->Flush());
    }
}

void CaptureRecorder::Report(CaptureError error) {
    if (error && onFailure_) {
        onFailure_(error);
    }
}

}  // namespace norvane
