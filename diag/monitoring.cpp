#include "diag/monitoring.h"

#include <system_error>

#include "diag/command_table.h"

namespace norvane {

MonitoringControl::MonitoringControl(MonitorView& view, ReceiveStats* stats)
    : view_(view), stats_(stats) {}

MonitoringControl::~MonitoringControl() {
    Shutdown();
}

void MonitoringControl::SendCommandFrame(std::string_view storedText) {
    const std::size_t length = StoredFrameToBytes(storedText, sendBuffer_);
    WriteRaw({sendBuffer_.data(), length});
}

void MonitoringControl::SendRow(std::string_view rowName) {
    if (const DiagCommandRow* row = FindCommandRow(rowName)) {
        SendCommandFrame(row->strFrame);
    }
}

void MonitoringControl::WriteRaw(std::span<const std::uint8_t> bytes) {
    // Commands are fire-and-forget: a write to no port, or one that fails, goes unnoticed and
    // later frames are still written.
    if (ComPort* port = g_hComPort.load(); port != nullptr && !bytes.empty()) {
        WriteComFrame(port, bytes);
    }
}

void MonitoringControl::StartMonitoring() {
    // Only one receive thread ever reads a port: an earlier thread ends and its port is closed
    // (without stop frames) before the new open.
    StopReceiveThread();
    ClosePort();
    g_hComPort.store(OpenComPort(view_.PortListText(), view_));
    g_bReading.store(1);
    if (g_hComPort.load() == nullptr) {
        return;
    }

    SendCommandFrame(DiagProbeFrame);
    // The probe's reply is not looked at; only whether the modem answered at all.
    std::array<std::uint8_t, kFrameBufferSize> reply{};
    if (ReadComFrame(g_hComPort.load(), reply) == 0) {
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

void MonitoringControl::StartReceiveThread() {
    try {
        receiveThread_.Start(view_, view_, stats_);
    } catch (const std::system_error&) {
        view_.MessageBox(kThreadErrorText, kErrorCaption);
    }
}

void MonitoringControl::StopReceiveThread() {
    receiveThread_.Stop();
}

void MonitoringControl::ClosePort() {
    if (ComPort* port = g_hComPort.exchange(nullptr)) {
        CloseComPort(port);
    }
}

void MonitoringControl::OnCbnSelchangePort() {
    view_.ResetBars();
    StartMonitoring();  // ends the old port's thread and closes it before the new open
}

void MonitoringControl::OnBnClickedExit() {
    g_bReading.store(0);
    if (g_hComPort.load() != nullptr) {
        SendRow(kRowAgcOff);
        SendRow(kRowCellsOff);
        const std::uint8_t flag = kHdlcFlag;
        WriteRaw({&flag, 1});
    }
    StopReceiveThread();
    ClosePort();
}

void MonitoringControl::OnBnClickedOnRscp() {
    SendRow(kRowCellsOn);
}

void MonitoringControl::OnBnClickedOffRscp() {
    view_.SetUpTimeText(kRscpOffText);
    SendRow(kRowCellsOff);
}

void MonitoringControl::OnBnClickedOnSarPa() {
    for (std::string_view row : kRowsSarPaOn) {
        SendRow(row);
    }
}

void MonitoringControl::OnBnClickedOffSarPa() {
    SendRow(kRowAgcOff);
}

void MonitoringControl::Shutdown() {
    g_bReading.store(0);
    StopReceiveThread();
    ClosePort();
}

bool MonitoringControl::ReceiveThreadRunning() const {
    return receiveThread_.Running();
}

}  // namespace norvane
