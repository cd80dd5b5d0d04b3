// "NetMonitor" on the start window, pressed twice against the simulated modem: each press runs a
// freshly built monitor, modal over the start window, that opens the port anew, shows cells, and
// is gone when its run ends; the modem hears both runs' start-up and Exit, in order.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <iterator>

#include "app/start_window.h"
#include "monitor/monitor_window.h"
#include "tests/gui/monitor_support.h"
#include "tests/sim/sim_process.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

using test::Bytes;
using test::RowBytes;

TEST(NetMonitorButton, EachPressRunsAFreshMonitorOverTheStartWindow) {
    test::SimProcess sim({"--rate", "20", "--seed", "7"});
    test::RuntimeDir runtime(QFileInfo(QString::fromStdString(sim.link())).path().toStdString());
    test::UiRecorder ui;
    CTessalyDlg start;
    SetMainWindow(&start);
    start.Create();
    start.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&start));

    for (int press = 0; press < 2; ++press) {
        QPointer<CComDlg> monitor;
        QTimer::singleShot(0, qApp, [&] {  // inside the monitor's modal run
            monitor = qobject_cast<CComDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(monitor, nullptr);
            EXPECT_EQ(monitor->parentWidget(), &start);
            EXPECT_EQ(monitor->itemText(IDC_SAR_LABEL), kSarOffText);  // a fresh window
            EXPECT_TRUE(monitor->itemText(IDC_PORT).startsWith(QString::fromStdString(sim.link())));
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return !monitor->itemText(IDC_PSC_FIRST).isEmpty(); }, 5000));
            monitor->setItemText(IDC_SAR_LABEL, "used");
            qobject_cast<QPushButton*>(monitor->item(IDOK))->click();
        });
        qobject_cast<QPushButton*>(start.item(IDC_NETMONITOR))->click();  // returns after the run
        EXPECT_TRUE(monitor.isNull()) << "the monitor outlived its run";
        EXPECT_TRUE(start.isVisible());
    }
    EXPECT_TRUE(ui.calls.empty());

    const Bytes run = test::Concat({test::StoredBytes(DiagProbeFrame), RowBytes("ON Cell RSSI"),
                                    RowBytes("OFF_AGC"), RowBytes("OFF Cell RSSI"), Bytes{0x7E}});
    const Bytes expected = test::Concat({run, run});
    Bytes recorded;
    (void)QTest::qWaitFor(
        [&] {
            std::ifstream in(sim.recordPath(), std::ios::binary);
            recorded = Bytes(std::istreambuf_iterator<char>(in), {});
            return recorded.size() >= expected.size();
        },
        3000);
    EXPECT_EQ(recorded, expected);
    SetMainWindow(nullptr);
}

}  // namespace
}  // namespace norvane
