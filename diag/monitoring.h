// What the program sends to the modem and when: on start, on a change of port, on the four
// command buttons and on leaving; and the lifetime of the receive thread and of the port.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "diag/hdlc.h"
#include "diag/receive_loop.h"
#include "diag/receive_thread.h"
#include "link/messages.h"
#include "link/serial_port.h"

namespace norvane {

// The monitor as the control sees it: the window, or the command-line monitor.
class MonitorView : public MessageSink, public ReportSink {
  public:
    // The current text of the port list: the selected entry, or empty when none is selected.
    virtual std::string PortListText() = 0;
    // Every RSCP bar back to its range -120..-70 and position -120.
    virtual void ResetBars() = 0;
    // Text of the up-time line.
    virtual void SetUpTimeText(std::string_view text) = 0;
};

// Row names of the command table used here.
inline constexpr std::string_view kRowCellsOn = "ON Cell RSSI";
inline constexpr std::string_view kRowCellsOff = "OFF Cell RSSI";
inline constexpr std::string_view kRowAgcOff = "OFF_AGC";
inline constexpr std::array<std::string_view, 4> kRowsSarPaOn = {"ON_AGC", "ON_AGC1", "ON_AGC2",
                                                                 "ON_AGC3"};

inline constexpr std::string_view kModeSwitchText = "AT$QCDMG\r\n";
inline constexpr std::string_view kChangeModeText = "Change Mode \nFor use need Reset modem !!! ";
inline constexpr std::string_view kInfoCaption = "Info";
inline constexpr std::string_view kThreadErrorText = "Error Creating Thread";
inline constexpr std::string_view kRscpOffText = "RSCP Off";

// Owns the receive thread and the open port (g_hComPort). All operations run on one thread
// (the window's); the receive thread calls the view's report and message functions.
class MonitoringControl {
  public:
    explicit MonitoringControl(MonitorView& view, ReceiveStats* stats = nullptr);
    MonitoringControl(const MonitoringControl&) = delete;
    MonitoringControl& operator=(const MonitoringControl&) = delete;
    // Ends like Shutdown(): nothing keeps running, nothing is sent.
    ~MonitoringControl();

    // Open the selected port, probe it (with the AT$QCDMG fall-back), switch cell reporting on
    // and start the receive thread.
    void StartMonitoring();
    // Decode one stored frame text and write it to the open port.
    void SendCommandFrame(std::string_view storedText);
    void StartReceiveThread();

    void OnCbnSelchangePort();
    // Stop sequence: run flag cleared, stop frames written, thread joined, port closed. The
    // caller then ends the window.
    void OnBnClickedExit();
    void OnBnClickedOnRscp();
    void OnBnClickedOffRscp();
    void OnBnClickedOnSarPa();
    void OnBnClickedOffSarPa();

    // Leaving any other way (Esc, window destroyed, signal without stop frames): thread joined
    // and port closed, nothing sent.
    void Shutdown();

    bool ReceiveThreadRunning() const;

  private:
    void SendRow(std::string_view rowName);
    void WriteRaw(std::span<const std::uint8_t> bytes);
    void StopReceiveThread();
    void ClosePort();

    MonitorView& view_;
    ReceiveStats* stats_;
    ReceiveThread receiveThread_;
    std::array<std::uint8_t, kFrameBufferSize> sendBuffer_{};
};

}  // namespace norvane
