// A lost port and the modem's return, on real ptys reached through a symbolic link as the
// simulator publishes its own: the link replaced by one leading to a new live pty is the same
// modem back. The session is driven as its owner drives it: poll its descriptor, HandleEvents.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "session/texts.h"
#include "tests/support/pty_modem.h"
#include "tests/support/resume_support.h"

namespace norvane {
namespace {

using test::Bytes;
using test::PtyModem;
using test::Pump;

const Bytes kStartUp =
    test::Concat({test::StoredBytes(DiagProbeFrame), test::RowBytes(kRowCellsOn)});

class Resume : public ::testing::Test {
  protected:
    void SetUp() override {
        Publish(*modem_);
        view_.entry = link_ + " - Simulated modem";
        session_.Start();
    }
    void TearDown() override { unlink(link_.c_str()); }

    // Points the link at `modem`, replacing any link in one step, as a restarted simulator does.
    void Publish(const PtyModem& modem) {
        const std::string fresh = link_ + ".new";
        ASSERT_EQ(symlink(modem.slave().c_str(), fresh.c_str()), 0);
        ASSERT_EQ(std::rename(fresh.c_str(), link_.c_str()), 0);
    }
    // The modem unplugged (the link stays, leading nowhere): the session lets the port go and
    // waits, without a message box.
    void Lose() {
        modem_.reset();  // its thread joined before its master closes
        ASSERT_TRUE(Pump(session_, [&] { return session_.WaitingForModem(); }));
        EXPECT_FALSE(session_.PortOpen());
        EXPECT_FALSE(session_.ReceiveThreadRunning());
        EXPECT_EQ(view_.upTime, kDisconnectedText);
        EXPECT_TRUE(view_.Messages().empty());
    }

    const std::string link_ = "/tmp/norvane-resume-" + std::to_string(getpid());
    std::unique_ptr<PtyModem> modem_ = std::make_unique<PtyModem>();
    test::ResumeView view_;
    MonitoringSession session_{view_};
};

TEST_F(Resume, TwentyUnplugsLeaveOneReceiveThreadAndNoDescriptorMore) {
    session_.SwitchSarPaOn();
    // The start-up exchange again, and the SAR/PA report that was on, switched on again.
    Bytes expected = kStartUp;
    for (std::string_view row : kRowsSarPaOn) {
        expected = test::Concat({expected, test::RowBytes(row)});
    }
    const int threads = test::ThreadCount(), descriptors = test::DescriptorCount();
    for (int cycle = 0; cycle < 20; ++cycle) {
        SCOPED_TRACE(cycle);
        Lose();
        auto back = std::make_unique<PtyModem>();
        Publish(*back);
        ASSERT_TRUE(Pump(session_, [&] { return back->Received().size() >= kStartUp.size(); }));
        EXPECT_TRUE(session_.ReceiveThreadRunning());
        EXPECT_EQ(back->WaitFor(expected.size()), expected);
        modem_ = std::move(back);
    }
    EXPECT_EQ(view_.states.size(), 40u);
    EXPECT_EQ(view_.returned.size(), 20u) << "a link to a dead pty is no return";
    EXPECT_EQ(test::ThreadCount(), threads);
    EXPECT_EQ(test::DescriptorCount(), descriptors);
}

// The modem comes back still in AT mode: while the change-mode message is shown, the owner takes
// in its events (a modal box's event loop); the port being started stays the session's.
TEST_F(Resume, AModemIgnoringTheProbeOnItsReturnIsStartedThoughEventsRunDuringTheMessage) {
    Lose();
    PtyModem back(test::Peer::kSilent);
    view_.isThreadRunning = [&] {  // asked while the message is shown
        session_.HandleEvents();
        return session_.ReceiveThreadRunning();
    };
    Publish(back);
    ASSERT_TRUE(Pump(session_, [&] { return !session_.WaitingForModem(); }));
    const Bytes atMode = {0x7E, 'A', 'T', '$', 'Q', 'C', 'D', 'M', 'G', '\r', '\n'};
    const Bytes expected =
        test::Concat({test::StoredBytes(DiagProbeFrame), atMode, test::RowBytes(kRowCellsOn)});
    EXPECT_EQ(back.WaitFor(expected.size()), expected);
    EXPECT_TRUE(session_.PortOpen());
    EXPECT_TRUE(session_.ReceiveThreadRunning());
    ASSERT_EQ(view_.Messages().size(), 1u);
    EXPECT_EQ(view_.Messages()[0].caption, "Info");
}

// The modem is back but another program (ModemManager, often) holds its port: the session keeps
// waiting, without a message, and starts once the port is free and the link is published again.
TEST_F(Resume, APortAnotherProgramHoldsIsWaitedPastWithoutAMessage) {
    Lose();
    PtyModem back;
    const int other = open(back.slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    Publish(back);
    ASSERT_TRUE(Pump(session_, [&] { return !view_.returned.empty(); }));
    EXPECT_TRUE(session_.WaitingForModem());
    close(other);
    Publish(back);
    ASSERT_TRUE(Pump(session_, [&] { return back.Received().size() >= kStartUp.size(); }));
    EXPECT_FALSE(session_.WaitingForModem());
    EXPECT_TRUE(view_.Messages().empty());
}

// The modem goes away while the probe waits for its answer: a lost port like any other (no
// mode switch, no message), and its return is followed.
TEST_F(Resume, APortThatGoesDuringTheProbeIsLostNotTakenForAtMode) {
    auto going = std::make_unique<PtyModem>(test::Peer::kSilent);
    Publish(*going);
    std::thread unplug([&] {
        test::Eventually([&] { return !going->Received().empty(); });
        going->CloseMaster();  // within the probe's opening pause
    });
    session_.SelectPort();
    unplug.join();
    EXPECT_EQ(going->Received(), test::StoredBytes(DiagProbeFrame));
    EXPECT_TRUE(view_.Messages().empty()) << view_.Messages()[0].text;
    EXPECT_EQ(view_.upTime, kDisconnectedText);
    EXPECT_EQ(view_.states, std::vector<bool>{true});
    EXPECT_TRUE(session_.WaitingForModem());
    PtyModem back;
    Publish(back);
    ASSERT_TRUE(Pump(session_, [&] { return back.Received().size() >= kStartUp.size(); }));
    EXPECT_EQ(back.WaitFor(kStartUp.size()), kStartUp);
}

struct WhileWaiting {
    const char* what;
    std::function<void(MonitoringSession&, test::ResumeView&, const PtyModem&)> act;
    bool startsOther;  // the other modem gets the start-up exchange
};
void PrintTo(const WhileWaiting& c, std::ostream* out) {
    *out << c.what;
}

class UserWhileWaiting : public Resume, public ::testing::WithParamInterface<WhileWaiting> {};

TEST_P(UserWhileWaiting, EndsTheWaitingAndOnlyAChosenPortIsWrittenTo) {
    Lose();
    PtyModem other;
    GetParam().act(session_, view_, other);
    EXPECT_FALSE(session_.WaitingForModem());
    Bytes head = other.WaitFor(kStartUp.size());
    head.resize(kStartUp.size());
    EXPECT_EQ(head == kStartUp, GetParam().startsOther);
    // The modem returning now is no longer followed.
    PtyModem back;
    Publish(back);
    EXPECT_FALSE(Pump(
        session_, [&] { return !back.Received().empty(); }, 1.5));
    EXPECT_TRUE(view_.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    , UserWhileWaiting,
    ::testing::Values(WhileWaiting{"Exit", [](auto& s, auto&, auto&) { s.Stop(); }, false},
                      WhileWaiting{"Esc", [](auto& s, auto&, auto&) { s.Shutdown(); }, false},
                      WhileWaiting{"AnotherPort",
                                   [](auto& s, auto& v, const PtyModem& m) {
                                       v.entry = m.Entry();
                                       s.SelectPort();
                                   },
                                   true}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace norvane
