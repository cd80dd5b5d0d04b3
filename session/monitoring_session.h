// What the program sends to the modem and when: on start, on a change of port, on the four
// command buttons and on leaving; and the lifetime of the open port and of the receive thread.
//
// Errors in session: what the user must learn is said through the view, in the fixed texts of
// session/texts.h: a message box (MessageSink) for a port that does not open, a modem in AT
// mode or no receive thread, the up-time line for a lost port. The calls return nothing to look
// at. Inside, results are typed: the receive loop's end (kLoop*), ReceiveThread::Result() (empty
// while the loop runs or before it), link's PortError and std::error_code, capture's
// CaptureError, which the recorder hands to its owner. Commands are fire-and-forget: a write
// that fails is not looked at (a port that went away is noticed by the next read).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "capture/capture.h"
#include "diag/gsmtap.h"
#include "diag/hdlc.h"
#include "link/modem_identity.h"
#include "link/serial_port.h"
#include "link/udev_watch.h"
#include "session/log_masks.h"
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
// tool's main thread, or the SessionWorker the window runs it on); the receive thread calls the
// view's report and message functions.
//
// Port loss: when the device goes away (unplugged, reset, re-enumerated, simulator ended) the
// receive loop ends and signals EventFd(). The owner watches that descriptor (poll, in the
// tools and the SessionWorker) and calls HandleEvents() on its own thread, which joins the
// thread, closes the port, shows kDisconnectedText in the up-time line and waits for the same
// modem (see Waiter) through the same descriptor. When it is back, the start-up exchange runs
// again on its node; a choice of port, Stop() or Shutdown() ends the waiting.
class MonitoringSession {
  public:
    // `monitorFrames`: the view is the NetMonitor (or `monitor`), whose fixed frames switch the
    // cell list on at the start and off at the stop. Without it the session switches on only
    // the codes given by SetLogCodes (a view of its own, such as the radio window's).
    explicit MonitoringSession(MonitorView& view, ReceiveStats* stats = nullptr,
                               bool monitorFrames = true);
    MonitoringSession(const MonitoringSession&) = delete;
    MonitoringSession& operator=(const MonitoringSession&) = delete;
    // Ends like Shutdown(): nothing keeps running, nothing is sent.
    ~MonitoringSession();

    // Opens the port selected in the view, probes it (with the AT$QCDMG fall-back), switches
    // cell reporting on and starts the receive thread. An earlier port is let go first.
    void Start() { StartOn(view_.PortListText()); }
    // Start() on the port list entry `entry` (empty: none selected).
    void StartOn(const std::string& entry);
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

    // The log codes `view` (not kMonitor: its codes follow the buttons above) needs from now
    // on. On an open port the mask of each equipment id concerned is set again to the union of
    // what every view needs; the modem's item counts are asked first if they are not known yet
    // (this waits up to kItemCountsWait for the answer). Also kept for the next Start().
    void SetLogCodes(LogView view, std::span<const std::uint16_t> codes);

    // The NetMonitor view joins (its fixed frames go out from the next start on, or at once through
    // SwitchCellsOn) or leaves a session other views keep. Leaving with `stop`, what no other
    // view needs of its reports is switched off (OFF_AGC, then the cell list and SAR/PA report,
    // by their fixed frames or the others' union); without, nothing is sent.
    void JoinMonitor() { monitorFrames_ = true; }
    void LeaveMonitor(bool stop);
    // Another view leaves: with `stop` each of its equipment ids gets the others' union (as
    // SetLogCodes(view, {})); without, its codes are only forgotten.
    void LeaveView(LogView view, bool stop);

    // Decodes one stored frame text and writes it to the open port.
    void SendCommandFrame(std::string_view storedText);

    // Everything read from the port and every checked frame in both directions go to `recorder`
    // from the next Start() on; nullptr records nothing. It must outlive the session's port.
    void SetRecorder(FrameRecorder* recorder) { recorder_ = recorder; }
    // A position line: to the recorder, if there is one (with a port open or not), and to the
    // view (ReportSink::ShowPosition), both between two of the receive thread's frames, so
    // that the recording and the reports as shown have it in the same place. Any thread.
    void RecordPosition(CaptureTime time, std::string_view line);

    MonitorView& View() const { return view_; }
    // The device path of the open port, or of the one lost and awaited; empty without.
    const std::string& Device() const { return device_; }
    bool PortOpen() const { return port_.IsOpen(); }
    bool WaitingForModem() const { return waiter_ != nullptr; }
    // The receive loop found the open port gone (the device went away); HandleEvents() has not
    // taken it in yet.
    bool PortGone() const { return port_.IsOpen() && receiveThread_.Result() == kLoopPortGone; }

    // Readable when HandleEvents() has something to do; -1 when the system gave no descriptor
    // (then a lost port is not noticed, as before).
    int EventFd() const { return epollFd_; }
    // Takes in a port that went away and the return of the modem. Never blocks. Called while
    // the session itself is in the middle of a start-up (from a nested event loop of the
    // message it shows), it does nothing: the events stay for the next call.
    void HandleEvents();
    bool ReceiveThreadRunning() const { return receiveThread_.Running(); }

  private:
    void SendRow(std::string_view rowName);
    void WriteRaw(std::span<const std::uint8_t> bytes);
    void StartReceiveThread();
    void EndPort();
    enum class Opened : std::uint8_t { kStarted, kNotOpened, kGone };
    // Opens `device` and runs the start-up exchange. Without `resuming` a port that does not
    // open is reported by a message; resuming, it is not, and nothing is changed. kGone: the
    // port went away during the probe and is closed again (nothing else was sent).
    Opened OpenAndStart(const std::string& device, bool resuming);
    void LosePort();
    void StartWaiting();
    void StopWaiting();
    void Resume(const std::string& device);
    // epoll_ctl's errno, if it failed.
    std::error_code Watch(int fd, bool on) const;
    std::error_code WatchWaiter(bool on) const;
    void Record(FrameDirection direction, std::span<const std::uint8_t> bytes);
    // The monitor's own need of `code` changed: its fixed frame `row` goes out, or, when
    // another view needs a code of the same equipment id, the union's frame.
    void MonitorNeeds(std::uint16_t code, bool on, std::string_view row);
    // The item counts of this port's modem, asked once per port.
    const LogItemCounts& ItemCounts();
    // Sets the mask of `equipment` to the union of what the views need (`none`: all off).
    void SendMask(std::uint32_t equipment, bool none = false);
    void SendOtherViewsMasks();

    MonitorView& view_;
    ReceiveStats* stats_;
    FrameRecorder* recorder_ = nullptr;
    // Held by the receive thread from a frame's recording to its report's hand-on, and by
    // RecordPosition.
    std::mutex order_;
    HdlcDeframer recordDeframer_;  // splits what the session itself writes or reads
    SerialPort port_;
    // After the port: destroyed first, so the thread has ended before the port closes.
    ReceiveThread receiveThread_;
    std::array<std::uint8_t, kFrameBufferSize> sendBuffer_{};

    bool monitorFrames_;  // the NetMonitor view is one of the session's views
    LogMasks masks_;
    LogConfigAnswers answers_;             // the receive thread hands operation 1's answer here
    std::optional<LogItemCounts> counts_;  // asked (or taken as the defaults) on this port
    bool starting_ = false;                // inside OpenAndStart: events wait
    bool sarPaOn_ = false;    // the SAR/PA report was switched on: switched on again on resume
    ModemIdentity identity_;  // of the open port, taken at open: known once it has gone
    std::string linkPath_;    // the symbolic link the port was opened by (the simulator's)
    std::string device_;      // see Device()
    int goneFd_ = -1;         // eventfd the receive thread signals when the port has gone
    int epollFd_ = -1;        // goneFd_ and, while waiting, the waiter's descriptors
    std::unique_ptr<Waiter> waiter_;
    std::error_code unwatched_;   // why a lost port cannot be noticed at all (no descriptors)
    bool unwatchedSaid_ = false;  // a loss or return that cannot be heard is said once
};

}  // namespace norvane
