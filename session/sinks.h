// Where the session's output goes: fixed messages, decoded reports, and the few controls of the
// monitor it drives. The window implements all three; the command-line monitor prints them.
#pragma once

#include <string>
#include <string_view>

#include "diag/log_decoder.h"

namespace norvane {

// Message boxes in the window, standard error in the command-line tools. The caller waits
// until the user has seen the message.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // Shows `text` with `caption` and an OK button only; returns when the user has closed it.
    virtual void MessageBox(std::string_view text, std::string_view caption) = 0;
};

// What the receive loop hands its reports to. Called on the receive thread.
class ReportSink {
  public:
    virtual ~ReportSink() = default;
    virtual void ShowCellReport(const CellReport& report) = 0;
    virtual void ShowSarPaReport(const SarPaReport& report) = 0;
    // Every decoded report (any kind but Other). Cell lists and SAR/PA reports go on to the two
    // calls above; a view that shows the serving cell and LTE reports takes them here.
    virtual void ShowLogFrame(const DecodedLogFrame& frame) {
        if (frame.kind == LogFrameKind::CellList) {
            ShowCellReport(frame.cells);
        } else if (frame.kind == LogFrameKind::SarPa) {
            ShowSarPaReport(frame.sarPa);
        }
    }
    // A position line (as the recording keeps it), in its place among the reports: after those
    // whose frames were recorded before it, before the others.
    virtual void ShowPosition(std::string_view line) { static_cast<void>(line); }
};

// The monitor as the session sees it: the window, or the command-line monitor.
class MonitorView : public MessageSink, public ReportSink {
  public:
    // The current text of the port list: the selected entry, or empty when none is selected.
    virtual std::string PortListText() = 0;
    // Every RSCP bar back to its range -120..-70 and position -120.
    virtual void ResetBars() = 0;
    // Text of the up-time line.
    virtual void SetUpTimeText(std::string_view text) = 0;
    // The port went away and the session waits for the modem (`gone`), or monitoring has
    // started again on the modem that came back. Called on the session's owner's thread.
    virtual void PortStateChanged(bool /*gone*/) {}
    // The modem is back at `devicePath`: the port list is filled again with its entry selected,
    // before the session opens it.
    virtual void ShowReturnedPort(std::string_view /*devicePath*/) {}
    // The port `devicePath` was opened and the modem is being switched on (at the first open and
    // at each return); called by the session's owner's thread.
    virtual void ShowMonitoring(std::string_view /*devicePath*/) {}
};

}  // namespace norvane
