// Two views on one port through the program's sessions, as the windows use them but without Qt:
// the owner's thread takes and leaves seats while the worker and the receive thread talk to the
// views (run under ThreadSanitizer too). Reports, the port's loss and the modem's return reach
// both views; the one session ends with the last view, after its stop frames.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "session/port_sessions.h"
#include "session/texts.h"
#include "tests/support/frames.h"
#include "tests/support/pty_modem.h"

namespace norvane {
namespace {

using test::Bytes;
using test::Concat;
using test::Eventually;
using test::MaskFrame;
using test::PtyModem;

// What the session told a view, in order, from whichever thread.
class NotingView final : public MonitorView {
  public:
    std::string PortListText() override { return {}; }
    void ResetBars() override {}
    void SetUpTimeText(std::string_view text) override { Note("line " + std::string(text)); }
    void MessageBox(std::string_view text, std::string_view) override {
        Note("message " + std::string(text));
    }
    void ShowMonitoring(std::string_view device) override {
        Note("monitoring " + std::string(device));
    }
    void ShowCellReport(const CellReport& r) override {
        Note("cells " + std::to_string(r.gsmCellCount));
    }
    void ShowSarPaReport(const SarPaReport&) override {}
    bool Saw(const std::string& what) {
        const std::lock_guard lock(mutex_);
        return std::find(log_.begin(), log_.end(), what) != log_.end();
    }
    void Forget() {
        const std::lock_guard lock(mutex_);
        log_.clear();
    }

  private:
    void Note(std::string what) {
        const std::lock_guard lock(mutex_);
        log_.push_back(std::move(what));
    }
    std::mutex mutex_;
    std::vector<std::string> log_;
};

Bytes Cells(std::uint8_t gsm) {
    const WcdmaCellRecord cells[] = {test::Cell()};
    return test::EncodeFrame(test::CellListV0(gsm, cells, gsm));
}

TEST(SharedSession, TwoViewsOnOnePortShareReportsLossAndReturnAndTheLastEndsIt) {
    const std::string link = "/tmp/norvane-shared-" + std::to_string(getpid());
    const auto publish = [&](const PtyModem& modem) {
        const std::string fresh = link + ".new";
        ASSERT_EQ(symlink(modem.slave().c_str(), fresh.c_str()), 0);
        ASSERT_EQ(std::rename(fresh.c_str(), link.c_str()), 0);
    };
    const Bytes start = Concat({test::StoredBytes(DiagProbeFrame), test::RowBytes(kRowCellsOn)});
    const Bytes radioOn = Concat({test::EncodeFrame({0x73, 0, 0, 0, 1, 0, 0, 0}),
                                  MaskFrame(4, 4087, {0x4005, 0x4127, 0x412F}),
                                  MaskFrame(11, 521,
                                            {0xB0C0, 0xB0C2, 0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED, 0xB179,
                                             0xB17F, 0xB180, 0xB193, 0xB195})});
    auto modem = std::make_unique<PtyModem>();
    publish(*modem);

    PortSessions sessions;
    NotingView monitorView, radioView;
    SessionSeat monitor(sessions, monitorView, LogView::kMonitor);
    SessionSeat radio(sessions, radioView, LogView::kRadio,
                      {kRadioLogCodes.begin(), kRadioLogCodes.end()});
    monitor.SelectPort(link + " - Simulated modem");
    EXPECT_EQ(modem->WaitFor(start.size()), start);
    modem->Clear();
    radio.SelectPort(link + " - Simulated modem");
    EXPECT_EQ(modem->WaitFor(radioOn.size()), radioOn);
    EXPECT_EQ(sessions.Running(), 1);
    EXPECT_EQ(radio.Watchers(), 2u);
    EXPECT_TRUE(Eventually([&] { return radioView.Saw("monitoring " + link); }));

    modem->Send(Cells(5));
    EXPECT_TRUE(Eventually([&] { return monitorView.Saw("cells 5") && radioView.Saw("cells 5"); }));

    modem.reset();  // unplugged
    const std::string gone = "line " + std::string(kDisconnectedText);
    EXPECT_TRUE(Eventually([&] { return monitorView.Saw(gone) && radioView.Saw(gone); }));
    monitorView.Forget();
    radioView.Forget();
    PtyModem back;
    publish(back);
    // The start-up exchange again, with both views' needs.
    const Bytes resumed = Concat({start, radioOn});
    EXPECT_EQ(back.WaitFor(resumed.size()), resumed);
    EXPECT_TRUE(Eventually([&] {
        return monitorView.Saw("monitoring " + link) && radioView.Saw("monitoring " + link);
    }));

    back.Clear();
    radio.Leave(true);
    const Bytes radioOff = Concat({MaskFrame(4, 4087, {0x4005}), MaskFrame(11, 521, {})});
    EXPECT_EQ(back.WaitFor(radioOff.size()), radioOff);
    back.Send(Cells(6));
    EXPECT_TRUE(Eventually([&] { return monitorView.Saw("cells 6"); }));
    EXPECT_FALSE(radioView.Saw("cells 6")) << "nothing reaches a view that left";

    back.Clear();
    monitor.Leave(true);
    const Bytes stop = Concat({test::RowBytes(kRowAgcOff), test::RowBytes(kRowCellsOff), {0x7E}});
    EXPECT_EQ(sessions.WaitForWorkers(std::chrono::seconds(5)), 0);
    EXPECT_EQ(back.Quiet(50), stop);
    unlink(link.c_str());
}

}  // namespace
}  // namespace norvane
