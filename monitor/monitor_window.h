// The NetMonitor window: the port list, eight cell rows with their RSCP bars, the cell counts,
// the modem's up-time (or its time of day) and the SAR and PA status labels, built from template
// 131. Of a dual-SIM modem it shows the radio of the first report it gets, until the port
// changes.
//
// The window is the monitoring control's view. The control runs on its own worker (all port I/O:
// open, probe, the start-up and stop exchanges, resume), so the UI thread never waits on the
// modem; it reads the port list and resets the bars on the UI thread, and calls SetUpTimeText,
// ShowReturnedPort and MessageBox on the worker. The receive thread calls ShowCellReport and
// ShowSarPaReport. Everything from another thread is copied and posted to the UI thread without
// waiting, so neither thread ever blocks on the window and both can always be joined.
//
// Reports reach the screen at its pace: the latest cell list and the latest SAR/PA report are
// kept, and shown at most every kReportGapMs; the last report of a stream is always shown, at
// most kReportGapMs after it came. Once the window is ending, reports are dropped; whatever ends
// the window (Exit, Esc, close, destruction) joins the receive thread and closes the port before
// the window goes away.
//
// Use:
//   norvane::CComDlg dlg;   // no parent: DoModal runs it over the main window
//   dlg.DoModal();
#pragma once

#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "diag/log_decoder.h"
#include "framework/dialog.h"
#include "framework/progress_ctrl.h"
#include "res/resource.h"
#include "session/session_worker.h"
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
    explicit CComDlg(QWidget* parent = nullptr);
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

    SessionWorker& monitoring() { return m_monitoring; }
    // False from the moment the window starts to end: reports are dropped from then on.
    bool AcceptsReports() const { return !m_ending; }

    // Ending the modal run by any path (Exit, Esc, close request, EndDialog) stops monitoring
    // first.
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
    // Whether a report of radio `sim` (0: not wrapped) is shown; the first one chooses.
    bool ShowsSim(std::uint32_t sim);
    void SetLabel(CReadOnlyEdit& label, int id, COLORREF background, const QString& text);

    CReadOnlyEdit m_sarLabel;
    CReadOnlyEdit m_paLabel;
    QComboBox* m_portCombo = nullptr;
    // The latest reports not yet shown, kept for the UI thread by the receive thread.
    std::mutex m_latestMutex;
    std::optional<CellReport> m_latestCells;
    std::optional<SarPaReport> m_latestSarPa;
    bool m_latestPosted = false;  // a PaceReports is on its way to the UI thread
    QElapsedTimer m_sinceReport;  // since reports were last shown
    QTimer m_reportTimer;
    std::array<CProgressCtrl, kCellRows> m_rscpBars;
    bool m_ending = false;
    std::uint32_t m_shownSim = 0;  // the radio shown; 0 until the first report
    // Last: destroyed first, so the receive thread has ended before any control goes.
    SessionWorker m_monitoring{*this};
};

}  // namespace norvane
