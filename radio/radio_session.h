// The radio window's modem side: a view of the session of the port the window chooses, shared
// with the other windows watching that port (session/port_sessions.h), whose worker does all the
// port's work, so nothing waits on the port on the UI thread. It asks for the logs the window
// shows (the WCDMA cell list and serving cell identity, the LTE serving cell, idle and connected
// measurements) through their equipment ids' masks, and none of the NetMonitor's fixed frames.
// Reports go to the window from the receive thread; messages and the port's state become the
// window's status line ("Opening PORT", "Monitoring PORT", the wait for a lost modem, or the
// error), so nothing ever waits for the user.
//
// Use:
//   auto session = std::make_unique<RadioSession>(&sessions);  // sessions: the program's
//   auto* window = new RadioWindow(session.get());  // attaches itself, may select a port at once
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "position/gps_client.h"
#include "radio/radio_window.h"
#include "session/port_sessions.h"

namespace norvane {

class RadioSession final : public RadioReportSource, private MonitorView {
  public:
    // `sessions`: the program's sessions; nullptr: sessions of its own.
    explicit RadioSession(PortSessions* sessions = nullptr);
    ~RadioSession() override;

    // Reports and texts go to `window` from now on (nullptr: nowhere).
    void ShowIn(RadioWindow* window) override { window_.store(window); }

    void SelectPort(std::string_view portEntry) override;
    // Switches off what no other window needs of the window's logs and leaves the session, at
    // once: nothing reaches the window after it returns.
    void Stop() override;

    bool PortOpen() const { return seat_.PortOpen(); }
    // How many windows watch the port of this one (itself included).
    std::size_t Watchers() const { return seat_.Watchers(); }

    // Every frame of the ports this window opens and the positions the window takes (at most
    // one a second, and the loss of the fix: position/gps_follower.h) go to `recorder` from the
    // next port on; nullptr records nothing. It must outlive the session.
    void SetRecorder(FrameRecorder* recorder);
    void TakePosition(const Position& position) override;

  private:
    std::string PortListText() override { return {}; }
    void ResetBars() override {}
    void SetUpTimeText(std::string_view text) override { Status(text); }
    void MessageBox(std::string_view text, std::string_view caption) override;
    void ShowMonitoring(std::string_view device) override;
    void ShowCellReport(const CellReport&) override {}
    void ShowSarPaReport(const SarPaReport&) override {}
    void ShowLogFrame(const DecodedLogFrame& frame) override;
    void Status(std::string_view text);

    std::atomic<RadioWindow*> window_{nullptr};
    bool recording_ = false;  // owner's thread only
    std::unique_ptr<PortSessions> ownSessions_;
    SessionSeat seat_;  // last: leaves first
};

}  // namespace norvane
