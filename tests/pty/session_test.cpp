// The monitoring session's bytes on the wire and its receive thread, against a modem on the
// master side of a real pseudo terminal.
#include "session/monitoring_session.h"

#include "diag/command_table.h"
#include "tests/support/pty_modem.h"
#include "tests/support/reports.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Concat;
using test::PtyModem;
using test::RowBytes;

const Bytes kProbe = test::StoredBytes(DiagProbeFrame);

class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        view.isThreadRunning = [this] { return session.ReceiveThreadRunning(); };
    }
    void Start(PtyModem& modem) {
        view.entry = modem.Entry();
        session.Start();
    }
    test::RecordingView view;
    ReceiveStats stats;
    MonitoringSession session{view, &stats};
};

TEST_F(Session, StartProbesAndSwitchesCellsOnButtonsWriteTheirRowsAndExitSendsTheStopFrames) {
    PtyModem modem;
    Start(modem);
    EXPECT_TRUE(session.ReceiveThreadRunning());
    EXPECT_EQ(modem.WaitFor(14 + 260), Concat({kProbe, RowBytes("ON Cell RSSI")}));
    const std::pair<void (MonitoringSession::*)(), Bytes> buttons[] = {
        {&MonitoringSession::SwitchSarPaOn, Concat({RowBytes("ON_AGC"), RowBytes("ON_AGC1"),
                                                    RowBytes("ON_AGC2"), RowBytes("ON_AGC3")})},
        {&MonitoringSession::SwitchSarPaOff, RowBytes("OFF_AGC")},
        {&MonitoringSession::SwitchCellsOn, RowBytes("ON Cell RSSI")},
        {&MonitoringSession::SwitchCellsOff, RowBytes("OFF Cell RSSI")},
        {&MonitoringSession::Stop,
         Concat({RowBytes("OFF_AGC"), RowBytes("OFF Cell RSSI"), {0x7E}})},
    };
    for (const auto& [press, expected] : buttons) {
        modem.Clear();
        const auto pressed = std::chrono::steady_clock::now();
        (session.*press)();
        EXPECT_LT(std::chrono::steady_clock::now() - pressed, 300ms) << "a pending read is woken";
        EXPECT_EQ(modem.WaitFor(expected.size()), expected);
    }
    EXPECT_EQ(RowBytes("OFF_AGC").size() + RowBytes("OFF Cell RSSI").size(), 15U + 260U);
    EXPECT_EQ(view.upTime, "RSCP Off");
    EXPECT_FALSE(session.PortOpen());
    EXPECT_FALSE(session.ReceiveThreadRunning());
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(Session, SilentModemGetsModeSwitchAndInfoBeforeTheThread) {
    PtyModem modem(test::Peer::kSilent);
    Start(modem);
    const Bytes expected = Concat({kProbe,
                                   {0x7E, 'A', 'T', '$', 'Q', 'C', 'D', 'M', 'G', '\r', '\n'},
                                   RowBytes("ON Cell RSSI")});
    EXPECT_EQ(modem.WaitFor(expected.size()), expected);
    const auto messages = view.Messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].text, "Change Mode \nFor use need Reset modem !!! ");
    EXPECT_EQ(messages[0].caption, "Info");
    EXPECT_FALSE(messages[0].threadRunning);
    EXPECT_TRUE(session.ReceiveThreadRunning());
}

TEST_F(Session, WithoutPortNothingIsWrittenAndAFailedChangeFreesTheOldPort) {
    session.Start();
    EXPECT_FALSE(session.ReceiveThreadRunning());
    session.SwitchSarPaOn();  // writes to no port go unnoticed
    session.Stop();
    PtyModem modem;
    Start(modem);
    view.entry = "norvane-nope - gone";
    session.SelectPort();
    EXPECT_EQ(view.barResets, 1);
    EXPECT_FALSE(session.PortOpen());
    EXPECT_FALSE(session.ReceiveThreadRunning());
    const auto messages = view.Messages();
    ASSERT_EQ(messages.size(), 2U);
    EXPECT_EQ(messages[0].text, "          No Mobile Port !          ");
    EXPECT_EQ(messages[0].caption, "Error");
    EXPECT_EQ(messages[1].text,
              "Error while opening ComPort\n/dev/norvane-nope: No such file or directory.");
    view.entry = modem.Entry();
    session.SelectPort();
    EXPECT_TRUE(session.PortOpen()) << "the old port was closed";
}

TEST(SessionEnd, TwentyPortChangesLeaveOneThreadAndEscOrDestructionSendNothingAndLeakNothing) {
    PtyModem modem;
    const int fdsBefore = test::DescriptorCount();
    const int threadsBefore = test::ThreadCount();
    for (const bool esc : {true, false}) {
        test::RecordingView view;
        view.entry = modem.Entry();
        {
            MonitoringSession session(view);
            for (int i = 0; i < 20; ++i) {
                session.SelectPort();
                ASSERT_TRUE(session.PortOpen()) << "change " << i;
                EXPECT_EQ(test::ThreadCount(), threadsBefore + 1) << "change " << i;
            }
            modem.WaitFor(14 + 260);
            modem.Clear();
            if (esc) {
                session.Shutdown();
            }
        }
        EXPECT_TRUE(modem.Quiet().empty());
        EXPECT_EQ(test::ThreadCount(), threadsBefore);
        EXPECT_EQ(test::DescriptorCount(), fdsBefore);
    }
}

}  // namespace
}  // namespace norvane
