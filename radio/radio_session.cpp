#include "radio/radio_session.h"

#include <QString>

#include "position/position_json.h"
#include "session/json_time.h"
#include "session/texts.h"

namespace norvane {

RadioSession::RadioSession() : worker_(*this, nullptr, false) {
    worker_.SetLogCodes(LogView::kRadio, {kRadioLogCodes.begin(), kRadioLogCodes.end()});
}

RadioSession::~RadioSession() {
    worker_.Shutdown();
}

void RadioSession::SelectPort(std::string_view portEntry) {
    entry_ = portEntry;
    Status({});  // a failure to open says so here
    worker_.SelectPort();
}

void RadioSession::Stop() {
    worker_.Stop();
    worker_.Shutdown();
    window_.store(nullptr);
}

void RadioSession::SetRecorder(FrameRecorder* recorder) {
    recording_ = recorder != nullptr;
    worker_.SetRecorder(recorder);
}

void RadioSession::TakePosition(const Position& position) {
    if (!recording_) {
        return;
    }
    const PositionPace::Say say = pace_.Take(position, PositionPace::Clock::now());
    if (say == PositionPace::Say::kNothing) {
        return;
    }
    // Written by the worker, so that a full capture buffer never reaches the disk from here.
    const CaptureTime now = CaptureClock::now();
    std::string line;
    UtcSecondText second;
    AppendWithTime(line, now, PositionJson(say == PositionPace::Say::kFix ? position : Position{}),
                   second);
    worker_.RecordPosition(now, std::move(line));
}

void RadioSession::MessageBox(std::string_view text, std::string_view caption) {
    Status(std::string(caption) + ": " + std::string(text));
}

void RadioSession::PortStateChanged(bool gone) {
    Status(gone ? kDisconnectedText : "Monitoring " + entry_);
}

void RadioSession::ShowLogFrame(const DecodedLogFrame& frame) {
    if (RadioWindow* window = window_.load()) {
        window->TakeReport(frame);
    }
}

void RadioSession::Status(std::string_view text) {
    if (RadioWindow* window = window_.load()) {
        window->SetStatusText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
}

}  // namespace norvane
