// `norvane --record`: NetMonitor pressed twice records both sessions into one capture, one after
// the other; a capture that cannot be created is said in a message box; the radio window records
// its frames and positions into a .pcap run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <regex>

#include "app/run_recording.h"
#include "app/start_window.h"
#include "capture/reader.h"
#include "framework/framework.h"
#include "monitor/monitor_window.h"
#include "radio/radio_window.h"
#include "res/resource.h"
#include "tests/support/sim_process.h"
#include "tests/support/window_support.h"

namespace norvane {
namespace {

// The start window as the program shows it with --record.
void ShowRecording(CTessalyDlg& start, RunRecording& run) {
    start.SetRecorders(run.recorder(), run.radioRecorder());
    SetMainWindow(&start);
    start.Create();
    start.show();
}

TEST(RunRecording, TwoNetMonitorSessionsLandInOneCaptureAndARefusalIsAMessageBox) {
    test::SimProcess sim({"--rate", "20", "--seed", "9"});
    const std::string dir = std::filesystem::path(sim.link()).parent_path();
    test::RuntimeDir runtime(dir);
    test::UiRecorder ui;
    EXPECT_EQ(RunRecording::Start("/nonexistent/run.pcap"), nullptr);
    ASSERT_EQ(ui.calls.size(), 1u);
    EXPECT_EQ(ui.calls[0].text,
              "Cannot record to /nonexistent/run.pcap: No such file or directory");
    EXPECT_EQ(ui.calls[0].caption, "Error");

    const std::string path = dir + "/run.pcap";
    std::unique_ptr<RunRecording> run = RunRecording::Start(path);
    ASSERT_NE(run, nullptr);
    CTessalyDlg start;
    ShowRecording(start, *run);
    // The second window at once after the first's Exit: its session opens the port once the
    // first one's has let it go.
    for (int press = 0; press < 2; ++press) {
        qobject_cast<QPushButton*>(start.item(IDC_NETMONITOR))->click();
        QPointer<CComDlg> monitor = start.monitorWindow();
        ASSERT_NE(monitor, nullptr);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !monitor->itemText(IDC_PSC_FIRST).isEmpty(); }, 5000));
        qobject_cast<QPushButton*>(monitor->item(IDOK))->click();
    }
    EXPECT_EQ(start.CloseViews(std::chrono::seconds(5)), 0);
    SetMainWindow(nullptr);
    run.reset();                     // the rest reaches the file
    EXPECT_EQ(ui.calls.size(), 1u);  // nothing more to say

    // Per session: the probe and its reply, the cell list switched on, log packets, and the two
    // stop frames; the second session only after the first. What the modem sends while the
    // receive loop ends (logs in flight, the answers to the stop frames) may be kept or not.
    CaptureError error;
    auto reader = CaptureReader::Open(path, error);
    ASSERT_NE(reader, nullptr) << error.message;
    std::string commands;  // a letter per frame: P probe, p its reply, C log config, L log
    CaptureReader::Packet packet;
    while (reader->Next(packet, error) == CaptureReader::Status::kPacket) {
        const bool host = packet.direction == FrameDirection::kToModem;
        const char letter = packet.bytes[0] == 0x7B ? 'P' : packet.bytes[0] == 0x10 ? 'L' : 'C';
        if (commands.empty() || letter != 'L' || commands.back() != 'L') {
            commands += host || letter == 'L' ? letter : static_cast<char>(letter + 32);
        }
    }
    EXPECT_EQ(error.message, "");
    EXPECT_TRUE(std::regex_match(commands, std::regex("(PpCcL[Lc]*C[Lc]*C[Lc]*){2}"))) << commands;
}

TEST(RunRecording, TheRadioWindowRecordsItsFramesAndPacedPositionsIntoAPcapRunOnly) {
    test::SimProcess sim({"--rat", "lte", "--rate", "20", "--seed", "9"});
    const std::string dir = std::filesystem::path(sim.link()).parent_path();
    test::RuntimeDir runtime(dir);
    test::UiRecorder ui;
    // A .bin keeps one port's bytes as read: the radio window's would interleave with them.
    std::unique_ptr<RunRecording> run = RunRecording::Start(dir + "/run.bin");
    ASSERT_NE(run, nullptr);
    EXPECT_NE(run->recorder(), nullptr);
    EXPECT_EQ(run->radioRecorder(), nullptr);

    const std::string path = dir + "/run.pcap";
    run = RunRecording::Start(path);
    ASSERT_NE(run, nullptr);
    {
        CTessalyDlg start;
        ShowRecording(start, *run);
        qobject_cast<QPushButton*>(start.item(IDC_RADIO))->click();
        QPointer<RadioWindow> radio = start.findChild<RadioWindow*>();
        ASSERT_NE(radio, nullptr);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                for (const QLineEdit* field : radio->findChildren<QLineEdit*>()) {
                    if (field->accessibleName() == "PCI" && field->text() == "212") {
                        return true;
                    }
                }
                return false;
            },
            6000));
        // The positions as the window takes them from gpsd: a fix, then its loss.
        radio->TakePosition({FixMode::k3d, 48.1377583, 11.5778, 529, 12.5});
        radio->TakePosition({});
        radio->close();
        EXPECT_EQ(start.CloseViews(std::chrono::seconds(5)), 0);
        SetMainWindow(nullptr);
    }
    run.reset();
    EXPECT_TRUE(ui.calls.empty());

    CaptureError error;
    auto reader = CaptureReader::Open(path, error);
    ASSERT_NE(reader, nullptr) << error.message;
    reader->KeepPositions();
    std::vector<std::string> positions;
    int logs = 0;
    CaptureReader::Packet packet;
    while (reader->Next(packet, error) == CaptureReader::Status::kPacket) {
        if (packet.position) {
            const std::string line(packet.bytes.begin(), packet.bytes.end());
            positions.push_back(line.substr(line.find("\"type\"")));
        } else if (packet.direction == FrameDirection::kFromModem && packet.bytes[0] == 0x10) {
            ++logs;
        }
    }
    EXPECT_EQ(error.message, "");
    EXPECT_GT(logs, 0);
    EXPECT_EQ(positions,
              (std::vector<std::string>{R"("type":"position","lat":48.1377583,"lon":11.5778000,)"
                                        R"("alt":529.00,"speed":12.50,"fix":"3d"})",
                                        R"("type":"position","fix":"none"})"}));
}

}  // namespace
}  // namespace norvane
