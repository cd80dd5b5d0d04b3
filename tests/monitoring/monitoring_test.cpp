// The bytes the monitoring control puts on the wire, checked by a peer on the master side of a
// real pseudo terminal.
#include "diag/monitoring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "diag/command_table.h"
#include "tests/support/pty_modem.h"

namespace norvane {
namespace {

using test::Bytes;
using test::Concat;
using test::PtyModem;
using test::RowBytes;

Bytes ProbeBytes() {
    return test::StoredBytes(DiagProbeFrame);
}

// Records what the control asks of the window.
class RecordingView : public MonitorView {
  public:
    std::string entry;
    MonitoringControl* control = nullptr;

    struct Message {
        std::string text, caption;
        bool threadRunning;
    };

    std::string PortListText() override { return entry; }
    void ResetBars() override { ++barResets; }
    void SetUpTimeText(std::string_view text) override { upTime = text; }
    void MessageBox(std::string_view text, std::string_view caption) override {
        const std::lock_guard lock(mutex);
        messages.push_back({std::string(text), std::string(caption),
                            control != nullptr && control->ReceiveThreadRunning()});
    }
    void ShowCellReport(const CellReport&) override { ++cellReports; }
    void ShowSarPaReport(const SarPaReport&) override { ++sarPaReports; }

    std::vector<Message> Messages() {
        const std::lock_guard lock(mutex);
        return messages;
    }

    int barResets = 0;
    std::string upTime;
    std::atomic<int> cellReports{0};
    std::atomic<int> sarPaReports{0};
    std::mutex mutex;
    std::vector<Message> messages;
};

class MonitoringWire : public ::testing::Test {
  protected:
    void TearDown() override {
        control.Shutdown();
        EXPECT_EQ(g_hComPort.load(), nullptr);
    }
    void Use(PtyModem& modem) { view.entry = modem.Entry(); }

    RecordingView view;
    MonitoringControl control{view};
    void SetUp() override { view.control = &control; }
};

TEST_F(MonitoringWire, AnsweringModemGetsProbeThenCellsOn) {
    PtyModem modem(true);
    Use(modem);
    control.StartMonitoring();
    ASSERT_NE(g_hComPort.load(), nullptr);
    EXPECT_TRUE(control.ReceiveThreadRunning());
    EXPECT_EQ(g_bReading.load(), 1);
    const Bytes expected = Concat({ProbeBytes(), RowBytes(kRowCellsOn)});
    ASSERT_EQ(expected.size(), 14U + 260U);
    EXPECT_EQ(modem.WaitFor(expected.size()), expected);
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(MonitoringWire, SilentModemGetsModeSwitchAndInfoBeforeTheThread) {
    PtyModem modem(false);
    Use(modem);
    control.StartMonitoring();
    const Bytes expected = Concat(
        {ProbeBytes(), Bytes{0x7E},
         Bytes{0x41, 0x54, 0x24, 0x51, 0x43, 0x44, 0x4D, 0x47, 0x0D, 0x0A}, RowBytes(kRowCellsOn)});
    EXPECT_EQ(modem.WaitFor(expected.size()), expected);
    const auto messages = view.Messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].text, "Change Mode \nFor use need Reset modem !!! ");
    EXPECT_EQ(messages[0].caption, "Info");
    EXPECT_FALSE(messages[0].threadRunning);
    EXPECT_TRUE(control.ReceiveThreadRunning());
}

TEST_F(MonitoringWire, ExitWritesStopFramesThenClosesAndJoins) {
    PtyModem modem(true);
    Use(modem);
    control.StartMonitoring();
    modem.WaitFor(14 + 260);
    modem.Clear();
    control.OnBnClickedExit();
    EXPECT_EQ(g_bReading.load(), 0);
    EXPECT_EQ(g_hComPort.load(), nullptr);
    EXPECT_FALSE(control.ReceiveThreadRunning());
    const Bytes expected = Concat({RowBytes(kRowAgcOff), RowBytes(kRowCellsOff), Bytes{0x7E}});
    ASSERT_EQ(expected.size(), 15U + 260U + 1U);
    EXPECT_EQ(modem.WaitFor(expected.size()), expected);
}

TEST_F(MonitoringWire, WithoutPortNothingIsWrittenAndExitStillStops) {
    view.entry = "";
    control.StartMonitoring();
    EXPECT_EQ(g_hComPort.load(), nullptr);
    EXPECT_EQ(g_bReading.load(), 1);
    EXPECT_FALSE(control.ReceiveThreadRunning());
    ASSERT_EQ(view.Messages().size(), 1U);
    EXPECT_EQ(view.Messages()[0].text, "          No Mobile Port !          ");
    EXPECT_EQ(view.Messages()[0].caption, "Error");
    control.OnBnClickedOnSarPa();  // writes to no port go unnoticed
    control.OnBnClickedOffRscp();
    EXPECT_EQ(view.upTime, "RSCP Off");
    control.OnBnClickedExit();
    EXPECT_EQ(g_bReading.load(), 0);
}

TEST_F(MonitoringWire, CommandButtonsWriteTheirRowsInOrder) {
    PtyModem modem(true);
    Use(modem);
    control.StartMonitoring();
    modem.WaitFor(14 + 260);

    struct Case {
        void (MonitoringControl::*press)();
        Bytes expected;
    };
    const Case cases[] = {
        {&MonitoringControl::OnBnClickedOnSarPa,
         Concat(
             {RowBytes("ON_AGC"), RowBytes("ON_AGC1"), RowBytes("ON_AGC2"), RowBytes("ON_AGC3")})},
        {&MonitoringControl::OnBnClickedOffSarPa, RowBytes(kRowAgcOff)},
        {&MonitoringControl::OnBnClickedOnRscp, RowBytes(kRowCellsOn)},
        {&MonitoringControl::OnBnClickedOffRscp, RowBytes(kRowCellsOff)},
    };
    const std::size_t sizes[] = {378, 15, 260, 260};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        modem.Clear();
        (control.*cases[i].press)();
        EXPECT_EQ(cases[i].expected.size(), sizes[i]);
        EXPECT_EQ(modem.WaitFor(sizes[i]), cases[i].expected) << "button " << i;
    }
    EXPECT_EQ(view.upTime, "RSCP Off");
}

TEST_F(MonitoringWire, PortThatCannotBeOpenedClosesThePreviousOne) {
    PtyModem modem(true);
    Use(modem);
    control.StartMonitoring();
    ASSERT_TRUE(control.ReceiveThreadRunning());
    view.entry = "/nonexistent/ttyNOPE - gone";
    control.OnCbnSelchangePort();
    EXPECT_EQ(view.barResets, 1);
    EXPECT_EQ(g_hComPort.load(), nullptr);
    EXPECT_FALSE(control.ReceiveThreadRunning());
    ASSERT_EQ(view.Messages().size(), 1U);
    EXPECT_EQ(view.Messages()[0].text.rfind("Error while opening ComPort", 0), 0U);
    EXPECT_EQ(view.Messages()[0].caption, "Error");
    // The old port is free again: it can be reopened at once.
    view.entry = modem.Entry();
    control.OnCbnSelchangePort();
    EXPECT_NE(g_hComPort.load(), nullptr);
}

TEST_F(MonitoringWire, TwentyPortChangesLeaveOneThreadAndNoDescriptor) {
    PtyModem modem(true);
    Use(modem);
    const int fdsBefore = test::DescriptorCount();
    const int threadsBefore = test::ThreadCount();
    control.StartMonitoring();
    for (int i = 0; i < 20; ++i) {
        control.OnCbnSelchangePort();
        ASSERT_NE(g_hComPort.load(), nullptr) << "change " << i;
        EXPECT_EQ(test::ThreadCount(), threadsBefore + 1) << "change " << i;
    }
    EXPECT_EQ(view.barResets, 20);
    control.OnBnClickedExit();
    EXPECT_EQ(test::ThreadCount(), threadsBefore);
    EXPECT_EQ(test::DescriptorCount(), fdsBefore);
}

}  // namespace
}  // namespace norvane
