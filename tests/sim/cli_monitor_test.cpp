// norvane-cli monitor against the running simulator: reports as JSON lines, the stop frames on
// SIGINT, and the exit statuses for a port that cannot be opened or goes away.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "diag/command_table.h"
#include "session/monitoring_session.h"
#include "tests/support/frames.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::RowBytes;

// norvane-cli monitor as a child, its standard output and error read through pipes.
class MonitorProcess {
  public:
    explicit MonitorProcess(std::vector<std::string> args) {
        int out[2];
        int err[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all = {NORVANE_BINARY_DIR "/tools/norvane-cli", "monitor"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~MonitorProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
    }

    // The next line of standard output, or "" when none comes within `limit`.
    std::string ReadLine(std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        for (;;) {
            if (const auto nl = outText_.find('\n'); nl != std::string::npos) {
                std::string line = outText_.substr(0, nl);
                outText_.erase(0, nl + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0 || !ReadSome(out_, outText_, static_cast<int>(left.count()))) {
                return "";
            }
        }
    }
    // Waits for the exit; returns the exit status, or -1 after `limit` or a signal.
    int Wait(std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                while (ReadSome(err_, errText_, 0)) {
                }
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(10000);
        }
        return -1;
    }
    void Signal(int sig) { kill(pid_, sig); }
    const std::string& Errors() const { return errText_; }

  private:
    static bool ReadSome(int fd, std::string& into, int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) {
            return false;
        }
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) {
            return false;
        }
        into.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outText_;
    std::string errText_;
};

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(CliMonitor, PrintsReportsWithinTwoSecondsAndSendsStopFramesOnSigint) {
    test::SimProcess sim({"--seed", "7"});
    const auto start = Clock::now();
    MonitorProcess monitor({sim.Entry()});
    const std::string line = monitor.ReadLine(std::chrono::milliseconds(2000));
    EXPECT_LE(Clock::now() - start, std::chrono::milliseconds(2100));
    EXPECT_EQ(line.rfind("{\"time\":\"", 0), 0U) << line;
    EXPECT_NE(line.find("\",\"type\":\"cells\",\"hours\":"), std::string::npos) << line;
    EXPECT_EQ(line.back(), '}');

    monitor.Signal(SIGINT);
    EXPECT_EQ(monitor.Wait(std::chrono::milliseconds(3000)), 0) << monitor.Errors();
    sim.Stop();
    Bytes expected = test::StoredBytes(DiagProbeFrame);
    for (const Bytes& part :
         {RowBytes(kRowCellsOn), RowBytes(kRowAgcOff), RowBytes(kRowCellsOff), Bytes{0x7E}}) {
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(ReadFile(sim.recordPath()), expected);
}

TEST(CliMonitor, SarPaOptionSwitchesTheSecondReportOn) {
    test::SimProcess sim({"--seed", "8"});
    MonitorProcess monitor({"--sar-pa", sim.link()});
    bool sawSarPa = false;
    for (int i = 0; i < 6 && !sawSarPa; ++i) {
        sawSarPa = monitor.ReadLine(std::chrono::milliseconds(2000)).find("\"type\":\"sar_pa\"") !=
                   std::string::npos;
    }
    EXPECT_TRUE(sawSarPa);
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(std::chrono::milliseconds(3000)), 0);
}

TEST(CliMonitor, PortThatCannotBeOpenedExitsTwoWithTheReason) {
    MonitorProcess monitor({"/nonexistent/ttyUSB9"});
    EXPECT_EQ(monitor.Wait(std::chrono::milliseconds(3000)), 2);
    EXPECT_NE(monitor.Errors().find("Error while opening ComPort"), std::string::npos)
        << monitor.Errors();
}

TEST(CliMonitor, PortThatGoesAwayExitsOneWithAClearLine) {
    test::SimProcess sim({"--seed", "9"});
    MonitorProcess monitor({sim.link()});
    EXPECT_FALSE(monitor.ReadLine(std::chrono::milliseconds(2000)).empty());
    sim.Stop();
    EXPECT_EQ(monitor.Wait(std::chrono::milliseconds(4000)), 1);
    EXPECT_NE(monitor.Errors().find("has gone away"), std::string::npos) << monitor.Errors();
}

}  // namespace
}  // namespace norvane
