// The NetMonitor window on its own and against a modem on a pty: initialisation, how it shows
// the reports that reach it from the receive thread, the buttons' bytes on the wire, the user's
// port choices, and every way the window ends.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "monitor/monitor_window.h"
#include "tests/support/window_support.h"

namespace norvane {
namespace {

using test::Bytes;
using test::RowBytes;

const QColor kCyan(0, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 255, 0);

QProgressBar* Bar(CDialog& dlg, int row) {  // row 1..8
    return qobject_cast<QProgressBar*>(dlg.item(IDC_BAR_FIRST + row - 1));
}
QComboBox* Combo(CDialog& dlg) {
    return qobject_cast<QComboBox*>(dlg.item(IDC_PORT));
}
QColor Background(CDialog& dlg, int id) {
    return dlg.item(id)->palette().color(QPalette::Window);
}
void Click(CDialog& dlg, int id) {
    QTest::mouseClick(qobject_cast<QPushButton*>(dlg.item(id)), Qt::LeftButton);
}

// Only the given entries in the port list, the first selected, then monitoring restarted on it.
void UsePorts(CComDlg& dlg, const QStringList& entries) {
    Combo(dlg)->clear();
    Combo(dlg)->addItems(entries);
    Combo(dlg)->setCurrentIndex(0);
    dlg.monitoring().Start();
}

// n cells; cell k: 2100+k MHz, PSC 100+k, RSCP and bar -80-k, Ec/Io -5-k.
CellReport Report(int n, int gsm = 2) {
    CellReport r{1, 2, 3, 4, 0, n, gsm, 0, {}, {}};
    for (int k = 0; k < n; ++k) {
        r.cells[static_cast<std::size_t>(k)] = {0, 2100 + k, 100 + k, -80 - k, -80 - k, -5 - k};
    }
    return r;
}
SarPaReport SarPa(bool hasSar, SarLevel level, int pa) {
    return {hasSar, level, static_cast<std::uint8_t>(pa), pa <= 80};
}

// Handed over from another thread, as the receive loop does, then run on the UI thread.
void Deliver(CComDlg& dlg, const CellReport& r) {
    test::FromReceiveThread([&] { dlg.ShowCellReport(r); });
    test::RunPosted();
}
void Deliver(CComDlg& dlg, const SarPaReport& r) {
    test::FromReceiveThread([&] { dlg.ShowSarPaReport(r); });
    test::RunPosted();
}

// The window with no port preselected (no simulator in the runtime directory).
class MonitorWindow : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.isValid());
        dlg = std::make_unique<CComDlg>();
        dlg->Create();
        ui.calls.clear();
    }

    QTemporaryDir runtime;
    test::RuntimeDir env{runtime.path().toStdString()};
    test::UiRecorder ui;
    std::unique_ptr<CComDlg> dlg;
};

TEST_F(MonitorWindow, WithoutAPortItSaysSoOverReadyBarsAndLabels) {
    dlg = std::make_unique<CComDlg>();
    dlg->Create();
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text, "          No Mobile Port !          ");
    EXPECT_EQ(ui.calls[0].caption, "Error");
    EXPECT_EQ(dlg->focusWidget(), dlg->item(IDOK));
    EXPECT_EQ(Bar(*dlg, 8)->value(), kRscpBarMin);
    EXPECT_EQ(Bar(*dlg, 1)->palette().color(QPalette::Highlight), kGreen);
    for (int id : {IDC_SAR_LABEL, IDC_PA_LABEL}) {
        EXPECT_EQ(Background(*dlg, id), kCyan);
        EXPECT_EQ(dlg->item(id)->palette().color(QPalette::WindowText), kYellow);
    }
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR OFF");
    EXPECT_EQ(dlg->itemText(IDC_PA_LABEL), "PA Temperature OFF ");
    EXPECT_TRUE(dlg->Dispatch(Notify::CustomDraw, IDC_BAR_FIRST));  // the first bar's entry
    EXPECT_EQ(ui.beeps, 1);
}

// Rows beyond the count blanked and their bars hidden; more than eight cells show the first
// eight under the packet's count; a list of only GSM neighbours leaves the first bar at the bottom.
TEST_F(MonitorWindow, CellRowsFilledAndTheRestBlankedWithTheirBarsHidden) {
    for (int n : {8, 1, 12, 3, 0, 8}) {
        SCOPED_TRACE(n);
        Deliver(*dlg, Report(n, n + 1));
        for (int k = 0; k < 8; ++k) {
            const bool shown = k < n;
            auto text = [&](int value) { return shown ? QString::number(value) : " "; };
            EXPECT_EQ(dlg->itemText(IDC_FREQ_FIRST + k), text(2100 + k)) << k;
            EXPECT_EQ(dlg->itemText(IDC_PSC_FIRST + k), text(100 + k)) << k;
            EXPECT_EQ(dlg->itemText(IDC_RSCP_FIRST + k), text(-80 - k)) << k;
            EXPECT_EQ(dlg->itemText(IDC_ECIO_FIRST + k), text(-5 - k)) << k;
            // The first bar is never hidden; a hidden bar keeps its last position.
            EXPECT_EQ(Bar(*dlg, k + 1)->isHidden(), k > 0 && !shown) << k;
            EXPECT_EQ(Bar(*dlg, k + 1)->value(), n == 0 && k == 0 ? kRscpBarMin : -80 - k) << k;
        }
        EXPECT_EQ(dlg->itemText(IDC_WCDMA_CELLS), QString("WCDMA Cells : %1").arg(n));
        EXPECT_EQ(dlg->itemText(IDC_GSM_CELLS), QString("GSM Cells : %1").arg(n + 1));
    }
    Deliver(*dlg, CellReport{100, 0, 0, 0, 0, 1, 0, 0, {}, {}});
    EXPECT_EQ(dlg->itemText(IDC_UPTIME), "Modem UpTime 100:00:00:000");
}

TEST_F(MonitorWindow, BarsClampedToTheRangeWhileTextsShowTheValue) {
    const struct {
        int pos, bar;
    } cases[] = {{-96, -96}, {-125, -120}, {-60, -70}, {-70, -70}, {-120, -120}, {-500, -120}};
    for (const auto& c : cases) {
        CellReport r = Report(1);
        r.cells[0].rscp = r.cells[0].rscpBarPos = c.pos;
        Deliver(*dlg, r);
        EXPECT_EQ(Bar(*dlg, 1)->value(), c.bar) << c.pos;
        EXPECT_EQ(dlg->itemText(IDC_RSCP_FIRST), QString::number(c.pos));
    }
}

TEST_F(MonitorWindow, SarAndPaLabelsTextsAndColours) {
    const struct {
        SarPaReport report;
        const char* sar;
        QColor sarBack;
        const char* pa;
        QColor paBack;
    } cases[] = {
        {SarPa(false, SarLevel::High, 90), "Level SAR OFF", kCyan, "90 PA Temperature OK", kCyan},
        {SarPa(true, SarLevel::High, 80), "Level SAR High", kRed, "80 PA Overhead", kRed},
        {SarPa(true, SarLevel::Low, 81), "Level SAR Low", kCyan, "81 PA Temperature OK", kCyan},
        {SarPa(true, SarLevel::Normal, 0), "Level SAR Normal", kCyan, "0 PA Overhead", kRed},
        {SarPa(true, SarLevel::Medium, 255), "Level SAR Medium", kCyan, "255 PA Temperature OK",
         kCyan},
        // No level in the report: the SAR label keeps what it showed.
        {SarPa(false, SarLevel::Low, 100), "Level SAR Medium", kCyan, "100 PA Temperature OK",
         kCyan},
    };
    for (const auto& c : cases) {
        Deliver(*dlg, c.report);
        EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), c.sar);
        EXPECT_EQ(Background(*dlg, IDC_SAR_LABEL), c.sarBack) << c.sar;
        EXPECT_EQ(dlg->itemText(IDC_PA_LABEL), c.pa);
        EXPECT_EQ(Background(*dlg, IDC_PA_LABEL), c.paBack) << c.pa;
    }
    Deliver(*dlg, SarPa(true, SarLevel::High, 100));
    const QImage shot = dlg->item(IDC_SAR_LABEL)->grab().toImage();
    EXPECT_EQ(shot.pixelColor(3, shot.height() / 2), kRed);  // what the screen shows
}

TEST_F(MonitorWindow, ReportsArrivingAsOrAfterTheWindowEndsAreDropped) {
    Deliver(*dlg, Report(2));
    test::FromReceiveThread([&] {  // posted while open, run after the end
        dlg->ShowCellReport(Report(8, 9));
        dlg->ShowSarPaReport(SarPa(true, SarLevel::High, 10));
        dlg->MessageBox("late", "Error");
    });
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    test::RunPosted();
    Deliver(*dlg, Report(8, 9));
    EXPECT_EQ(dlg->itemText(IDC_GSM_CELLS), "GSM Cells : 2");
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR OFF");
    EXPECT_TRUE(ui.calls.empty());
    test::FromReceiveThread([&] { dlg->ShowCellReport(Report(8)); });
    dlg.reset();
    test::RunPosted();  // posted to a destroyed window: nothing runs (ASan would see it)
}

// --- against a modem on a pty ---

const Bytes kStart = test::Concat({test::StoredBytes(DiagProbeFrame), RowBytes("ON Cell RSSI")});

class MonitorWindowOnModem : public MonitorWindow {
  protected:
    void Start() {
        modem.Clear();
        UsePorts(*dlg, {QString::fromStdString(modem.Entry())});
        ASSERT_EQ(modem.WaitFor(kStart.size()), kStart);
        modem.Clear();
    }
    test::PtyModem modem;
};

TEST_F(MonitorWindowOnModem, ButtonsWriteTheirRows) {
    Start();
    const struct {
        int id;
        Bytes expected;
    } cases[] = {
        {IDC_ON_SARPA, test::Concat({RowBytes("ON_AGC"), RowBytes("ON_AGC1"), RowBytes("ON_AGC2"),
                                     RowBytes("ON_AGC3")})},
        {IDC_OFF_SARPA, RowBytes("OFF_AGC")},
        {IDC_ON_RSCP, RowBytes("ON Cell RSSI")},
        {IDC_OFF_RSCP, RowBytes("OFF Cell RSSI")},
        {IDC_CAPTURE, {}},
    };
    QTemporaryDir dir;
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    for (const auto& c : cases) {
        modem.Clear();
        Click(*dlg, c.id);
        EXPECT_EQ(c.expected.empty() ? modem.Quiet() : modem.WaitFor(c.expected.size()), c.expected)
            << "button " << c.id;
    }
    QDir::setCurrent(cwd);
    EXPECT_EQ(dlg->itemText(IDC_UPTIME), "RSCP Off");
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text, "Store to: NetMonitor.JPG");
    EXPECT_TRUE(QFile::exists(dir.filePath("NetMonitor.JPG")));
}

TEST_F(MonitorWindowOnModem, EveryChoiceOfTheUserReopensThePort) {
    test::PtyModem second;
    UsePorts(*dlg, {QString::fromStdString(modem.Entry()), QString::fromStdString(second.Entry())});
    modem.WaitFor(kStart.size());
    modem.Clear();
    QComboBox* combo = Combo(*dlg);
    combo->setCurrentIndex(1);  // a selection made in code is not the user's
    combo->setCurrentIndex(0);
    EXPECT_TRUE(modem.Quiet().empty());
    EXPECT_TRUE(second.Received().empty());

    Bar(*dlg, 3)->setValue(-90);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(second.WaitFor(kStart.size()), kStart);
    EXPECT_EQ(Bar(*dlg, 3)->value(), kRscpBarMin);  // bars reset on every change
    QTest::keyClick(combo, Qt::Key_Up);
    EXPECT_EQ(modem.WaitFor(kStart.size()), kStart);
    modem.Clear();
    combo->showPopup();  // the selected entry picked again from the opened list
    combo->view()->setCurrentIndex(combo->view()->model()->index(0, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    EXPECT_EQ(modem.WaitFor(kStart.size()), kStart);
}

// Exit (click or Enter) writes the stop rows and a flag; Esc and destruction write nothing.
// Every path joins the receive thread.
TEST_F(MonitorWindowOnModem, EveryEndJoinsTheThreadAndWritesTheRightBytes) {
    const Bytes stop = test::Concat({RowBytes("OFF_AGC"), RowBytes("OFF Cell RSSI"), Bytes{0x7E}});
    const struct {
        const char* name;
        std::function<void(CComDlg&)> end;
        Bytes expected;
    } cases[] = {
        {"Exit", [](CComDlg& d) { Click(d, IDOK); }, stop},
        {"Enter",
         [](CComDlg& d) {
             d.show();
             d.activateWindow();
             QTest::keyClick(d.item(IDOK), Qt::Key_Return);
         },
         stop},
        {"Esc", [](CComDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }, {}},
        {"close",
         [](CComDlg& d) {
             d.show();
             d.close();
         },
         {}},
        {"destruction", [this](CComDlg&) { dlg.reset(); }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!dlg) {
            dlg = std::make_unique<CComDlg>();
            dlg->Create();
        }
        Start();
        const int threads = test::ThreadCount();
        c.end(*dlg);
        EXPECT_EQ(test::ThreadCount(), threads - 1);
        EXPECT_EQ(c.expected.empty() ? modem.Quiet() : modem.WaitFor(c.expected.size()),
                  c.expected);
        if (dlg) {
            EXPECT_FALSE(dlg->AcceptsReports());
        }
        dlg.reset();
    }
}

}  // namespace
}  // namespace norvane
