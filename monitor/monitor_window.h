// The NetMonitor window: the port list, eight cell rows with their RSCP bars, the cell counts,
// the modem's up-time (or its time of day) and the SAR and PA status labels, built from template
// 131. Of a dual-SIM modem it shows the radio of the first report it gets, until the port
// changes.
//
// The window is a view of the session of its port (session/port_sessions.h), which it shares with
// the other windows watching the same port. The session runs on its own worker (all port I/O:
// open, probe, the start-up and stop exchanges, resume), so the UI thread never waits on the
// modem: the window reads its port list and resets its bars itself, and the worker calls
// SetUpTimeText, ShowReturnedPort and MessageBox, the receive thread ShowCellReport and
// ShowSarPaReport. Everything from another thread is copied and posted to the UI thread without
// waiting. Ending the window (Exit with its stop frames, Esc, close, destruction) leaves the
// session at once: nothing waits for the frames to go out, and no call reaches the window after.
//
// Reports reach the screen at its pace: the latest cell list and the latest SAR/PA report are
// kept (session/latest_reports.h, with the radio window's rules), and shown at most every
// kReportGapMs; the last report of a stream is always shown, at most kReportGapMs after it
// came. Once the window is ending, reports are dropped.
//
// The window is not modal: the start window stays usable beside it (its Radio button above all).
//
// Use:
//   auto* dlg = new norvane::CComDlg(startWindow, &sessions);  // sessions: the program's
//   dlg->setAttribute(Qt::WA_DeleteOnClose);
//   dlg->Create();
//   dlg->show();
#pragma once

#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "diag/log_decoder.h"
#include "framework/dialog.h"
#include "framework/progress_ctrl.h"
#include "res/resource.h"
#include "session/latest_reports.h"
#include "session/port_sessions.h"
#include "widgets/status_label.h"

namespace norvane {

// RSCP bars: one step per dBm between these limits.
inline constexpr int kRscpBarMin = -120;
inline constexpr int kRscpBarMax = -70;

// Colours of the status labels and of the first bar.
inline constexpr COLORREF kLabelCyan = RGB(0, 255, 255);
inline constexpr COLORREF kLabelRed = RGB(255, 0, 0);
inline constexpr COLORREF kLabelYellow = RGB(255, 255, 0);
inline constexpr COLORREF kFirstBarGreen = RGB(0, 255, 0);

// The shortest time between two updates of the cells and labels by reports: 20 a second.
inline constexpr int kReportGapMs = 50;

inline constexpr char kSarOffText[] = "Level SAR OFF";
inline constexpr char kPaOffText[] = "PA Temperature OFF ";

class CComDlg : public CDialog, public MonitorView {
    Q_OBJECT

  public:
    // `sessions`: the program's sessions, shared with its other windows; nullptr: sessions of
    // the window's own.
    explicit CComDlg(QWidget* parent = nullptr, PortSessions* sessions = nullptr);
    ~CComDlg() override;

    static const MessageMap& ClassMessageMap();

    // MonitorView.
    std::string PortListText() override;
    void ResetBars() override;
    void SetUpTimeText(std::string_view text) override;
    void ShowReturnedPort(std::string_view devicePath) override;
    void MessageBox(std::string_view text, std::string_view caption) override;
    void ShowCellReport(const CellReport& report) override;
    void ShowSarPaReport(const SarPaReport& report) override;

    SessionSeat& monitoring() { return m_monitoring; }
    // Monitoring on the port the list shows (the window's start and the user's choice of port).
    void StartMonitoring() { m_monitoring.SelectPort(PortListText()); }
    // False from the moment the window starts to end: reports are dropped from then on.
    bool AcceptsReports() const { return !m_ending; }

    // Ending the window by any path (Exit, Esc, close request, EndDialog) leaves its session.
    void done(int result) override;

  protected:
    const MessageMap& GetMessageMap() const override { return ClassMessageMap(); }
    void DoDataExchange() override;
    bool OnInitDialog() override;

  private:
    void OnBnClickedExit();
    void OnNMCustomdrawFirstBar();
    void CaptureWindow();
    void OnBnClickedOffRscp();
    void OnBnClickedOnSarPa();
    void OnBnClickedOnRscp();
    void OnBnClickedOffSarPa();
    void OnCbnSelchangePort();

    void FitCountLabels();
    // Runs `work` on the UI thread: at once when called there, else posted (never waiting).
    void OnUiThread(std::function<void()> work);
    // The latest reports to the screen: now, or when kReportGapMs have passed since the last.
    void PaceReports();
    void ApplyLatestReports();
    void ApplyCellReport(const CellReport& report);
    void ApplySarPaReport(const SarPaReport& report);
    void SetLabel(CReadOnlyEdit& label, int id, COLORREF background, const QString& text);

    CReadOnlyEdit m_sarLabel;
    CReadOnlyEdit m_paLabel;
    QComboBox* m_portCombo = nullptr;
    // The latest reports, kept for the UI thread by the receive thread; the copy being shown.
    LatestReports m_store;
    RadioReports m_shown;
    std::uint64_t m_shownTaken = 0;  // the store's count at the last copy
    QElapsedTimer m_sinceReport;     // since reports were last shown
    QTimer m_reportTimer;
    std::array<CProgressCtrl, kCellRows> m_rscpBars;
    bool m_ending = false;
    std::unique_ptr<PortSessions> m_ownSessions;  // without the program's
    // Last: destroyed first, so nothing reaches the window once its controls go.
    SessionSeat m_monitoring;
};

}  // namespace norvane
