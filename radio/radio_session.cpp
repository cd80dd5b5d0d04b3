#include "radio/radio_session.h"

#include <QString>

#include "jsonl/json_time.h"
#include "jsonl/position_json.h"
#include "link/serial_port.h"
#include "session/texts.h"

namespace norvane {

RadioSession::RadioSession(PortSessions* sessions)
    : ownSessions_(sessions != nullptr ? nullptr : std::make_unique<PortSessions>()),
      seat_(sessions != nullptr ? *sessions : *ownSessions_, *this, LogView::kRadio,
            {kRadioLogCodes.begin(), kRadioLogCodes.end()}) {}

RadioSession::~RadioSession() {
    seat_.Leave(false);
}

void RadioSession::SelectPort(std::string_view portEntry) {
    const std::string entry(portEntry);
    // Until the session says more (monitoring, or why not).
    Status(entry.empty() ? std::string() : "Opening " + PortDevicePath(entry));
    seat_.SelectPort(entry);
}

void RadioSession::Stop() {
    seat_.Leave(true);
    window_.store(nullptr);
}

void RadioSession::SetRecorder(FrameRecorder* recorder) {
    recording_ = recorder != nullptr;
    seat_.SetRecorder(recorder);
}

void RadioSession::TakePosition(const Position& position) {
    if (!recording_) {
        return;
    }
    // Written by the worker, so that a full capture buffer never reaches the disk from here.
    const CaptureTime now = CaptureClock::now();
    std::string line;
    UtcSecondText second;
    AppendWithTime(line, now, PositionJson(position), second);
    seat_.RecordPosition(now, std::move(line));
}

void RadioSession::MessageBox(std::string_view text, std::string_view caption) {
    Status(std::string(caption) + ": " + std::string(text));
}

void RadioSession::ShowMonitoring(std::string_view device) {
    Status("Monitoring " + std::string(device));
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
