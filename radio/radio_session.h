// The radio window's modem side: a monitoring session of its own, on the port the window
// chooses, run on a SessionWorker so that nothing waits on the port on the UI thread. It
// switches on the logs the window shows (the WCDMA cell list and serving cell identity, the LTE
// serving cell, idle and connected measurements) through their equipment ids' masks and none
// of the NetMonitor's fixed frames. Reports go to the window from the receive thread; messages
// and the port's state become the window's status line, so nothing ever waits for the user.
//
// Use:
//   auto session = std::make_unique<RadioSession>();
//   auto* window = new RadioWindow(session.get());  // may select a port at once
//   session->ShowIn(window);
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "position/gps_client.h"
#include "radio/radio_window.h"
#include "session/session_worker.h"

namespace norvane {

class RadioSession final : public RadioReportSource, private MonitorView {
  public:
    RadioSession();
    ~RadioSession() override;

    // Reports and texts go to `window` from now on (nullptr: nowhere).
    void ShowIn(RadioWindow* window) { window_.store(window); }

    void SelectPort(std::string_view portEntry) override;
    // Switches the window's logs off, ends the session and returns when it has ended.
    void Stop() override;

    bool PortOpen() const { return worker_.PortOpen(); }

    // Every frame of the window's ports and the positions gpsd gives (at most one a second, and
    // the loss of the fix) go to `recorder` from the next port on; nullptr records nothing. It
    // must outlive the session.
    void SetRecorder(FrameRecorder* recorder);
    void TakePosition(const Position& position) override;

  private:
    std::string PortListText() override { return entry_; }
    void ResetBars() override {}
    void SetUpTimeText(std::string_view text) override { Status(text); }
    void MessageBox(std::string_view text, std::string_view caption) override;
    void PortStateChanged(bool gone) override;
    void ShowCellReport(const CellReport&) override {}
    void ShowSarPaReport(const SarPaReport&) override {}
    void ShowLogFrame(const DecodedLogFrame& frame) override;
    void Status(std::string_view text);

    std::atomic<RadioWindow*> window_{nullptr};
    std::string entry_;       // owner's thread only
    bool recording_ = false;  // owner's thread only
    PositionPace pace_;       // owner's thread only
    SessionWorker worker_;
};

}  // namespace norvane
