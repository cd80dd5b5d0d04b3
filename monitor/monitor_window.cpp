#include "monitor/monitor_window.h"

#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QThread>
#include <algorithm>
#include <utility>

#include "framework/framework.h"
#include "framework/message_box.h"
#include "monitor/window_picture.h"
#include "portlist/port_combo.h"

namespace norvane {
namespace {

QString SarText(SarLevel level) {
    switch (level) {
        case SarLevel::Low:
            return QStringLiteral("Level SAR Low");
        case SarLevel::Normal:
            return QStringLiteral("Level SAR Normal");
        case SarLevel::Medium:
            return QStringLiteral("Level SAR Medium");
        case SarLevel::High:
            return QStringLiteral("Level SAR High");
    }
    return {};
}

QString Number(int value) {
    return QString::number(value);
}

}  // namespace

const MessageMap& CComDlg::ClassMessageMap() {
    static const MessageMapEntry entries[] = {
        MapEntry(Notify::Clicked, IDOK, &CComDlg::OnBnClickedExit),
        // The bar is a plain progress bar: it sends no custom-draw notification, so this entry
        // never fires and painting never beeps.
        MapEntry(Notify::CustomDraw, IDC_BAR_FIRST, &CComDlg::OnNMCustomdrawFirstBar),
        MapEntry(Notify::Clicked, IDC_CAPTURE, &CComDlg::CaptureWindow),
        MapEntry(Notify::Clicked, IDC_OFF_RSCP, &CComDlg::OnBnClickedOffRscp),
        MapEntry(Notify::Clicked, IDC_ON_SARPA, &CComDlg::OnBnClickedOnSarPa),
        MapEntry(Notify::Clicked, IDC_ON_RSCP, &CComDlg::OnBnClickedOnRscp),
        MapEntry(Notify::Clicked, IDC_OFF_SARPA, &CComDlg::OnBnClickedOffSarPa),
        MapEntry(Notify::SelChange, IDC_PORT, &CComDlg::OnCbnSelchangePort),
    };
    static const MessageMap map{&CDialog::ClassMessageMap(), entries};
    return map;
}

CComDlg::CComDlg(QWidget* parent, PortSessions* sessions)
    : CDialog(DialogResource(IDD_NETMONITOR), parent),
      m_ownSessions(sessions != nullptr ? nullptr : std::make_unique<PortSessions>()),
      m_monitoring(sessions != nullptr ? *sessions : *m_ownSessions, *this, LogView::kMonitor) {
    // The first report after each showing asks the UI thread to show it.
    m_store.SetWake([this] { OnUiThread([this] { PaceReports(); }); });
    m_reportTimer.setSingleShot(true);
    connect(&m_reportTimer, &QTimer::timeout, this, [this] { ApplyLatestReports(); });
}

CComDlg::~CComDlg() {
    // Nothing reaches the window once it is gone; its session ends (no frames, threads joined,
    // port closed) on its worker, unless other windows keep it.
    m_ending = true;
    m_monitoring.Leave(false);
}

void CComDlg::DoDataExchange() {
    DDX_Control(IDC_PORT, m_portCombo);
    for (int i = 0; i < kCellRows; ++i) {
        DDX_Control(IDC_BAR_FIRST + i, m_rscpBars[static_cast<std::size_t>(i)]);
    }
    DDX_Control(IDC_SAR_LABEL, m_sarLabel);
    DDX_Control(IDC_PA_LABEL, m_paLabel);
}

bool CComDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    FitCountLabels();

    FillPortCombo(*m_portCombo);

    ResetBars();
    m_rscpBars[0].SetBarColor(kFirstBarGreen);

    m_sarLabel.SetBkColor(kLabelCyan);
    m_sarLabel.SetTextColor(kLabelYellow);
    setItemText(IDC_SAR_LABEL, QString::fromLatin1(kSarOffText));
    m_paLabel.SetBkColor(kLabelCyan);
    m_paLabel.SetTextColor(kLabelYellow);
    setItemText(IDC_PA_LABEL, QString::fromLatin1(kPaOffText));

    // A port that goes away and the modem's return are taken in by the session's worker.
    StartMonitoring();
    return true;  // focus on the first tab stop, "Exit"
}

void CComDlg::FitCountLabels() {
    // The template sized the count labels for the dialog font it names; Liberation Sans, which
    // stands in for it, is a little wider, and "WCDMA Cells : 8" would lose its digit; newer cell
    // lists count up to 63 cells. Each label grows to its longest text, never into the control to
    // its right.
    struct Fit {
        int id;
        const char* longest;
        int nextId;
    };
    static constexpr Fit kFits[] = {
        {IDC_WCDMA_CELLS, "WCDMA Cells : 63", IDC_GSM_CELLS},
        {IDC_GSM_CELLS, "GSM Cells : 255", IDC_UPTIME},
    };
    for (const Fit& fit : kFits) {
        QWidget* label = item(fit.id);
        const int needed = label->fontMetrics().horizontalAdvance(QString::fromLatin1(fit.longest));
        const int room = item(fit.nextId)->x() - label->x();
        if (needed > label->width()) {
            label->resize(std::min(needed + 1, room), label->height());
        }
    }
}

void CComDlg::done(int result) {
    m_ending = true;
    m_monitoring.Leave(false);
    CDialog::done(result);
}

// --- handlers ---

void CComDlg::OnBnClickedExit() {
    m_monitoring.Leave(true);  // the stop frames go out from the worker
    OnOK();
}

void CComDlg::OnNMCustomdrawFirstBar() {
    MessageBeep();
}

void CComDlg::CaptureWindow() {
    norvane::CaptureWindow(this);
}

void CComDlg::OnBnClickedOffRscp() {
    m_monitoring.SwitchCellsOff();
}

void CComDlg::OnBnClickedOnSarPa() {
    m_monitoring.SwitchSarPaOn();
}

void CComDlg::OnBnClickedOnRscp() {
    m_monitoring.SwitchCellsOn();
}

void CComDlg::OnBnClickedOffSarPa() {
    m_monitoring.SwitchSarPaOff();
}

void CComDlg::OnCbnSelchangePort() {
    m_store.ChooseRadioAgain();
    ResetBars();
    StartMonitoring();
}

// --- the monitoring control's view ---

std::string CComDlg::PortListText() {
    return PortComboEntry(*m_portCombo, m_portCombo->currentIndex());
}

void CComDlg::ResetBars() {
    for (CProgressCtrl& bar : m_rscpBars) {
        bar.SetRange32(kRscpBarMin, kRscpBarMax);
    }
    for (CProgressCtrl& bar : m_rscpBars) {
        bar.SetPos(kRscpBarMin);
    }
}

void CComDlg::SetUpTimeText(std::string_view text) {
    OnUiThread([this, copy = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))] {
        ApplyLatestReports();  // reports that came before the text are shown before it
        setItemText(IDC_UPTIME, copy);
    });
}

void CComDlg::ShowReturnedPort(std::string_view devicePath) {
    OnUiThread([this, device = std::string(devicePath)] {
        m_store.ChooseRadioAgain();
        // The list as discovery finds it now, with the returned modem's first entry selected. Code
        // changing the selection raises no CBN_SELCHANGE, so this starts nothing by itself.
        FillPortCombo(*m_portCombo);
        SelectPortDevice(*m_portCombo, device);
    });
}

void CComDlg::MessageBox(std::string_view text, std::string_view caption) {
    if (QThread::currentThread() == thread()) {
        ShowMessageBox(this, std::string(text), std::string(caption));
        return;
    }
    // From the receive thread: shown on the UI thread without holding the receive thread, which
    // may be joined at any moment.
    OnUiThread(
        [this, t = std::string(text), c = std::string(caption)] { ShowMessageBox(this, t, c); });
}

void CComDlg::ShowCellReport(const CellReport& report) {
    m_store.Take(report);
}

void CComDlg::ShowSarPaReport(const SarPaReport& report) {
    m_store.Take(report);
}

void CComDlg::PaceReports() {
    const qint64 left =
        m_sinceReport.isValid() ? kReportGapMs - m_sinceReport.elapsed() : qint64{0};
    if (left > 0) {
        if (!m_reportTimer.isActive()) {
            m_reportTimer.start(static_cast<int>(left));
        }
        return;
    }
    ApplyLatestReports();
}

void CComDlg::ApplyLatestReports() {
    const std::uint64_t shown = std::exchange(m_shownTaken, m_store.CopyTo(m_shown));
    if (m_ending || m_shownTaken == shown) {
        return;
    }
    m_sinceReport.start();
    if (m_shown.cellList.taken > shown) {
        ApplyCellReport(m_shown.cellList.report);
    }
    if (m_shown.sarPa.taken > shown) {
        ApplySarPaReport(m_shown.sarPa.report);
    }
}

void CComDlg::OnUiThread(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        if (!m_ending) {
            work();
        }
        return;
    }
    // Posted to this window: Qt drops the call if the window is destroyed first, and it does
    // nothing once the window has started to end.
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work)] {
            if (!m_ending) {
                work();
            }
        },
        Qt::QueuedConnection);
}

// --- presentation ---

void CComDlg::ApplyCellReport(const CellReport& report) {
    if (report.hasModemTime) {
        constexpr std::int64_t kDayMs = 24 * 3600 * 1000;
        const auto ms = static_cast<int>(report.modemTimeUnixMs % kDayMs);
        setItemText(IDC_UPTIME,
                    QString::asprintf("Modem time %02d:%02d:%02d.%03d UTC", ms / 3600000,
                                      ms / 60000 % 60, ms / 1000 % 60, ms % 1000));
    } else {
        setItemText(IDC_UPTIME,
                    QString::asprintf("Modem UpTime %02d:%02d:%02d:%03d", report.hours,
                                      report.minutes, report.seconds, report.milliseconds));
    }
    setItemText(IDC_WCDMA_CELLS, QString::asprintf("WCDMA Cells : %d", report.wcdmaCellCount));
    setItemText(IDC_GSM_CELLS, QString::asprintf("GSM Cells : %d", report.gsmCellCount));

    // The first eight cells in the packet's order; the count above is the packet's own.
    const int n = std::clamp(report.wcdmaCellCount, 0, kCellRows);
    const QString blank = QStringLiteral(" ");
    for (int r = kCellRows; r > n; --r) {
        const int k = r - 1;
        setItemText(IDC_FREQ_FIRST + k, blank);
        setItemText(IDC_PSC_FIRST + k, blank);
        setItemText(IDC_RSCP_FIRST + k, blank);
        setItemText(IDC_ECIO_FIRST + k, blank);
        if (r != 1) {  // the first bar always stays
            m_rscpBars[static_cast<std::size_t>(k)].bar()->hide();
        }
    }
    for (int r = n; r >= 1; --r) {
        const int k = r - 1;
        const CellEntry& cell = report.cells[static_cast<std::size_t>(k)];
        CProgressCtrl& bar = m_rscpBars[static_cast<std::size_t>(k)];
        if (r != 1) {
            bar.bar()->show();
        }
        setItemText(IDC_FREQ_FIRST + k, Number(cell.frequencyMhz));
        setItemText(IDC_PSC_FIRST + k, Number(cell.psc));
        setItemText(IDC_RSCP_FIRST + k, Number(cell.rscp));
        bar.SetPos(cell.rscpBarPos);  // clamped to -120..-70
        setItemText(IDC_ECIO_FIRST + k, QString::number(cell.ecIo, 'f', 1));
    }
    if (n == 0) {  // only GSM neighbours: the first bar stays, at the bottom
        m_rscpBars[0].SetPos(-120);
    }
}

void CComDlg::SetLabel(CReadOnlyEdit& label, int id, COLORREF background, const QString& text) {
    label.SetBkColor(background);
    label.SetTextColor(kLabelYellow);
    setItemText(id, text);
}

void CComDlg::ApplySarPaReport(const SarPaReport& report) {
    if (report.hasSarLevel) {
        const QString text = SarText(report.sarLevel);
        if (!text.isEmpty()) {
            SetLabel(m_sarLabel, IDC_SAR_LABEL,
                     report.sarLevel == SarLevel::High ? kLabelRed : kLabelCyan, text);
        }
    }
    if (report.paOverheated) {
        SetLabel(m_paLabel, IDC_PA_LABEL, kLabelRed,
                 QString::asprintf("%d PA Overhead", report.paValue));
    } else {
        SetLabel(m_paLabel, IDC_PA_LABEL, kLabelCyan,
                 QString::asprintf("%d PA Temperature OK", report.paValue));
    }
}

}  // namespace norvane
