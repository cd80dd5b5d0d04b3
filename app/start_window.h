// The start window: the picture, the homepage link, "NetMonitor", "Radio" and "Quit" (dialog
// 102). The NetMonitor and the radio window open beside it, one of each at a time, and share
// the session of a port they both watch (the program's PortSessions, kept here).
#pragma once

#include <QIcon>
#include <QPointer>
#include <chrono>
#include <memory>

#include "app/demo_link.h"
#include "framework/dialog.h"
#include "session/port_sessions.h"

namespace norvane {

class CComDlg;
class FrameRecorder;
class RadioSession;
class RadioWindow;

class CTessalyDlg : public CDialog {
  public:
    explicit CTessalyDlg(QWidget* parent = nullptr);
    ~CTessalyDlg() override;

    static const MessageMap& ClassMessageMap();

    const QIcon& icon() const { return m_icon; }
    const CDemoLink& homepageLink() const { return m_homepageLink; }
    // Every monitor opened from here records into `recorder`, the radio window into `radio`
    // (nullptr: none). Both must outlive this window.
    void SetRecorders(FrameRecorder* recorder, FrameRecorder* radio) {
        m_recorder = recorder;
        m_radioRecorder = radio;
    }
    PortSessions& sessions() { return m_sessions; }
    CComDlg* monitorWindow() const;
    RadioWindow* radioWindow() const;
    // Closes the NetMonitor and the radio window (as their close boxes do), then waits up to
    // `limit` for their sessions to end; the number of sessions left running.
    int CloseViews(std::chrono::milliseconds limit);

  protected:
    const MessageMap& GetMessageMap() const override { return ClassMessageMap(); }
    bool OnInitDialog() override;

  private:
    void PlaceBeside(QWidget& window) const;
    void OnPictureClicked();
    void OnQuit();
    void OnNetMonitor();
    void OnRadio();

    QIcon m_icon;
    CDemoLink m_homepageLink;
    FrameRecorder* m_recorder = nullptr;
    FrameRecorder* m_radioRecorder = nullptr;
    PortSessions m_sessions;                       // before the windows that use them
    QPointer<CComDlg> m_monitor;                   // one at a time, beside this window
    QPointer<RadioWindow> m_radio;                 // one at a time, beside this window
    std::unique_ptr<RadioSession> m_radioSession;  // the modem side of m_radio
};

}  // namespace norvane
