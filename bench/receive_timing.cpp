// Measured, not asserted: the CPU time while the receive loop waits on a silent open port; and
// while blocked in poll() on the udev monitor and the simulator link's directory watch, as the
// tools do while a lost modem is away. (The time from a modem's write to the screen is
// bench_receive_rate's.)
// Usage: bench_receive_timing [SECONDS]  (each part runs SECONDS, default 30)
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "link/udev_watch.h"
#include "session/receive_thread.h"
#include "tests/support/pty_modem.h"

namespace {

using namespace norvane;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
Clock::duration After(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Prints the CPU time this process spends while `wait` runs; `wait` returns its wake-ups.
template <typename Wait>
void MeasureIdle(const char* what, Wait wait) {
    const auto cpu = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double cpu0 = cpu();
    const auto t0 = Clock::now();
    const auto wakeups = static_cast<double>(wait());
    const double wall = Ms(Clock::now() - t0) / 1000, used = cpu() - cpu0;
    std::printf("%s for %.1f s: CPU %.4f s (%.5f %% of a core), %.0f wake-ups (%.2f/s)\n", what,
                wall, used, 100 * used / wall, wakeups, wakeups / wall);
}

// An open port on a silent pty, read by the receive loop.
struct OpenPort : ReportSink, MessageSink {
    void ShowCellReport(const CellReport&) override {}
    void ShowSarPaReport(const SarPaReport&) override {}
    void MessageBox(std::string_view, std::string_view) override {}
    OpenPort() { reader.Start(port, *this, *this, &stats); }

    test::PtyModem pty{test::Peer::kDeaf};
    PortError error;
    SerialPort port = SerialPort::Open(pty.slave(), error);
    ReceiveStats stats;
    ReceiveThread reader;
};

int Watch(double seconds) {
    char dir[] = "/tmp/norvane-watch-idle-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return 1;
    }
    ModemIdentity lost;  // waiting for the simulator's link: both descriptors are in use
    lost.devnode = std::string(dir) + "/norvane-sim";
    Waiter waiter(lost, lost.devnode);
    const std::error_code failed = waiter.Start();
    if (!failed) {
        waiter.LookNow();
        MeasureIdle("waiting on the udev watch", [&] {
            int wakeups = 0;
            for (auto now = Clock::now(), end = now + After(seconds); now < end;
                 now = Clock::now()) {
                pollfd fds[2] = {{waiter.udevFd(), POLLIN, 0}, {waiter.linkFd(), POLLIN, 0}};
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
                if (poll(fds, 2, static_cast<int>(left)) > 0 && ++wakeups) {
                    waiter.ReadEvents();
                }
            }
            return wakeups;
        });
    }
    rmdir(dir);
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30;
    if (argc > 2 || seconds <= 0) {
        std::fprintf(stderr, "usage: %s [SECONDS]\n", argv[0]);
        return 2;
    }
    OpenPort idle;
    MeasureIdle("idle on an open port", [&] {
        std::this_thread::sleep_for(After(seconds));
        return idle.stats.reads.load();
    });
    return Watch(seconds);
}
