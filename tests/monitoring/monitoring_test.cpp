// The bytes the monitoring control puts on the wire, checked by a peer on the master side of a
// real pseudo terminal.
#include "diag/monitoring.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "diag/command_table.h"
#include "diag/hdlc.h"

namespace norvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RowBytes(std::string_view name) {
    const DiagCommandRow* row = FindCommandRow(name);
    EXPECT_NE(row, nullptr) << name;
    std::array<std::uint8_t, kFrameBufferSize> buffer{};
    const std::size_t n = StoredFrameToBytes(row ? row->strFrame : std::string_view{}, buffer);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes ProbeBytes() {
    std::array<std::uint8_t, kFrameBufferSize> buffer{};
    const std::size_t n = StoredFrameToBytes(DiagProbeFrame, buffer);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// The modem side: the master of a pty. Collects every byte the host writes; when answering,
// replies to each probe with a loopback frame.
class PtyModem {
  public:
    explicit PtyModem(bool answers) : answers_(answers) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(grantpt(master_), 0);
        EXPECT_EQ(unlockpt(master_), 0);
        slave_ = ptsname(master_);
        // Keep one slave descriptor open so the master never sees a hang-up between opens.
        holder_ = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        tcgetattr(holder_, &tio);
        cfmakeraw(&tio);
        tcsetattr(holder_, TCSANOW, &tio);
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyModem() {
        stop_ = true;
        thread_.join();
        close(holder_);
        close(master_);
    }

    std::string Entry() const { return slave_ + " - test modem"; }

    Bytes Received() {
        const std::lock_guard lock(mutex_);
        return received_;
    }
    void Clear() {
        const std::lock_guard lock(mutex_);
        received_.clear();
    }
    // Waits until `count` bytes have arrived or two seconds have passed.
    Bytes WaitFor(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Received().size() >= count) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // Anything written beyond `count` arrives well within this.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return Received();
    }

  private:
    void Run() {
        std::array<std::uint8_t, 4096> chunk{};
        const Bytes probe = ProbeBytes();
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) {
                continue;
            }
            const ssize_t n = read(master_, chunk.data(), chunk.size());
            if (n <= 0) {
                continue;
            }
            const std::lock_guard lock(mutex_);
            received_.insert(received_.end(), chunk.begin(), chunk.begin() + n);
            if (answers_ && received_.size() >= probe.size() &&
                std::equal(probe.begin(), probe.end(),
                           received_.end() - static_cast<std::ptrdiff_t>(probe.size()))) {
                const std::array<std::uint8_t, 11> payload{0x7B, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
                std::array<std::uint8_t, 32> reply{};
                const std::size_t len = HdlcEncode(payload, reply);
                (void)!write(master_, reply.data(), len);
            }
        }
    }

    bool answers_;
    int master_ = -1;
    int holder_ = -1;
    std::string slave_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Bytes received_;
    std::thread thread_;
};

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

int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (readdir(d) != nullptr) {
            ++n;
        }
        closedir(d);
    }
    return n;
}

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
    const int fdsBefore = CountEntries("/proc/self/fd");
    const int threadsBefore = CountEntries("/proc/self/task");
    control.StartMonitoring();
    for (int i = 0; i < 20; ++i) {
        control.OnCbnSelchangePort();
        ASSERT_NE(g_hComPort.load(), nullptr) << "change " << i;
        EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore + 1) << "change " << i;
    }
    EXPECT_EQ(view.barResets, 20);
    control.OnBnClickedExit();
    EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore);
    EXPECT_EQ(CountEntries("/proc/self/fd"), fdsBefore);
}

}  // namespace
}  // namespace norvane
