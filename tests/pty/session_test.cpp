// The monitoring session's bytes on the wire and its receive thread, against a modem on the
// master side of a real pseudo terminal.
#include "session/monitoring_session.h"

#include <chrono>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "diag/command_table.h"
#include "tests/support/pty_modem.h"
#include "tests/support/reports.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::CellListFrame;
using test::Concat;
using test::Peer;
using test::PtyModem;
using test::RowBytes;
using test::SarPaFrame;

const Bytes kProbe = test::StoredBytes(DiagProbeFrame);
const Bytes kStop = Concat({RowBytes(kRowAgcOff), RowBytes(kRowCellsOff), Bytes{0x7E}});

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 3s) {
    for (const auto end = Clock::now() + limit; !pred(); std::this_thread::sleep_for(10ms)) {
        if (Clock::now() > end) {
            return false;
        }
    }
    return true;
}

// Records what the session asks of the window; a message notes whether the thread ran.
class RecordingView : public MonitorView, public test::RecordingReports {
  public:
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
                            session != nullptr && session->ReceiveThreadRunning()});
    }
    void ShowCellReport(const CellReport& r) override { RecordingReports::ShowCellReport(r); }
    void ShowSarPaReport(const SarPaReport& r) override { RecordingReports::ShowSarPaReport(r); }
    std::vector<Message> Messages() {
        const std::lock_guard lock(mutex);
        return messages;
    }

    std::string entry;
    MonitoringSession* session = nullptr;
    int barResets = 0;
    std::string upTime;
    std::mutex mutex;
    std::vector<Message> messages;
};

class Session : public ::testing::Test {
  protected:
    void Start(PtyModem& modem) {
        view.entry = modem.Entry();
        session.Start();
    }
    RecordingView view;
    ReceiveStats stats;
    MonitoringSession session{view, &stats};
    void SetUp() override { view.session = &session; }
};

TEST_F(Session, StartProbesThenSwitchesCellsOnAndExitSendsTheStopFramesThenCloses) {
    PtyModem modem;
    Start(modem);
    ASSERT_TRUE(session.PortOpen());
    EXPECT_TRUE(session.ReceiveThreadRunning());
    EXPECT_EQ(modem.WaitFor(14 + 260), Concat({kProbe, RowBytes(kRowCellsOn)}));
    modem.Clear();
    session.Stop();
    EXPECT_FALSE(session.PortOpen());
    EXPECT_FALSE(session.ReceiveThreadRunning());
    ASSERT_EQ(kStop.size(), 15U + 260U + 1U);
    EXPECT_EQ(modem.WaitFor(kStop.size()), kStop);
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(Session, SilentModemGetsModeSwitchAndInfoBeforeTheThread) {
    PtyModem modem(Peer::kSilent);
    Start(modem);
    const Bytes expected =
        Concat({kProbe, Bytes{0x7E}, Bytes(kModeSwitchText.begin(), kModeSwitchText.end()),
                RowBytes(kRowCellsOn)});
    EXPECT_EQ(modem.WaitFor(expected.size()), expected);
    const auto messages = view.Messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].text, "Change Mode \nFor use need Reset modem !!! ");
    EXPECT_EQ(messages[0].caption, "Info");
    EXPECT_FALSE(messages[0].threadRunning);
    EXPECT_TRUE(session.ReceiveThreadRunning());
}

TEST_F(Session, ButtonsWriteTheirRowsAndShutdownSendsNothing) {
    PtyModem modem;
    Start(modem);
    modem.WaitFor(14 + 260);
    const struct {
        void (MonitoringSession::*press)();
        Bytes expected;
    } cases[] = {
        {&MonitoringSession::SwitchSarPaOn, Concat({RowBytes("ON_AGC"), RowBytes("ON_AGC1"),
                                                    RowBytes("ON_AGC2"), RowBytes("ON_AGC3")})},
        {&MonitoringSession::SwitchSarPaOff, RowBytes(kRowAgcOff)},
        {&MonitoringSession::SwitchCellsOn, RowBytes(kRowCellsOn)},
        {&MonitoringSession::SwitchCellsOff, RowBytes(kRowCellsOff)},
    };
    for (const auto& c : cases) {
        modem.Clear();
        (session.*c.press)();
        EXPECT_EQ(modem.WaitFor(c.expected.size()), c.expected);
    }
    EXPECT_EQ(view.upTime, "RSCP Off");
    modem.Clear();
    session.Shutdown();
    EXPECT_FALSE(session.PortOpen());
    EXPECT_TRUE(modem.Quiet().empty());
}

TEST_F(Session, WithoutPortNothingIsWrittenAndAFailedChangeFreesTheOldPort) {
    session.Start();
    EXPECT_FALSE(session.ReceiveThreadRunning());
    ASSERT_EQ(view.Messages().size(), 1U);
    EXPECT_EQ(view.Messages()[0].text, "          No Mobile Port !          ");
    EXPECT_EQ(view.Messages()[0].caption, "Error");
    session.SwitchSarPaOn();  // writes to no port go unnoticed
    session.Stop();

    PtyModem modem;
    Start(modem);
    view.entry = "/nonexistent/ttyNOPE - gone";
    session.SelectPort();
    EXPECT_EQ(view.barResets, 1);
    EXPECT_FALSE(session.PortOpen());
    EXPECT_FALSE(session.ReceiveThreadRunning());
    ASSERT_EQ(view.Messages().size(), 2U);
    EXPECT_EQ(view.Messages()[1].text,
              "Error while opening ComPort\n/nonexistent/ttyNOPE: No such file or directory.");
    view.entry = modem.Entry();
    session.SelectPort();
    EXPECT_TRUE(session.PortOpen()) << "the old port was closed";
}

TEST_F(Session, TwentyPortChangesLeaveOneThreadAndNoDescriptor) {
    PtyModem modem;
    const int fdsBefore = test::DescriptorCount();
    const int threadsBefore = test::ThreadCount();
    Start(modem);
    for (int i = 0; i < 20; ++i) {
        session.SelectPort();
        ASSERT_TRUE(session.PortOpen()) << "change " << i;
        EXPECT_EQ(test::ThreadCount(), threadsBefore + 1) << "change " << i;
    }
    session.Stop();
    EXPECT_EQ(test::ThreadCount(), threadsBefore);
    EXPECT_EQ(test::DescriptorCount(), fdsBefore);
}

TEST_F(Session, EveryReportOfADeliveryIsHandedOnInOrder) {
    PtyModem modem;
    Start(modem);
    modem.WaitFor(14 + 260);
    Bytes burst = {0x7E};  // a leading flag, as some modems send
    Bytes bad = CellListFrame(300);
    bad[bad.size() - 2] ^= 0x01;  // broken check sequence: dropped
    for (const Bytes& f : {CellListFrame(125), SarPaFrame(79), Bytes{0x01, 0x02, 0x7E},
                           CellListFrame(126), CellListFrame(0x17D), SarPaFrame(81), bad}) {
        burst.insert(burst.end(), f.begin(), f.end());
    }
    modem.Send(burst);
    ASSERT_TRUE(WaitFor([&] { return view.Seen().size() >= 5; }));
    modem.Send(CellListFrame(7));
    ASSERT_TRUE(WaitFor([&] { return view.Seen().size() >= 6; }));
    session.Shutdown();
    EXPECT_EQ(view.Seen(), (std::vector<int>{125, -79, 126, 0x17D, -81, 7}));
    EXPECT_EQ(stats.badFcs.load(), 2u);  // the two-byte junk and the broken frame
    EXPECT_EQ(stats.reports.load(), 6u);
}

TEST_F(Session, GoneModemKeepsTheLoopPacedAndShutdownEndsItAtOnce) {
    PtyModem modem;
    Start(modem);
    modem.CloseMaster();
    std::this_thread::sleep_for(1200ms);  // the read in progress has ended by now
    const auto before = stats.reads.load();
    std::this_thread::sleep_for(2s);
    const auto perTwoSeconds = stats.reads.load() - before;
    EXPECT_GE(perTwoSeconds, 2u);  // still reading...
    EXPECT_LE(perTwoSeconds, 6u);  // ...about twice a second, no busy loop
    const auto stop = Clock::now();
    session.Shutdown();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - stop).count(), 0.3);
}

TEST(ReceiveThread, OnAClosedPortShowsTheCommErrorAndEnds) {
    SerialPort closed;
    test::RecordingMessages messages;
    test::RecordingReports reports;
    ReceiveThread thread;
    thread.Start(closed, reports, messages);
    ASSERT_TRUE(WaitFor([&] { return !thread.Running(); }));
    thread.Stop();
    EXPECT_EQ(thread.Result(), 0);
    ASSERT_EQ(messages.All().size(), 1u);
    EXPECT_EQ(messages.All()[0].text, "Error OpenComPort");
    EXPECT_EQ(messages.All()[0].caption, "Bad CommError");
}

}  // namespace
}  // namespace norvane
