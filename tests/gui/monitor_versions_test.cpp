// The NetMonitor window on cell lists of the newer packet versions: more than eight cells from
// the simulated modem, and a list with only GSM neighbours.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProgressBar>
#include <QTest>

#include "diag/log_decoder.h"
#include "monitor/monitor_window.h"
#include "tests/support/frames.h"
#include "tests/support/sim_process.h"
#include "tests/support/window_support.h"

namespace norvane {
namespace {

QProgressBar* Bar(CComDlg& dlg, int row) {
    return qobject_cast<QProgressBar*>(dlg.item(IDC_BAR_FIRST + row));
}

TEST(MonitorVersions, VersionTwoListOfMoreThanEightCellsFromTheSimulator) {
    test::UiRecorder ui;
    test::SimProcess sim({"--rate", "10", "--seed", "3", "--packet-version", "2"});
    test::RuntimeDir env(QFileInfo(QString::fromStdString(sim.link())).path().toStdString());
    CComDlg dlg;
    dlg.Create();
    dlg.show();
    ASSERT_TRUE(dlg.monitoring().ReceiveThreadRunning());
    const bool many = QTest::qWaitFor(
        [&] {
            const QString t = dlg.itemText(IDC_WCDMA_CELLS);
            return t.startsWith("WCDMA Cells : ") && t.mid(14).toInt() > 8;
        },
        5000);
    ASSERT_TRUE(many) << dlg.itemText(IDC_WCDMA_CELLS).toStdString();
    for (int k = 0; k < kCellRows; ++k) {
        EXPECT_FALSE(dlg.itemText(IDC_PSC_FIRST + k).trimmed().isEmpty()) << "row " << k;
        EXPECT_TRUE(Bar(dlg, k)->isVisible()) << "bar " << k;
        EXPECT_EQ(Bar(dlg, k)->value(),
                  std::clamp(dlg.itemText(IDC_RSCP_FIRST + k).toInt(), -120, -70));
    }
    EXPECT_TRUE(dlg.itemText(IDC_GSM_CELLS).startsWith("GSM Cells : "));
    dlg.close();
    EXPECT_TRUE(ui.calls.empty());
}

TEST(MonitorVersions, ListWithOnlyGsmNeighboursBlanksTheRows) {
    test::UiRecorder ui;
    CComDlg dlg;
    dlg.Create();
    dlg.show();
    const WcdmaCellRecord cells[] = {test::Cell(), test::Cell(10712, 7, 0xC0)};
    dlg.ShowCellReport(DecodeLogFrame(test::CellList(1, 0, cells)).cells);
    ASSERT_EQ(dlg.itemText(IDC_PSC_FIRST + 1), "7");
    const GsmCellRecord gsm[] = {{62, 0x23, -71}};
    const DecodedLogFrame d = DecodeLogFrame(test::CellList(2, 0, {}, gsm));
    ASSERT_EQ(d.kind, LogFrameKind::CellList);
    dlg.ShowCellReport(d.cells);
    EXPECT_EQ(dlg.itemText(IDC_WCDMA_CELLS), "WCDMA Cells : 0");
    EXPECT_EQ(dlg.itemText(IDC_GSM_CELLS), "GSM Cells : 1");
    for (int k = 0; k < kCellRows; ++k) {
        EXPECT_EQ(dlg.itemText(IDC_PSC_FIRST + k), " ") << "row " << k;
        EXPECT_EQ(Bar(dlg, k)->isVisible(), k == 0) << "bar " << k;
    }
    EXPECT_EQ(Bar(dlg, 0)->value(), -120);
}

}  // namespace
}  // namespace norvane
