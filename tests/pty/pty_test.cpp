// The serial channel and the monitoring session against a modem on the master side of a real
// pseudo terminal: opening (exclusive, with typed reasons), reads paced and bounded, a port that
// goes away, writes within their budget; the session's bytes on the wire and its receive thread.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <future>
#include <ostream>

#include "diag/command_table.h"
#include "link/serial_port.h"
#include "session/monitoring_session.h"
#include "session/texts.h"
#include "tests/support/pty_modem.h"
#include "tests/support/reports.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::Concat;
using test::PtyModem;
using test::RowBytes;

// The message a failed open shows, or "" when it opened.
std::string OpenText(const std::string& path) {
    PortError error;
    return SerialPort::Open(path, error).IsOpen() ? "" : PortErrorText(error);
}
SerialPort OpenOrFail(const std::string& path) {
    PortError error;
    SerialPort port = SerialPort::Open(path, error);
    EXPECT_TRUE(port.IsOpen()) << PortErrorText(error);
    return port;
}
double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

TEST(SerialOpen, LineSettingsAreRawEightNoneOneAt115200KeepingHardwareFlowOrThePortIsRefused) {
    PtyModem modem;
    const int probe = open(modem.slave().c_str(), O_RDWR | O_NOCTTY);
    for (const bool hardwareFlow : {true, false}) {
        termios t{};
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        t.c_iflag |= IXON | IXOFF | ICRNL;
        t.c_cflag = (t.c_cflag & ~CRTSCTS) | (hardwareFlow ? CRTSCTS : 0) | PARENB | CSTOPB;
        ASSERT_EQ(tcsetattr(probe, TCSANOW, &t), 0);
        SerialPort port = OpenOrFail(modem.slave());
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, hardwareFlow);
        EXPECT_EQ(cfgetispeed(&t), B115200);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    }
    // A terminal that keeps an input, output or local flag (root can lock bits) is refused.
    const std::pair<tcflag_t termios::*, tcflag_t> kept[] = {
        {&termios::c_iflag, IXON}, {&termios::c_oflag, OPOST}, {&termios::c_lflag, ICANON}};
    for (const auto& [flags, bit] : kept) {
        termios t{}, lock{};
        lock.*flags = bit;
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        t.*flags |= bit;
        if (tcsetattr(probe, TCSANOW, &t) == 0 && ioctl(probe, TIOCSLCKTRMIOS, &lock) == 0) {
            EXPECT_EQ(OpenText(modem.slave()), kHandleErrorText) << bit;
            const termios none{};
            ioctl(probe, TIOCSLCKTRMIOS, &none);
        }
    }
    close(probe);
}

TEST(SerialOpen, RefusalsNameTheirReasonAndAPortHeldElsewhereIsRefusedUntilReleased) {
    EXPECT_EQ(OpenText("/dev/null"), kHandleErrorText);  // not a terminal
    PtyModem modem;
    const std::string inUse = "Error while opening ComPort\n" + modem.slave() +
                              ": the port is in use by another program or window.";
    {
        SerialPort first = OpenOrFail(modem.slave());
        EXPECT_EQ(OpenText(modem.slave()), inUse);
        SerialPort moved = std::move(first);  // the lock goes with the descriptor
        EXPECT_EQ(OpenText(modem.slave()), inUse);
    }
    const int other = open(modem.slave().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenText(modem.slave()), inUse);
    close(other);
    EXPECT_EQ(OpenText(modem.slave()), "");

    // Refused for want of permission: the advice names the group when it may use the port.
    struct stat st {};
    ASSERT_EQ(stat(modem.slave().c_str(), &st), 0);
    const std::string g = getgrgid(st.st_gid)->gr_name;
    ASSERT_EQ(chmod(modem.slave().c_str(), 0660), 0);  // the group may use it
    EXPECT_EQ(PortErrorText({PortError::Step::kOpen, EACCES, modem.slave()}),
              "Error while opening ComPort\n" + modem.slave() +
                  ": Permission denied. Members of the group \"" + g +
                  "\" may use it: sudo usermod -aG " + g + " $USER, then log out and in again.");
}

const Bytes kFrame = test::EncodeFrame({0x10, 0x00, 0x7E, 0x7D, 0x01});
const Bytes kHead(kFrame.begin(), kFrame.begin() + 3), kTail(kFrame.begin() + 3, kFrame.end());
const int kSize = static_cast<int>(kFrame.size()), kMax = static_cast<int>(kFrameBufferSize);
const Bytes kFull = Concat({Bytes(kFrameBufferSize - 1, 0x42), {0x7E}});  // fills the buffer
constexpr ReadStatus kData = ReadStatus::kData, kSilence = ReadStatus::kSilence,
                     kOverflow = ReadStatus::kOverflow;

// A read while the modem sends `chunks`, each after `gapMs`: what it gives, within how long.
struct ReadCase {
    const char* name;
    std::vector<Bytes> chunks;
    int gapMs;
    ReadStatus status;
    int expected;
    double minSeconds, maxSeconds;
};
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class SerialRead : public ::testing::Test {
  protected:
    std::pair<ReadResult, double> Read(const std::vector<Bytes>& chunks = {}, int gapMs = 0) {
        std::thread sender([&] {
            for (const Bytes& c : chunks) {
                std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
                modem_.Send(c);
            }
        });
        const auto start = Clock::now();
        const ReadResult got = port_.ReadFrame({buffer_.data(), kFrameBufferSize}, kHdlcFlag);
        sender.join();
        return {got, Seconds(start)};
    }
    PtyModem modem_;
    SerialPort port_ = OpenOrFail(modem_.slave());
    Bytes buffer_ = Bytes(kFrameBufferSize + 16, 0xAA);
};
class SerialReads : public SerialRead, public ::testing::WithParamInterface<ReadCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialReads,
    ::testing::Values(
        ReadCase{"SilenceGivesNothingAfterPauseAndTimeout", {}, 0, kSilence, 0, 0.9, 1.8},
        ReadCase{"QueuedFrameComesAfterThePause", {kFrame}, 0, kData, kSize, 0.45, 0.9},
        ReadCase{"FrameInPiecesComesWhole", {kHead, kTail}, 350, kData, kSize, 0.6, 1.2},
        ReadCase{"FlagInsideAChunkEndsNothing", {{1, 0x7E, 2}, {3, 0x7E}}, 400, kData, 5, 0.7, 1.3},
        ReadCase{"PartialFrameThenSilenceGivesNothing", {kHead}, 550, kSilence, 0, 0.95, 1.6},
        ReadCase{"FrameFillingTheBuffer", {kFull}, 0, kData, kMax, 0.45, 2},
        ReadCase{"BytesPastTheBufferOverflow",
                 {Bytes(kFrameBufferSize + 2000, 0x42)},
                 0,
                 kOverflow,
                 0,
                 0.45,
                 2.5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(SerialReads, ReturnWholeFramesOnlyAndNothingPastTheBuffer) {
    const auto [got, took] = Read(GetParam().chunks, GetParam().gapMs);
    EXPECT_EQ(got.status, GetParam().status);
    EXPECT_EQ(got.length, static_cast<std::size_t>(GetParam().expected));
    EXPECT_GT(took, GetParam().minSeconds);
    EXPECT_LT(took, GetParam().maxSeconds);
    EXPECT_EQ(Bytes(buffer_.begin() + kMax, buffer_.end()), Bytes(16, 0xAA));
}

TEST_F(SerialRead, WokenThenGoneThenClosedPortEndsReadsAndKeepsThePace) {
    auto reading = std::async(std::launch::async, [this] { return Read(); });
    std::this_thread::sleep_for(700ms);  // past the opening pause, waiting for bytes
    const auto woke = Clock::now();
    port_.Wake();
    EXPECT_EQ(reading.get().first.status, ReadStatus::kWoken);
    EXPECT_LT(Seconds(woke), 0.2);
    EXPECT_LT(Read().second, 0.2) << "a woken port ends reads even in the opening pause";
    port_.ClearWake();
    modem_.Send(kFrame);
    EXPECT_EQ(Read().first.length, static_cast<std::size_t>(kSize));

    reading = std::async(std::launch::async, [this] { return Read(); });
    std::this_thread::sleep_for(700ms);
    modem_.CloseMaster();
    EXPECT_EQ(reading.get().first.status, ReadStatus::kGone);
    for (int closed = 0; closed < 2; ++closed, port_.Close()) {
        const auto [got, took] = Read();
        EXPECT_EQ(got.status, closed == 0 ? ReadStatus::kGone : ReadStatus::kSilence);
        EXPECT_GT(took, 0.45) << "no busy loop on a gone port";
        EXPECT_LT(took, 0.9);
        EXPECT_FALSE(port_.Write(kFrame));
    }
}

TEST(SerialWrite, GivesUpAfterItsBudget) {
    // Nobody reads: the pty's queue fills, then 1000 bytes wait their 50 + 1000 ms and fail.
    PtyModem deaf(test::Peer::kDeaf);
    SerialPort port = OpenOrFail(deaf.slave());
    auto start = Clock::now();
    for (int i = 0; i < 1000 && port.Write(Bytes(1000, 0x55)); ++i) {
        start = Clock::now();
    }
    EXPECT_GT(Seconds(start), 0.9);
    EXPECT_LT(Seconds(start), 2.5);
}

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
    MonitoringSession session{view};
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
    EXPECT_EQ(view.upTime, "RSCP Off");
    EXPECT_FALSE(session.PortOpen());
    EXPECT_FALSE(session.ReceiveThreadRunning());
    EXPECT_TRUE(view.Messages().empty());
}

// The masks on the wire for each set of views: the NetMonitor's fixed frames while it is alone;
// another view's codes asked for once with the item counts, then the union of each equipment
// id, so one view switching off keeps the other's bits; the radio window's own session sends
// none of the NetMonitor's frames. A modem that does not tell its item counts is asked once and
// gets masks of the usual sizes. The radio window's NR codes go only to a modem with NR (2561
// items on equipment 11); one with 521 gets no NR bit and no word about them.
TEST(SessionMasks, EachEquipmentIdGetsTheUnionOfWhatTheOpenViewsNeed) {
    const std::vector<std::uint16_t> radio(kRadioLogCodes.begin(), kRadioLogCodes.end());
    const Bytes lteOn = test::MaskFrame(
        11, 521,
        {0xB0C0, 0xB0C2, 0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED, 0xB179, 0xB17F, 0xB180, 0xB193, 0xB195});
    const Bytes nrOn = test::MaskFrame(11, 2561,
                                       {0xB0C0, 0xB0C2, 0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED, 0xB179,
                                        0xB17F, 0xB180, 0xB193, 0xB195, 0xB823, 0xB97F});
    const Bytes ask = test::EncodeFrame({0x73, 0, 0, 0, 1, 0, 0, 0});
    using Act = std::function<void(MonitoringSession&)>;
    const auto codes = [](std::vector<std::uint16_t> c) {
        return [c](MonitoringSession& s) { s.SetLogCodes(LogView::kRadio, c); };
    };
    const struct {
        bool monitorFrames;
        std::vector<std::pair<Act, Bytes>> steps;
        test::Peer peer = test::Peer::kAnswers;
        std::uint32_t lteItems = 521;
    } cases[] = {
        {true,
         {{[](MonitoringSession& s) { s.Start(); }, Concat({kProbe, RowBytes("ON Cell RSSI")})},
          {codes(radio), Concat({ask, test::MaskFrame(4, 4087, {0x4005, 0x4127, 0x412F}), lteOn})},
          {&MonitoringSession::SwitchCellsOff, test::MaskFrame(4, 4087, {0x4005, 0x4127, 0x412F})},
          {codes({0xB193}),
           Concat({test::MaskFrame(4, 4087, {}), test::MaskFrame(11, 521, {0xB193})})},
          {&MonitoringSession::SwitchCellsOn, RowBytes("ON Cell RSSI")},
          {codes({}), test::MaskFrame(11, 521, {})},
          {&MonitoringSession::SwitchCellsOff, RowBytes("OFF Cell RSSI")},
          {&MonitoringSession::Stop,
           Concat({RowBytes("OFF_AGC"), RowBytes("OFF Cell RSSI"), {0x7E}})}}},
        {false,
         {{codes(radio), {}},
          {[](MonitoringSession& s) { s.Start(); },
           Concat({kProbe, ask, test::MaskFrame(4, 4087, {0x4005, 0x4127, 0x412F}), lteOn})},
          {&MonitoringSession::Stop,
           Concat({test::MaskFrame(4, 4087, {}), test::MaskFrame(11, 521, {}), {0x7E}})}}},
        {false,
         {{[](MonitoringSession& s) { s.Start(); }, kProbe},
          {codes(radio), Concat({ask, test::MaskFrame(4, 1917, {0x4005, 0x4127, 0x412F}), lteOn})},
          {codes({0xB193}),
           Concat({test::MaskFrame(4, 1917, {}), test::MaskFrame(11, 521, {0xB193})})}},
         test::Peer::kNoLogConfig},
        {false,
         {{[](MonitoringSession& s) { s.Start(); }, kProbe},
          {codes(radio), Concat({ask, test::MaskFrame(4, 4087, {0x4005, 0x4127, 0x412F}), nrOn})},
          {codes({0xB97F}),
           Concat({test::MaskFrame(4, 4087, {}), test::MaskFrame(11, 2561, {0xB97F})})}},
         test::Peer::kAnswers,
         2561},
    };
    for (const auto& c : cases) {
        PtyModem modem(c.peer);
        modem.AnswerItemCount(11, c.lteItems);
        test::RecordingView view;
        view.entry = modem.Entry();
        MonitoringSession session(view, nullptr, c.monitorFrames);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            modem.Clear();
            c.steps[i].first(session);
            EXPECT_EQ(modem.WaitFor(c.steps[i].second.size()), c.steps[i].second)
                << "monitor " << c.monitorFrames << ", step " << i;
        }
        EXPECT_TRUE(view.Messages().empty());
    }
}

// The modem's answer to a mask tells what it switched on: a log another view needs that it left
// off is said once, as info (a published LTE answer without 0xB193; a refusal, which names no
// equipment id); a modem that does not answer leaves nothing to say.
TEST(SessionMasks, LogsTheModemLeavesOffAreSaid) {
    const std::vector<std::uint16_t> radio(kRadioLogCodes.begin(), kRadioLogCodes.end());
    const struct {
        Bytes answer;
        std::vector<std::string> said;
    } cases[] = {
        {test::HexBytes("7300000003000000000000000b0000000902000000000000000000000000000004000000"
                        "0000000000000000070000000f3c00000000000000000000000000000000008001008000"
                        "0000000000000000000000000000"),
         {"The modem did not switch on logs 0xB179, 0xB193, 0xB195"}},
        {test::HexBytes("730000000300000001000000"),
         {"The modem did not switch on logs 0x4005, 0x4127, 0x412F",
          "The modem did not switch on logs 0xB0C0, 0xB0C2, 0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED, "
          "0xB179, 0xB17F, 0xB180, 0xB193, 0xB195"}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        PtyModem modem(c.answer.empty() ? test::Peer::kNoLogConfig : test::Peer::kAnswers);
        modem.AnswerMasksWith(c.answer);
        test::RecordingView view;
        view.entry = modem.Entry();
        MonitoringSession session(view, nullptr, false);
        session.SetLogCodes(LogView::kRadio, radio);
        session.Start();
        std::vector<std::string> said;
        for (const auto& m : view.Messages()) {
            said.push_back(m.caption == "Info" ? m.text : m.caption + ": " + m.text);
        }
        EXPECT_EQ(said, c.said);
    }
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

TEST_F(Session, AFailedChangeFreesTheOldPort) {
    PtyModem modem;
    Start(modem);
    view.entry = "norvane-nope - gone";
    session.SelectPort();
    EXPECT_EQ(view.barResets, 1);
    EXPECT_FALSE(session.PortOpen());
    EXPECT_FALSE(session.ReceiveThreadRunning());
    const auto messages = view.Messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].text,
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
