#include "session/monitoring_session.h"

#include <system_error>

#include "diag/command_table.h"
#include "diag/frame_pump.h"
#include "session/capture.h"
#include "session/texts.h"

namespace norvane {

MonitoringSession::MonitoringSession(MonitorView& view, ReceiveStats* stats)
    : view_(view), stats_(stats) {}

MonitoringSession::~MonitoringSession() {
    Shutdown();
}

void MonitoringSession::SendCommandFrame(std::string_view storedText) {
    const std::size_t length = StoredFrameToBytes(storedText, sendBuffer_);
    WriteRaw({sendBuffer_.data(), length});
}

void MonitoringSession::SendRow(std::string_view rowName) {
    if (const DiagCommandRow* row = FindCommandRow(rowName)) {
        SendCommandFrame(row->strFrame);
    }
}

void MonitoringSession::WriteRaw(std::span<const std::uint8_t> bytes) {
    // Commands are fire-and-forget: a write to no port, or one that fails, goes unnoticed and
    // later frames are still written.
    if (!bytes.empty()) {
        Record(FrameDirection::kToModem, bytes);
        port_.Write(bytes);
    }
}

void MonitoringSession::Record(FrameDirection direction, std::span<const std::uint8_t> bytes) {
    if (recorder_ == nullptr || !port_.IsOpen()) {
        return;
    }
    const CaptureTime now = CaptureClock::now();
    if (direction == FrameDirection::kFromModem) {
        recorder_->OnRead(now, bytes);
    }
    // Each write, and the probe's reply, on its own: the AT$QCDMG text or a lone flag must not
    // run into the next frame.
    recordDeframer_.Reset();
    FrameCounters counters;
    PumpFrames(recordDeframer_, bytes, counters,
               [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                   if (status == HdlcDeframer::Status::kFrame) {
                       recorder_->OnFrame(now, direction, payload);
                   }
               });
}

void MonitoringSession::Start() {
    // Only one receive thread ever reads a port: an earlier thread ends and its port is closed
    // (without stop frames) before the new open.
    EndPort();
    const std::string entry = view_.PortListText();
    if (entry.empty()) {
        view_.MessageBox(kNoMobilePortText, kErrorCaption);
        return;
    }
    PortError error;
    port_ = SerialPort::Open(PortDevicePath(entry), error);
    if (!port_.IsOpen()) {
        view_.MessageBox(PortErrorText(error), kErrorCaption);
        return;
    }

    SendCommandFrame(DiagProbeFrame);
    // The probe's reply is not looked at; only whether the modem answered at all.
    std::array<std::uint8_t, kFrameBufferSize> reply{};
    const int replyLength = port_.ReadFrame(reply, kHdlcFlag);
    if (replyLength > 0) {
        Record(FrameDirection::kFromModem, {reply.data(), static_cast<std::size_t>(replyLength)});
    }
    if (replyLength == 0) {
        // A modem still in AT mode: an HDLC flag to end any half-received frame, then the
        // switch to diagnostic mode. It takes effect only after the modem is reset.
        const std::uint8_t flag = kHdlcFlag;
        WriteRaw({&flag, 1});
        WriteRaw({reinterpret_cast<const std::uint8_t*>(kModeSwitchText.data()),
                  kModeSwitchText.size()});
        view_.MessageBox(kChangeModeText, kInfoCaption);
    }
    SendRow(kRowCellsOn);
    StartReceiveThread();
}

void MonitoringSession::StartReceiveThread() {
    try {
        receiveThread_.Start(port_, view_, view_, stats_, recorder_);
    } catch (const std::system_error&) {
        view_.MessageBox(kThreadErrorText, kErrorCaption);
    }
}

void MonitoringSession::EndPort() {
    receiveThread_.Stop();
    port_.Close();
}

void MonitoringSession::SelectPort() {
    view_.ResetBars();
    Start();  // ends the old port's thread and closes it before the new open
}

void MonitoringSession::Stop() {
    receiveThread_.ClearRunFlag();
    if (port_.IsOpen()) {
        SendRow(kRowAgcOff);
        SendRow(kRowCellsOff);
        const std::uint8_t flag = kHdlcFlag;
        WriteRaw({&flag, 1});
    }
    EndPort();
}

void MonitoringSession::SwitchCellsOn() {
    SendRow(kRowCellsOn);
}

void MonitoringSession::SwitchCellsOff() {
    view_.SetUpTimeText(kRscpOffText);
    SendRow(kRowCellsOff);
}

void MonitoringSession::SwitchSarPaOn() {
    for (std::string_view row : kRowsSarPaOn) {
        SendRow(row);
    }
}

void MonitoringSession::SwitchSarPaOff() {
    SendRow(kRowAgcOff);
}

void MonitoringSession::Shutdown() {
    receiveThread_.ClearRunFlag();
    EndPort();
}

}  // namespace norvane
