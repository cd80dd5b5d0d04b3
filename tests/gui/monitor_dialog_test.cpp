// The NetMonitor window on its own and against a modem on a pty: what it builds on template 131,
// its message map, the initialisation, the user's port choices, Exit and Esc, and how it shows
// the reports that reach it from the receive thread.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "monitor/monitor_window.h"
#include "monitor_support.h"

namespace norvane {
namespace {

using test::Bytes;
using test::Concat;
using test::FromReceiveThread;
using test::PtyModem;
using test::RowBytes;
using test::RunPosted;
using test::StoredBytes;

const QColor kCyan(0, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 255, 0);

QLabel* Label(CDialog& dlg, int id) {
    return qobject_cast<QLabel*>(dlg.item(id));
}
QProgressBar* Bar(CDialog& dlg, int row) {  // row 1..8
    return qobject_cast<QProgressBar*>(dlg.item(IDC_BAR_FIRST + row - 1));
}
QComboBox* Combo(CDialog& dlg) {
    return qobject_cast<QComboBox*>(dlg.item(IDC_PORT));
}
QColor Background(CDialog& dlg, int id) {
    return Label(dlg, id)->palette().color(QPalette::Window);
}
QColor Foreground(CDialog& dlg, int id) {
    return Label(dlg, id)->palette().color(QPalette::WindowText);
}

// A dialog whose port list holds only the given entries, selected as asked, then monitoring
// restarted on that selection. Discovery's own list depends on the machine; the tests that
// need a known list rebuild it here.
void UsePorts(CComDlg& dlg, const std::vector<std::string>& entries, int selected) {
    QComboBox* combo = Combo(dlg);
    combo->clear();
    for (const std::string& e : entries) {
        combo->addItem(QString::fromStdString(e));
    }
    combo->setCurrentIndex(selected);
    dlg.monitoring().StartMonitoring();
}

CellEntry Cell(int freq, int psc, int rscp, int barPos, int ecIo) {
    CellEntry c;
    c.frequencyMhz = freq;
    c.psc = psc;
    c.rscp = rscp;
    c.rscpBarPos = barPos;
    c.ecIo = ecIo;
    return c;
}

CellReport Report(int n, int gsm = 2) {
    CellReport r;
    r.hours = 1;
    r.minutes = 2;
    r.seconds = 3;
    r.milliseconds = 4;
    r.wcdmaCellCount = n;
    r.gsmCellCount = gsm;
    for (int k = 0; k < n; ++k) {
        r.cells[static_cast<std::size_t>(k)] = Cell(2100 + k, 100 + k, -80 - k, -80 - k, -5 - k);
    }
    return r;
}

void Deliver(CComDlg& dlg, const CellReport& r) {
    FromReceiveThread([&] { dlg.ShowCellReport(r); });
    RunPosted();
}
void Deliver(CComDlg& dlg, const SarPaReport& r) {
    FromReceiveThread([&] { dlg.ShowSarPaReport(r); });
    RunPosted();
}

// The window with an empty port list selection: no port, the "No Mobile Port" message.
class MonitorDialog : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.isValid());
        dlg = std::make_unique<CComDlg>();
        dlg->Create();
        ASSERT_EQ(g_hComPort.load(), nullptr);
        ui.calls.clear();
    }
    void TearDown() override {
        dlg.reset();
        EXPECT_EQ(g_hComPort.load(), nullptr);
    }

    QTemporaryDir runtime;  // no simulator here: nothing is preselected
    test::RuntimeDir env{runtime.path().toStdString()};
    test::UiRecorder ui;
    std::unique_ptr<CComDlg> dlg;
};

TEST(MonitorDialogBuild, ControlsOfTemplate131WithTheMembersBound) {
    test::UiRecorder ui;
    CComDlg dlg;
    EXPECT_FALSE(dlg.IsCreated());  // the constructor builds no window content
    dlg.Create();
    EXPECT_EQ(&dlg.dialogTemplate(), &DialogResource(IDD_NETMONITOR));
    EXPECT_EQ(dlg.windowTitle(), "Norvane NetMonitor UMTS V.1.00 beta");
    EXPECT_EQ(dlg.parentWidget(), nullptr);
    ASSERT_EQ(dlg.controls().size(), 57U);
    for (std::size_t i = 0; i < dlg.controls().size(); ++i) {
        EXPECT_EQ(dlg.controls()[i].id, kDialog131.controls[i].id) << "row " << i;
        EXPECT_EQ(dlg.controls()[i].row, &kDialog131.controls[i]);
    }
    // The bound members act on their controls: the bars' range, the labels' colours, the port
    // list's text.
    for (int row = 1; row <= 8; ++row) {
        EXPECT_EQ(Bar(dlg, row)->minimum(), -120) << row;
        EXPECT_EQ(Bar(dlg, row)->maximum(), -70) << row;
    }
    EXPECT_EQ(Background(dlg, IDC_SAR_LABEL), kCyan);
    EXPECT_EQ(Background(dlg, IDC_PA_LABEL), kCyan);
    Combo(dlg)->addItem("/dev/ttyTEST9 - bound");
    Combo(dlg)->setCurrentIndex(Combo(dlg)->count() - 1);
    EXPECT_EQ(dlg.PortListText(), "/dev/ttyTEST9 - bound");
    Combo(dlg)->setCurrentIndex(-1);
    EXPECT_EQ(dlg.PortListText(), "");
}

TEST(MonitorDialogBuild, LongestTextsFitTheirControls) {
    test::UiRecorder ui;
    CComDlg dlg;
    dlg.Create();
    const struct {
        int id;
        const char* text;
    } longest[] = {
        {IDC_WCDMA_CELLS, "WCDMA Cells : 8"},
        {IDC_GSM_CELLS, "GSM Cells : 255"},
        {IDC_UPTIME, "Modem UpTime 100:00:00:000"},
        {IDC_PSC_FIRST, "511"},
        {IDC_RSCP_FIRST, "-120"},
        {IDC_ECIO_FIRST, "-128"},
        {IDC_FREQ_FIRST, "2167"},
        {IDC_SAR_LABEL, "Level SAR Medium"},
        {IDC_PA_LABEL, "255 PA Temperature OK"},
    };
    for (const auto& l : longest) {
        QLabel* label = Label(dlg, l.id);
        EXPECT_LE(label->fontMetrics().horizontalAdvance(l.text), label->contentsRect().width())
            << l.text;
    }
    // Grown, not moved, and still clear of the next control on the line.
    const QRect wcdma = dlg.item(IDC_WCDMA_CELLS)->geometry();
    const QRect gsm = dlg.item(IDC_GSM_CELLS)->geometry();
    EXPECT_EQ(wcdma.topLeft(), dlg.MapDialogRect({12, 264, 54, 8}).topLeft());
    EXPECT_LT(wcdma.right(), gsm.left());
    EXPECT_LT(gsm.right(), dlg.item(IDC_UPTIME)->geometry().left());
}

TEST(MonitorDialogBuild, MessageMapInItsOrder) {
    const MessageMap& map = CComDlg::ClassMessageMap();
    EXPECT_EQ(map.base, &CDialog::ClassMessageMap());
    const std::vector<std::pair<Notify, int>> expected = {
        {Notify::Clicked, IDOK}, {Notify::CustomDraw, 1052}, {Notify::Clicked, 1015},
        {Notify::Clicked, 1043}, {Notify::Clicked, 1045},    {Notify::Clicked, 1100},
        {Notify::Clicked, 1046}, {Notify::SelChange, 1014},
    };
    ASSERT_EQ(map.entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(map.entries[i].code, expected[i].first) << i;
        EXPECT_EQ(map.entries[i].id, expected[i].second) << i;
    }
}

TEST_F(MonitorDialog, InitialisationRunsItsStepsInOrder) {
    // Rebuild with a recorder that looks at the window when StartMonitoring reports the missing
    // port: by then the list, the bars and the labels must be ready.
    dlg.reset();
    bool checked = false;
    ui.onMessage = [&](const MessageBoxCall& call) {
        auto* d = qobject_cast<CComDlg*>(call.owner);
        ASSERT_NE(d, nullptr);
        checked = true;
        EXPECT_GE(Combo(*d)->count(), 1);  // the simulator's entry is always listed
        EXPECT_EQ(Combo(*d)->currentIndex(), -1);
        for (int row = 1; row <= 8; ++row) {
            EXPECT_EQ(Bar(*d, row)->minimum(), -120);
            EXPECT_EQ(Bar(*d, row)->maximum(), -70);
            EXPECT_EQ(Bar(*d, row)->value(), -120);
            EXPECT_TRUE(Bar(*d, row)->isVisibleTo(d));
        }
        EXPECT_EQ(Bar(*d, 1)->palette().color(QPalette::Highlight), kGreen);
        for (int row = 2; row <= 8; ++row) {
            EXPECT_EQ(Bar(*d, row)->palette().color(QPalette::Highlight),
                      QProgressBar().palette().color(QPalette::Highlight));
        }
        for (int id : {IDC_SAR_LABEL, IDC_PA_LABEL}) {
            EXPECT_EQ(Background(*d, id), kCyan);
            EXPECT_EQ(Foreground(*d, id), kYellow);
            EXPECT_TRUE(Label(*d, id)->autoFillBackground());
        }
        EXPECT_EQ(Label(*d, IDC_SAR_LABEL)->text(), "Level SAR OFF");
        EXPECT_EQ(Label(*d, IDC_PA_LABEL)->text(), "PA Temperature OFF ");
    };
    dlg = std::make_unique<CComDlg>();
    dlg->Create();
    EXPECT_TRUE(checked);
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text, "          No Mobile Port !          ");
    EXPECT_EQ(ui.calls[0].caption, "Error");
    EXPECT_EQ(ui.calls[0].owner, dlg.get());
    EXPECT_EQ(g_bReading.load(), 1);
    EXPECT_FALSE(dlg->monitoring().ReceiveThreadRunning());
    EXPECT_EQ(dlg->focusWidget(), dlg->item(IDOK));
}

TEST_F(MonitorDialog, CustomDrawEntryBeepsButPaintingNeverDoes) {
    dlg->show();
    dlg->grab();
    Bar(*dlg, 1)->repaint();
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_TRUE(dlg->Dispatch(Notify::CustomDraw, IDC_BAR_FIRST));
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_FALSE(dlg->Dispatch(Notify::CustomDraw, IDC_BAR_FIRST + 1));
}

// --- the cell table ---

TEST_F(MonitorDialog, EightCellsFillEveryRowAndShowEveryBar) {
    Deliver(*dlg, Report(1));  // hides bars 2..8 first
    Deliver(*dlg, Report(8));
    for (int row = 1; row <= 8; ++row) {
        const int k = row - 1;
        SCOPED_TRACE(row);
        EXPECT_EQ(dlg->itemText(IDC_FREQ_FIRST + k), QString::number(2100 + k));
        EXPECT_EQ(dlg->itemText(IDC_PSC_FIRST + k), QString::number(100 + k));
        EXPECT_EQ(dlg->itemText(IDC_RSCP_FIRST + k), QString::number(-80 - k));
        EXPECT_EQ(dlg->itemText(IDC_ECIO_FIRST + k), QString::number(-5 - k));
        EXPECT_EQ(Bar(*dlg, row)->value(), -80 - k);
        EXPECT_FALSE(Bar(*dlg, row)->isHidden());
    }
    EXPECT_EQ(dlg->itemText(IDC_UPTIME), "Modem UpTime 01:02:03:004");
    EXPECT_EQ(dlg->itemText(IDC_WCDMA_CELLS), "WCDMA Cells : 8");
    EXPECT_EQ(dlg->itemText(IDC_GSM_CELLS), "GSM Cells : 2");
}

TEST_F(MonitorDialog, OneCellBlanksRowsTwoToEightAndLeavesTheFirstBarAlone) {
    Deliver(*dlg, Report(8));
    Bar(*dlg, 1)->hide();  // the first bar's visibility is never changed by a report
    Deliver(*dlg, Report(1));
    EXPECT_TRUE(Bar(*dlg, 1)->isHidden());
    Bar(*dlg, 1)->show();
    Deliver(*dlg, Report(1));
    EXPECT_FALSE(Bar(*dlg, 1)->isHidden());
    EXPECT_EQ(dlg->itemText(IDC_PSC_FIRST), "100");
    for (int row = 2; row <= 8; ++row) {
        const int k = row - 1;
        SCOPED_TRACE(row);
        for (int first : {IDC_FREQ_FIRST, IDC_PSC_FIRST, IDC_RSCP_FIRST, IDC_ECIO_FIRST}) {
            EXPECT_EQ(dlg->itemText(first + k), " ");
        }
        EXPECT_TRUE(Bar(*dlg, row)->isHidden());
        EXPECT_EQ(Bar(*dlg, row)->value(), -80 - k);  // a hidden bar keeps its last position
    }
}

TEST_F(MonitorDialog, ThreeCellsAfterSixBlankRowsFourToSix) {
    Deliver(*dlg, Report(6));
    CellReport three = Report(3);
    three.cells[0] = Cell(950, 7, -101, -101, -12);
    Deliver(*dlg, three);
    EXPECT_EQ(dlg->itemText(IDC_FREQ_FIRST), "950");
    EXPECT_EQ(dlg->itemText(IDC_PSC_FIRST), "7");
    EXPECT_EQ(dlg->itemText(IDC_RSCP_FIRST), "-101");
    EXPECT_EQ(dlg->itemText(IDC_ECIO_FIRST), "-12");
    EXPECT_EQ(Bar(*dlg, 1)->value(), -101);
    for (int row = 2; row <= 3; ++row) {
        EXPECT_FALSE(Bar(*dlg, row)->isHidden()) << row;
        EXPECT_EQ(dlg->itemText(IDC_PSC_FIRST + row - 1), QString::number(99 + row));
    }
    for (int row = 4; row <= 8; ++row) {
        EXPECT_TRUE(Bar(*dlg, row)->isHidden()) << row;
        EXPECT_EQ(dlg->itemText(IDC_RSCP_FIRST + row - 1), " ") << row;
    }
}

TEST_F(MonitorDialog, BarPositionsOutsideTheRangeGoToTheNearerEnd) {
    CellReport r = Report(4);
    r.cells[0] = Cell(2110, 1, -96, -96, -10);
    r.cells[1] = Cell(2110, 2, -125, -125, -20);
    r.cells[2] = Cell(2110, 3, -60, -60, -1);
    r.cells[3] = Cell(2110, 4, -70, -70, 0);
    Deliver(*dlg, r);
    EXPECT_EQ(Bar(*dlg, 1)->value(), -96);
    EXPECT_EQ(Bar(*dlg, 2)->value(), -120);
    EXPECT_EQ(Bar(*dlg, 3)->value(), -70);
    EXPECT_EQ(Bar(*dlg, 4)->value(), -70);
    // The texts show the values as they came.
    EXPECT_EQ(dlg->itemText(IDC_RSCP_FIRST + 1), "-125");
    EXPECT_EQ(dlg->itemText(IDC_RSCP_FIRST + 2), "-60");
    EXPECT_EQ(dlg->itemText(IDC_ECIO_FIRST), "-10");
    // A value below the range after one above it: not ignored, as a Qt bar would.
    r.cells[2].rscpBarPos = -500;
    Deliver(*dlg, r);
    EXPECT_EQ(Bar(*dlg, 3)->value(), -120);
}

TEST_F(MonitorDialog, UpTimeAndCounts) {
    CellReport r = Report(1, 0);
    r.hours = 100;
    r.minutes = 0;
    r.seconds = 0;
    r.milliseconds = 0;
    Deliver(*dlg, r);
    EXPECT_EQ(dlg->itemText(IDC_UPTIME), "Modem UpTime 100:00:00:000");
    EXPECT_EQ(dlg->itemText(IDC_WCDMA_CELLS), "WCDMA Cells : 1");
    EXPECT_EQ(dlg->itemText(IDC_GSM_CELLS), "GSM Cells : 0");
}

// --- the SAR and PA labels ---

SarPaReport SarPa(bool hasSar, SarLevel level, int pa) {
    SarPaReport r;
    r.hasSarLevel = hasSar;
    r.sarLevel = level;
    r.paValue = static_cast<std::uint8_t>(pa);
    r.paOverheated = pa <= 80;
    return r;
}

TEST_F(MonitorDialog, ReportWithoutSarLevelLeavesTheSarLabel) {
    Deliver(*dlg, SarPa(false, SarLevel::Low, 90));  // SAR byte 7: no level
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR OFF");
    EXPECT_EQ(Background(*dlg, IDC_SAR_LABEL), kCyan);
    EXPECT_EQ(dlg->itemText(IDC_PA_LABEL), "90 PA Temperature OK");
    EXPECT_EQ(Background(*dlg, IDC_PA_LABEL), kCyan);
    EXPECT_EQ(Foreground(*dlg, IDC_PA_LABEL), kYellow);
}

TEST_F(MonitorDialog, PaEightyIsOverheadEightyOneIsOk) {
    Deliver(*dlg, SarPa(false, SarLevel::Low, 80));
    EXPECT_EQ(dlg->itemText(IDC_PA_LABEL), "80 PA Overhead");
    EXPECT_EQ(Background(*dlg, IDC_PA_LABEL), kRed);
    EXPECT_EQ(Foreground(*dlg, IDC_PA_LABEL), kYellow);
    Deliver(*dlg, SarPa(false, SarLevel::Low, 81));
    EXPECT_EQ(dlg->itemText(IDC_PA_LABEL), "81 PA Temperature OK");
    EXPECT_EQ(Background(*dlg, IDC_PA_LABEL), kCyan);
    Deliver(*dlg, SarPa(false, SarLevel::Low, 0));
    EXPECT_EQ(dlg->itemText(IDC_PA_LABEL), "0 PA Overhead");
    Deliver(*dlg, SarPa(false, SarLevel::Low, 255));
    EXPECT_EQ(dlg->itemText(IDC_PA_LABEL), "255 PA Temperature OK");
}

TEST_F(MonitorDialog, SarLevelsAndTheirColours) {
    Deliver(*dlg, SarPa(true, SarLevel::High, 100));
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR High");
    EXPECT_EQ(Background(*dlg, IDC_SAR_LABEL), kRed);
    EXPECT_EQ(Foreground(*dlg, IDC_SAR_LABEL), kYellow);
    // What the screen shows: red behind the text.
    const QImage shot = Label(*dlg, IDC_SAR_LABEL)->grab().toImage();
    EXPECT_EQ(shot.pixelColor(3, shot.height() / 2), kRed);

    Deliver(*dlg, SarPa(true, SarLevel::Low, 100));
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR Low");
    EXPECT_EQ(Background(*dlg, IDC_SAR_LABEL), kCyan);
    Deliver(*dlg, SarPa(true, SarLevel::Normal, 100));
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR Normal");
    Deliver(*dlg, SarPa(true, SarLevel::Medium, 100));
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR Medium");
    EXPECT_EQ(Background(*dlg, IDC_SAR_LABEL), kCyan);
}

// --- reports and the end of the window ---

TEST_F(MonitorDialog, ReportsArrivingAsTheWindowEndsChangeNothing) {
    Deliver(*dlg, Report(2));
    // Posted while open, run after the window has ended.
    FromReceiveThread([&] {
        dlg->ShowCellReport(Report(8, 9));
        dlg->ShowSarPaReport(SarPa(true, SarLevel::High, 10));
        dlg->SetUpTimeText("RSCP Off");
    });
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_EQ(dlg->result(), IDCANCEL);
    EXPECT_FALSE(dlg->AcceptsReports());
    RunPosted();
    // Posted after the window ended.
    Deliver(*dlg, Report(8, 9));
    Deliver(*dlg, SarPa(true, SarLevel::High, 10));
    EXPECT_EQ(dlg->itemText(IDC_GSM_CELLS), "GSM Cells : 2");
    EXPECT_EQ(dlg->itemText(IDC_UPTIME), "Modem UpTime 01:02:03:004");
    EXPECT_EQ(dlg->itemText(IDC_PSC_FIRST + 7), " ");
    EXPECT_TRUE(Bar(*dlg, 8)->isHidden());
    EXPECT_EQ(dlg->itemText(IDC_SAR_LABEL), "Level SAR OFF");
    EXPECT_EQ(Background(*dlg, IDC_SAR_LABEL), kCyan);
}

TEST_F(MonitorDialog, ReportsPostedToADestroyedWindowAreDropped) {
    for (int i = 0; i < 20; ++i) {
        FromReceiveThread([&] {
            dlg->ShowCellReport(Report(8));
            dlg->ShowSarPaReport(SarPa(true, SarLevel::Medium, 50));
            dlg->MessageBox("late", "Error");
        });
    }
    dlg.reset();
    RunPosted();  // nothing left to run, nothing touched (ASan would see it)
    EXPECT_TRUE(ui.calls.empty());
}

// --- against a modem ---

class MonitorDialogOnModem : public MonitorDialog {
  protected:
    void Start() {
        UsePorts(*dlg, {modem.Entry()}, 0);
        ASSERT_NE(g_hComPort.load(), nullptr);
        ASSERT_TRUE(dlg->monitoring().ReceiveThreadRunning());
        modem.WaitFor(14 + 260);
        modem.Clear();
    }
    PtyModem modem;
};

TEST_F(MonitorDialogOnModem, OpensThePreselectedPortOnInitialisation) {
    // The simulator's link in the runtime directory leads to our pty: discovery lists it first
    // and preselects it, and initialisation opens it.
    dlg.reset();
    const QString link = runtime.filePath("norvane-sim");
    ASSERT_TRUE(QFile::link(QString::fromStdString(modem.slave()), link));
    dlg = std::make_unique<CComDlg>();
    dlg->Create();
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_EQ(dlg->PortListText().rfind(link.toStdString() + " - ", 0), 0U);
    EXPECT_TRUE(dlg->monitoring().ReceiveThreadRunning());
    EXPECT_EQ(modem.WaitFor(14 + 260),
              Concat({StoredBytes(DiagProbeFrame), RowBytes("ON Cell RSSI")}));
}

TEST_F(MonitorDialogOnModem, ButtonsReachTheirHandlers) {
    Start();
    struct Case {
        int id;
        Bytes expected;
    };
    const Case cases[] = {
        {IDC_ON_SARPA, Concat({RowBytes("ON_AGC"), RowBytes("ON_AGC1"), RowBytes("ON_AGC2"),
                               RowBytes("ON_AGC3")})},
        {IDC_OFF_SARPA, RowBytes("OFF_AGC")},
        {IDC_ON_RSCP, RowBytes("ON Cell RSSI")},
        {IDC_OFF_RSCP, RowBytes("OFF Cell RSSI")},
    };
    for (const Case& c : cases) {
        modem.Clear();
        QTest::mouseClick(qobject_cast<QPushButton*>(dlg->item(c.id)), Qt::LeftButton);
        EXPECT_EQ(modem.WaitFor(c.expected.size()), c.expected) << "button " << c.id;
    }
    EXPECT_EQ(dlg->itemText(IDC_UPTIME), "RSCP Off");
    EXPECT_TRUE(dlg->monitoring().ReceiveThreadRunning());
}

TEST_F(MonitorDialogOnModem, CaptureButtonStoresThePictureAndSaysSo) {
    Start();
    QTemporaryDir dir;
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    QTest::mouseClick(qobject_cast<QPushButton*>(dlg->item(IDC_CAPTURE)), Qt::LeftButton);
    QDir::setCurrent(cwd);
    ASSERT_EQ(ui.calls.size(), 1U);
    EXPECT_EQ(ui.calls[0].text, "Store to: NetMonitor.JPG");
    EXPECT_EQ(ui.calls[0].caption, QCoreApplication::applicationName().toStdString());
    EXPECT_TRUE(QFile::exists(dir.filePath("NetMonitor.JPG")));
    EXPECT_TRUE(modem.Quiet().empty());  // the modem hears nothing of it
    EXPECT_TRUE(dlg->monitoring().ReceiveThreadRunning());
}

TEST_F(MonitorDialogOnModem, EveryChoiceOfTheUserReopensThePort) {
    PtyModem second;
    UsePorts(*dlg, {modem.Entry(), second.Entry()}, 0);
    modem.WaitFor(14 + 260);
    modem.Clear();
    const Bytes start = Concat({StoredBytes(DiagProbeFrame), RowBytes("ON Cell RSSI")});
    QComboBox* combo = Combo(*dlg);

    // A selection made in code is not the user's: nothing happens.
    combo->setCurrentIndex(1);
    combo->setCurrentIndex(0);
    EXPECT_TRUE(modem.Quiet().empty());
    EXPECT_TRUE(second.Received().empty());

    // Arrow keys on the closed list: one reopen per entry passed.
    Bar(*dlg, 3)->setValue(-90);
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(dlg->PortListText(), second.Entry());
    EXPECT_EQ(second.WaitFor(start.size()), start);
    EXPECT_EQ(Bar(*dlg, 3)->value(), -120);  // bars reset on every change
    QTest::keyClick(combo, Qt::Key_Up);
    EXPECT_EQ(modem.WaitFor(start.size()), start);
    modem.Clear();

    // Picking the entry that is already selected from the opened list reopens it too.
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    view->setCurrentIndex(view->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(modem.WaitFor(start.size()), start);
    EXPECT_TRUE(dlg->monitoring().ReceiveThreadRunning());
}

TEST_F(MonitorDialogOnModem, ExitRunsTheStopSequenceAndEndsTheWindow) {
    Start();
    const int threads = test::ThreadCount();
    QTest::mouseClick(qobject_cast<QPushButton*>(dlg->item(IDOK)), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), IDOK);
    EXPECT_EQ(g_bReading.load(), 0);
    EXPECT_EQ(g_hComPort.load(), nullptr);
    EXPECT_FALSE(dlg->monitoring().ReceiveThreadRunning());
    EXPECT_EQ(test::ThreadCount(), threads - 1);
    EXPECT_EQ(modem.WaitFor(15 + 260 + 1),
              Concat({RowBytes("OFF_AGC"), RowBytes("OFF Cell RSSI"), Bytes{0x7E}}));
}

TEST_F(MonitorDialogOnModem, EnterOnExitRunsTheStopSequence) {
    Start();
    dlg->show();
    dlg->activateWindow();
    ASSERT_EQ(dlg->focusWidget(), dlg->item(IDOK));
    QTest::keyClick(dlg->focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dlg->result(), IDOK);
    EXPECT_EQ(modem.WaitFor(15 + 260 + 1).size(), 15U + 260U + 1U);
}

TEST_F(MonitorDialogOnModem, EscSendsNothingAndLeavesNoThread) {
    Start();
    const int threads = test::ThreadCount();
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_EQ(dlg->result(), IDCANCEL);
    EXPECT_EQ(g_hComPort.load(), nullptr);
    EXPECT_FALSE(dlg->monitoring().ReceiveThreadRunning());
    EXPECT_EQ(test::ThreadCount(), threads - 1);
    EXPECT_TRUE(modem.Quiet().empty());
}

TEST_F(MonitorDialogOnModem, DestroyingTheOpenWindowSendsNothingAndLeavesNoThread) {
    Start();
    const int threads = test::ThreadCount();
    dlg.reset();
    EXPECT_EQ(g_hComPort.load(), nullptr);
    EXPECT_EQ(test::ThreadCount(), threads - 1);
    EXPECT_TRUE(modem.Quiet().empty());
}

}  // namespace
}  // namespace norvane
