// What the program sends to the modem and when: on start, on a change of port, on the four
// command buttons and on leaving; and the lifetime of the open port and of the receive thread.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "diag/gsmtap.h"
#include "diag/hdlc.h"
#include "link/serial_port.h"
#include "session/receive_loop.h"
#include "session/receive_thread.h"
#include "session/sinks.h"

namespace norvane {

class FrameRecorder;

// Row names of the command table used here.
inline constexpr std::string_view kRowCellsOn = "ON Cell RSSI";
inline constexpr std::string_view kRowCellsOff = "OFF Cell RSSI";
inline constexpr std::string_view kRowAgcOff = "OFF_AGC";
inline constexpr std::array<std::string_view, 4> kRowsSarPaOn = {"ON_AGC", "ON_AGC1", "ON_AGC2",
                                                                 "ON_AGC3"};

// Switches a modem still in AT mode to diagnostic mode (after its next reset).
inline constexpr std::string_view kModeSwitchText = "AT$QCDMG\r\n";

// Owns the open port and the receive thread reading it. All calls come from one thread (the
// window's); the receive thread calls the view's report and message functions.
class MonitoringSession {
  public:
    explicit MonitoringSession(MonitorView& view, ReceiveStats* stats = nullptr);
    MonitoringSession(const MonitoringSession&) = delete;
    MonitoringSession& operator=(const MonitoringSession&) = delete;
    // Ends like Shutdown(): nothing keeps running, nothing is sent.
    ~MonitoringSession();

    // Opens the port selected in the view, probes it (with the AT$QCDMG fall-back), switches
    // cell reporting on and starts the receive thread. An earlier port is let go first.
    void Start();
    // The user chose another port: bars reset, then Start().
    void SelectPort();
    void SwitchCellsOn();
    // Shows "RSCP Off" in the up-time line and switches cell reporting off.
    void SwitchCellsOff();
    void SwitchSarPaOn();
    void SwitchSarPaOff();
    // Leaving by Exit: run flag cleared, stop frames written, thread woken and joined, port
    // closed. The caller then ends the window.
    void Stop();
    // Leaving any other way (Esc, window destroyed, signal without stop frames): thread joined
    // and port closed, nothing sent.
    void Shutdown();

    // Decodes one stored frame text and writes it to the open port.
    void SendCommandFrame(std::string_view storedText);

    // Everything read from the port and every checked frame in both directions go to `recorder`
    // from the next Start() on; nullptr records nothing. It must outlive the session's port.
    void SetRecorder(FrameRecorder* recorder) { recorder_ = recorder; }

    bool PortOpen() const { return port_.IsOpen(); }
    bool ReceiveThreadRunning() const { return receiveThread_.Running(); }

  private:
    void SendRow(std::string_view rowName);
    void WriteRaw(std::span<const std::uint8_t> bytes);
    void StartReceiveThread();
    void EndPort();
    void Record(FrameDirection direction, std::span<const std::uint8_t> bytes);

    MonitorView& view_;
    ReceiveStats* stats_;
    FrameRecorder* recorder_ = nullptr;
    HdlcDeframer recordDeframer_;  // splits what the session itself writes or reads
    SerialPort port_;
    // After the port: destroyed first, so the thread has ended before the port closes.
    ReceiveThread receiveThread_;
    std::array<std::uint8_t, kFrameBufferSize> sendBuffer_{};
};

}  // namespace norvane
