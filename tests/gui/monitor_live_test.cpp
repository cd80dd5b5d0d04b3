// The NetMonitor window on the simulated modem: live cells on screen, and port changes and a
// close that leave no thread and no descriptor behind.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QSet>
#include <QTemporaryDir>
#include <memory>

#include "../sim/sim_process.h"
#include "monitor/monitor_window.h"
#include "monitor_support.h"

namespace norvane {
namespace {

TEST(MonitorLive, CellsChangeOnScreenAndPortChangesLeaveNothingBehind) {
    test::UiRecorder ui;
    // Qt starts some process-wide helpers with the first window: let them exist before counting.
    {
        QTemporaryDir empty;
        test::RuntimeDir env(empty.path().toStdString());
        CComDlg warmUp;
        warmUp.Create();
        warmUp.show();
        test::RunPosted();
    }
    ui.calls.clear();

    test::SimProcess sim({"--rate", "5", "--seed", "7"});
    test::RuntimeDir env(QFileInfo(QString::fromStdString(sim.link())).path().toStdString());
    const int threads = test::ThreadCount();
    const int descriptors = test::DescriptorCount();
    {
        CComDlg dlg;
        dlg.Create();
        dlg.show();
        EXPECT_TRUE(ui.calls.empty()) << ui.calls[0].text;
        ASSERT_EQ(dlg.PortListText().rfind(sim.link() + " - ", 0), 0U);  // preselected
        ASSERT_TRUE(dlg.monitoring().ReceiveThreadRunning());

        // Within three seconds: several different up-times, filled cell rows, moved bars.
        QSet<QString> upTimes;
        QSet<QString> firstRscp;
        const bool live = test::WaitUntil(
            [&] {
                const QString up = dlg.itemText(IDC_UPTIME);
                if (up.startsWith("Modem UpTime ") && up != "Modem UpTime :") {
                    upTimes.insert(up);
                    firstRscp.insert(dlg.itemText(IDC_RSCP_FIRST));
                }
                return upTimes.size() >= 3;
            },
            3000);
        EXPECT_TRUE(live) << upTimes.size() << " up-times seen";
        EXPECT_TRUE(dlg.itemText(IDC_WCDMA_CELLS).startsWith("WCDMA Cells : "));
        EXPECT_FALSE(dlg.itemText(IDC_PSC_FIRST).trimmed().isEmpty());
        const int rscp = dlg.itemText(IDC_RSCP_FIRST).toInt();
        const auto* bar = qobject_cast<QProgressBar*>(dlg.item(IDC_BAR_FIRST));
        EXPECT_EQ(bar->value(), std::clamp(rscp, -120, -70));

        // Twenty choices of the user, alternating between the two entries of the simulator.
        auto* combo = qobject_cast<QComboBox*>(dlg.item(IDC_PORT));
        const int listed = combo->findText(QString::fromStdString(sim.Entry()));
        ASSERT_GE(listed, 0);
        const int preselected = combo->currentIndex();
        ASSERT_NE(listed, preselected);
        for (int i = 0; i < 20; ++i) {
            const int index = i % 2 == 0 ? listed : preselected;
            combo->setCurrentIndex(index);
            emit combo->activated(index);
            ASSERT_NE(g_hComPort.load(), nullptr) << "change " << i;
            ASSERT_TRUE(dlg.monitoring().ReceiveThreadRunning()) << "change " << i;
            EXPECT_EQ(test::ThreadCount(), threads + 1) << "change " << i;
        }
        EXPECT_TRUE(ui.calls.empty());

        // Still live after the changes.
        const QString before = dlg.itemText(IDC_UPTIME);
        EXPECT_TRUE(test::WaitUntil([&] { return dlg.itemText(IDC_UPTIME) != before; }, 3000));

        dlg.close();
        EXPECT_EQ(dlg.result(), IDCANCEL);
        EXPECT_EQ(g_hComPort.load(), nullptr);
        EXPECT_EQ(test::ThreadCount(), threads);
    }
    test::RunPosted();
    EXPECT_EQ(test::ThreadCount(), threads);
    EXPECT_EQ(test::DescriptorCount(), descriptors);
}

}  // namespace
}  // namespace norvane
