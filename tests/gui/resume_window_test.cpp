// The window on the simulated modem: a version 2 cell list of more than eight cells shows its
// first eight and its true count; while the modem is gone the window says so, and it comes back
// by itself when the simulator is killed and started again on the link port discovery lists.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

#include "link/port_discovery.h"
#include "monitor/monitor_window.h"
#include "tests/support/sim_process.h"
#include "tests/support/window_support.h"

namespace norvane {
namespace {

TEST(MonitorOnSimulator, ManyCellsShownThenTheModemGoneKeepsThemAndItResumesWithCells) {
    test::UiRecorder ui;
    QTemporaryDir dir;
    test::RuntimeDir env(dir.path().toStdString());
    test::SimProcess sim({"--rate", "10", "--packet-version", "2"}, SimulatorLinkPath());
    CComDlg dlg;
    dlg.Create();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg.itemText(IDC_WCDMA_CELLS).mid(14).toInt() > kCellRows; }, 5000))
        << dlg.itemText(IDC_WCDMA_CELLS).toStdString();
    for (int k = 0; k < kCellRows; ++k) {
        EXPECT_FALSE(dlg.itemText(IDC_PSC_FIRST + k).trimmed().isEmpty()) << "row " << k;
        EXPECT_TRUE(qobject_cast<QProgressBar*>(dlg.item(IDC_BAR_FIRST + k))->isVisible()) << k;
    }

    sim.Stop(SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg.itemText(IDC_UPTIME) == "Modem disconnected - waiting"; }, 3000));
    const QString psc = dlg.itemText(IDC_PSC_FIRST), cells = dlg.itemText(IDC_WCDMA_CELLS);
    QTest::qWait(600);
    EXPECT_EQ(dlg.itemText(IDC_PSC_FIRST), psc);
    EXPECT_EQ(dlg.itemText(IDC_WCDMA_CELLS), cells);
    EXPECT_FALSE(psc.trimmed().isEmpty()) << "the last cells stay";
    EXPECT_TRUE(ui.calls.empty()) << "no message box";

    sim.Restart();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dlg.itemText(IDC_UPTIME).startsWith("Modem UpTime"); }, 3000));
    auto* combo = qobject_cast<QComboBox*>(dlg.item(IDC_PORT));
    EXPECT_EQ(PortDevicePath(combo->currentData().toByteArray().toStdString()), sim.link());
    EXPECT_TRUE(dlg.monitoring().ReceiveThreadRunning());
    EXPECT_TRUE(ui.calls.empty());
    dlg.close();
}

}  // namespace
}  // namespace norvane
