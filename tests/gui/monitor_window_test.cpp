// The NetMonitor window on its own and against a modem on a pty: initialisation, how it shows
// the reports that reach it from the receive thread, the buttons' bytes on the wire, the user's
// port choices, and every way the window ends.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <thread>

#include "monitor/monitor_window.h"
#include "tests/support/frames.h"
#include "tests/support/window_support.h"

namespace norvane {
namespace {

using test::Bytes;
using test::RowBytes;

const QColor kCyan(0, 255, 255), kRed(255, 0, 0), kYellow(255, 255, 0), kGreen(0, 255, 0);

// A version 0 list of n ranked cells as decoded; cell k: 2112+k MHz, PSC 100+k, RSCP -80-k,
// Ec/Io -5-k/2.
CellReport Report(int n, int gsm = 2, std::int64_t stamp = 0) {
    std::vector<WcdmaCellRecord> cells;
    for (int k = 0; k < n; ++k) {
        cells.push_back(test::RankedCell(10562 + 5 * k, 100 + k, 196 - k, 246 - k));
    }
    return DecodeLogFrame(test::CellListV0(stamp, cells, gsm)).cells;
}
SarPaReport SarPa(bool hasSar, SarLevel level, int pa) {
    return {hasSar, level, static_cast<std::uint8_t>(pa), pa <= 80, 0};
}

// The window with no port preselected (no simulator in the runtime directory).
class MonitorWindow : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.isValid());
        dlg = std::make_unique<CComDlg>();
        dlg->Create();
    }

    QProgressBar* Bar(int k) { return qobject_cast<QProgressBar*>(dlg->item(IDC_BAR_FIRST + k)); }
    QComboBox* Combo() { return qobject_cast<QComboBox*>(dlg->item(IDC_PORT)); }
    QColor Background(int id) { return dlg->item(id)->palette().color(QPalette::Window); }
    void Click(int id) { QTest::mouseClick(dlg->item(id), Qt::LeftButton); }
    // Handed over from another thread, as the receive loop does, then run on the UI thread.
    void Deliver(const CellReport& r) { Posted(std::bind(&CComDlg::ShowCellReport, dlg.get(), r)); }
    void Deliver(const SarPaReport& r) {
        Posted(std::bind(&CComDlg::ShowSarPaReport, dlg.get(), r));
    }
    // Each a little after the last, as the window shows at most one report every kReportGapMs.
    static void Posted(const std::function<void()>& call) {
        QTest::qWait(kReportGapMs);
        test::FromReceiveThread(call);
        test::RunPosted();
    }
    // Only the given entries in the port list, the first selected, then monitoring restarted.
    void UsePorts(const QStringList& entries) {
        Combo()->clear();
        Combo()->addItems(entries);
        Combo()->setCurrentIndex(0);
        dlg->StartMonitoring();
    }

    QTemporaryDir runtime;
    test::RuntimeDir env{runtime.path().toStdString()};
    test::UiRecorder ui;
    std::unique_ptr<CComDlg> dlg;
};

TEST_F(MonitorWindow, WithoutAPortItSaysSoOverReadyBarsAndLabels) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.calls.empty(); }));  // from the worker
    QTest::qWait(50);
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text, "          No Mobile Port !          ");
    EXPECT_EQ(ui.calls[0].caption, "Error");
    EXPECT_EQ(dlg->focusWidget(), dlg->item(IDOK));
    EXPECT_EQ(Bar(7)->value(), kRscpBarMin);
    EXPECT_EQ(Bar(0)->palette().color(QPalette::Highlight), kGreen);
    for (int id : {IDC_SAR_LABEL, IDC_PA_LABEL}) {
        EXPECT_EQ(Background(id), kCyan);
        EXPECT_EQ(dlg->item(id)->palette().color(QPalette::WindowText), kYellow);
    }
    EXPECT_EQ(dlg->itemText(IDC_PA_LABEL), "PA Temperature OFF ");
    EXPECT_TRUE(dlg->Dispatch(Notify::CustomDraw, IDC_BAR_FIRST));  // the first bar's entry
    EXPECT_EQ(ui.beeps, 1);
}

// Rows beyond the count blanked and their bars hidden; more than eight cells show the first
// eight under the packet's count; a list of only GSM neighbours leaves the first bar at the bottom.
// Ec/Io in half dB; the bars at the RSCP whatever the ranks.
TEST_F(MonitorWindow, CellRowsFilledAndTheRestBlankedWithTheirBarsHidden) {
    for (int n : {8, 1, 10, 3, 0, 8}) {
        SCOPED_TRACE(n);
        Deliver(Report(n, n + 1));
        for (int k = 0; k < 8; ++k) {
            const bool shown = k < n;
            auto text = [&](int value) { return shown ? QString::number(value) : " "; };
            EXPECT_EQ(dlg->itemText(IDC_FREQ_FIRST + k), text(2112 + k)) << k;
            EXPECT_EQ(dlg->itemText(IDC_PSC_FIRST + k), text(100 + k)) << k;
            EXPECT_EQ(dlg->itemText(IDC_RSCP_FIRST + k), text(-80 - k)) << k;
            EXPECT_EQ(dlg->itemText(IDC_ECIO_FIRST + k),
                      shown ? QString::number((-10 - k) / 2.0, 'f', 1) : " ")
                << k;
            // The first bar is never hidden; a hidden bar keeps its last position.
            EXPECT_EQ(Bar(k)->isHidden(), k > 0 && !shown) << k;
            EXPECT_EQ(Bar(k)->value(), n == 0 && k == 0 ? kRscpBarMin : -80 - k) << k;
        }
        EXPECT_EQ(dlg->itemText(IDC_WCDMA_CELLS), QString("WCDMA Cells : %1").arg(n));
        EXPECT_EQ(dlg->itemText(IDC_GSM_CELLS), QString("GSM Cells : %1").arg(n + 1));
    }
    Deliver(Report(1, 0, 52400LL * 100 * 3600000));
    EXPECT_EQ(dlg->itemText(IDC_UPTIME), "Modem UpTime 100:00:00:000");
    Deliver(Report(1, 0, 0xD15AFDB4F20000));  // stamped with the time of day
    EXPECT_EQ(dlg->itemText(IDC_UPTIME), "Modem time 21:27:06.542 UTC");
}

// Of a dual-SIM modem, the radio of the first report is shown until the port changes.
TEST_F(MonitorWindow, OneRadioOfADualSimModem) {
    CellReport first = Report(3), second = Report(5);
    SarPaReport sarPa = SarPa(true, SarLevel::High, 90);
    first.sim = 2;
    second.sim = sarPa.sim = 1;
    Deliver(first);
    Deliver(second);
    EXPECT_EQ(dlg->itemText(IDC_WCDMA_CELLS), "WCDMA Cells : 3");
    Deliver(sarPa);
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR OFF");
    dlg->ShowReturnedPort("/dev/ttyUSB9");
    Deliver(sarPa);
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR High");
}

TEST_F(MonitorWindow, BarsClampedToTheRangeWhileTextsShowTheValue) {
    for (const auto& [pos, bar] :
         {std::pair{-96, -96}, {-125, -120}, {-60, -70}, {-70, -70}, {-120, -120}, {-500, -120}}) {
        CellReport r = Report(1);
        r.cells[0].rscp = r.cells[0].rscpBarPos = pos;
        Deliver(r);
        EXPECT_EQ(Bar(0)->value(), bar) << pos;
        EXPECT_EQ(dlg->itemText(IDC_RSCP_FIRST), QString::number(pos));
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
        Deliver(c.report);
        EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), c.sar);
        EXPECT_EQ(Background(IDC_SAR_LABEL), c.sarBack) << c.sar;
        EXPECT_EQ(dlg->itemText(IDC_PA_LABEL), c.pa);
        EXPECT_EQ(Background(IDC_PA_LABEL), c.paBack) << c.pa;
    }
    Deliver(SarPa(true, SarLevel::High, 100));
    const QImage shot = dlg->item(IDC_SAR_LABEL)->grab().toImage();
    EXPECT_EQ(shot.pixelColor(3, shot.height() / 2), kRed);  // what the screen shows
}

TEST_F(MonitorWindow, ReportsArrivingAsOrAfterTheWindowEndsAreDropped) {
    Deliver(Report(2));
    ui.calls.clear();
    test::FromReceiveThread([&] {  // posted while open, run after the end
        dlg->ShowCellReport(Report(8, 9));
        dlg->ShowSarPaReport(SarPa(true, SarLevel::High, 10));
        dlg->MessageBox("late", "Error");
    });
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    test::RunPosted();
    Deliver(Report(8, 9));
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
        UsePorts({QString::fromStdString(modem.Entry())});
        ASSERT_EQ(modem.WaitFor(kStart.size()), kStart);
        modem.Clear();
    }
    test::PtyModem modem;
};

// Each button reaches its own command (the commands' rows are the session's, tested with it).
TEST_F(MonitorWindowOnModem, ButtonsWriteTheirRows) {
    Start();
    for (int id : {IDC_ON_SARPA, IDC_OFF_SARPA, IDC_OFF_RSCP, IDC_ON_RSCP}) {
        Click(id);
    }
    const Bytes expected = test::Concat(
        {RowBytes("ON_AGC"), RowBytes("ON_AGC1"), RowBytes("ON_AGC2"), RowBytes("ON_AGC3"),
         RowBytes("OFF_AGC"), RowBytes("OFF Cell RSSI"), RowBytes("ON Cell RSSI")});
    EXPECT_EQ(modem.WaitFor(expected.size()), expected);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg->itemText(IDC_UPTIME) == "RSCP Off"; }));
}

// Lists far faster than the screen: a click is answered while they come, and once they stop
// the window shows the last one.
TEST_F(MonitorWindowOnModem, AClickIsAnsweredDuringAFastStreamAndItsLastListIsShown) {
    Start();
    const WcdmaCellRecord cells[] = {test::Cell()};
    Bytes stream;
    for (int n = 0; n < 20000; ++n) {
        test::AppendFrame(stream, test::CellListV0(n, cells, static_cast<std::uint8_t>(n)));
    }
    std::thread modemSends([&] { modem.Send(stream); });
    Click(IDC_ON_RSCP);
    EXPECT_TRUE(QTest::qWaitFor([&] { return modem.Received() == RowBytes("ON Cell RSSI"); }));
    modemSends.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg->itemText(IDC_GSM_CELLS) == "GSM Cells : 31"; }))
        << dlg->itemText(IDC_GSM_CELLS).toStdString();  // 19999 mod 256
}

TEST_F(MonitorWindowOnModem, EveryChoiceOfTheUserReopensThePort) {
    test::PtyModem second;
    UsePorts({QString::fromStdString(modem.Entry()), QString::fromStdString(second.Entry())});
    modem.WaitFor(kStart.size());
    modem.Clear();
    QComboBox* combo = Combo();
    combo->setCurrentIndex(1);  // a selection made in code is not the user's
    combo->setCurrentIndex(0);
    EXPECT_TRUE(modem.Quiet().empty());
    EXPECT_TRUE(second.Received().empty());

    Bar(2)->setValue(-90);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(second.WaitFor(kStart.size()), kStart);
    EXPECT_EQ(Bar(2)->value(), kRscpBarMin);  // bars reset on every change
    QTest::keyClick(combo, Qt::Key_Up);
    EXPECT_EQ(modem.WaitFor(kStart.size()), kStart);
    modem.Clear();
    combo->showPopup();  // the selected entry picked again from the opened list
    combo->view()->setCurrentIndex(combo->view()->model()->index(0, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    EXPECT_EQ(modem.WaitFor(kStart.size()), kStart);
}

// Exit writes the stop rows and a flag; Esc and destruction write nothing. Every path returns at
// once and the receive thread and the worker end after it.
TEST_F(MonitorWindowOnModem, EveryEndJoinsTheThreadAndWritesTheRightBytes) {
    const Bytes stop = test::Concat({RowBytes("OFF_AGC"), RowBytes("OFF Cell RSSI"), Bytes{0x7E}});
    const struct {
        const char* name;
        std::function<void(CComDlg&)> end;
        Bytes expected;
    } cases[] = {
        {"Exit", [this](CComDlg&) { Click(IDOK); }, stop},
        {"Esc", [](CComDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }, {}},
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
        const auto ending = std::chrono::steady_clock::now();
        c.end(*dlg);
        EXPECT_LT(std::chrono::steady_clock::now() - ending, std::chrono::milliseconds(50));
        EXPECT_TRUE(test::Eventually([&] { return test::ThreadCount() == threads - 2; }))
            << "the receive thread and the worker";
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
