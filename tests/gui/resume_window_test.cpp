// The window while its modem is gone and when it comes back by itself: the simulated modem is
// killed and started again on the link that port discovery lists.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include "link/port_discovery.h"
#include "monitor/monitor_window.h"
#include "tests/support/resume_support.h"
#include "tests/support/window_support.h"

namespace norvane {
namespace {

TEST(MonitorResume, ShowsTheModemIsGoneKeepsTheLastCellsAndResumesWithCells) {
    test::UiRecorder ui;
    QTemporaryDir dir;
    test::RuntimeDir env(dir.path().toStdString());
    const std::string link = SimulatorLinkPath();
    auto sim = std::make_unique<test::SimOnLink>(link);
    CComDlg dlg;
    dlg.Create();
    dlg.show();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !dlg.itemText(IDC_PSC_FIRST).trimmed().isEmpty(); }, 5000));

    sim->Kill();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dlg.itemText(IDC_UPTIME) == "Modem disconnected - waiting"; }, 3000));
    const QString psc = dlg.itemText(IDC_PSC_FIRST), cells = dlg.itemText(IDC_WCDMA_CELLS);
    QTest::qWait(600);
    EXPECT_EQ(dlg.itemText(IDC_UPTIME), "Modem disconnected - waiting");
    EXPECT_EQ(dlg.itemText(IDC_PSC_FIRST), psc);
    EXPECT_EQ(dlg.itemText(IDC_WCDMA_CELLS), cells);
    EXPECT_FALSE(psc.trimmed().isEmpty()) << "the last cells stay";
    EXPECT_TRUE(ui.calls.empty()) << "no message box";

    sim = std::make_unique<test::SimOnLink>(link);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dlg.itemText(IDC_UPTIME).startsWith("Modem UpTime"); }, 3000));
    auto* combo = qobject_cast<QComboBox*>(dlg.item(IDC_PORT));
    EXPECT_EQ(PortDevicePath(combo->currentData().toByteArray().toStdString()), link);
    EXPECT_TRUE(dlg.monitoring().ReceiveThreadRunning());
    EXPECT_TRUE(ui.calls.empty());
    dlg.close();
}

}  // namespace
}  // namespace norvane
