// Measured, not asserted: the time from a frame written by the simulated modem on a real pty to
// its report handed on by the receive loop; the CPU time while the loop waits on a silent open
// port; and while blocked in poll() on the udev monitor and the simulator link's directory
// watch, as the tools do while a lost modem is away.
// Usage: bench_receive_timing [SECONDS [RATE_HZ [BURST]]]  (each part runs SECONDS, default 30)
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "link/udev_watch.h"
#include "session/receive_thread.h"
#include "tests/support/pty_modem.h"
#include "tools/sim/modem.h"

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

// An open port on a pty whose modem side this process writes, read by the receive loop; keeps
// the arrival time of every cell list handed on.
struct OpenPort : ReportSink, MessageSink {
    void ShowCellReport(const CellReport&) override {
        const auto now = Clock::now();
        std::lock_guard lock(mutex);
        arrivals.push_back(now);
    }
    void ShowSarPaReport(const SarPaReport&) override {}
    void MessageBox(std::string_view, std::string_view) override {}
    OpenPort() { reader.Start(port, *this, *this, &stats); }

    std::mutex mutex;
    std::vector<Clock::time_point> arrivals;
    test::PtyModem pty{test::Peer::kDeaf};
    PortError error;
    SerialPort port = SerialPort::Open(pty.slave(), error);
    ReceiveStats stats;
    ReceiveThread reader;
};

int Latency(double seconds, double rate, int burst) {
    OpenPort p;
    sim::SimModem modem(sim::ModemOptions{.burst = burst, .numbered = true, .seed = 1});
    sim::Bytes ignored;
    modem.FromHost(test::RowBytes("ON Cell RSSI"), ignored);
    // The modem: one period's frames written at a time, the time taken just before the write.
    std::vector<Clock::time_point> written;
    const auto start = Clock::now();
    for (auto next = start + After(1 / rate); next - start < After(seconds);
         next += After(1 / rate)) {
        std::this_thread::sleep_until(next);
        sim::Bytes frames;
        const auto before = modem.CellListsSent();
        modem.Tick(static_cast<std::uint64_t>(Ms(Clock::now() - start)), 1 / rate, frames);
        written.insert(written.end(), modem.CellListsSent() - before, Clock::now());
        p.pty.Send(frames);
    }
    std::this_thread::sleep_for(After(1.5));
    p.reader.Stop();

    std::vector<double> ms;
    for (std::size_t i = 0; i < std::min(p.arrivals.size(), written.size()); ++i) {
        ms.push_back(Ms(p.arrivals[i] - written[i]));
    }
    if (ms.empty()) {
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    const auto pct = [&](double q) {
        return ms[std::min(ms.size() - 1, std::size_t(q * ms.size()))];
    };
    std::printf(
        "latency over %.0f s at %.1f Hz x %d: %zu of %zu reports, median %.2f ms, 90%% %.2f ms, "
        "worst %.2f ms, best %.2f ms\n",
        seconds, rate, burst, ms.size(), written.size(), pct(0.5), pct(0.9), ms.back(), ms[0]);
    return ms.size() == written.size() ? 0 : 1;
}

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
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30,
                 rate = argc > 2 ? std::atof(argv[2]) : 1;
    const int burst = argc > 3 ? std::atoi(argv[3]) : 1;
    if (argc > 4 || seconds <= 0 || rate <= 0 || burst < 1) {
        std::fprintf(stderr, "usage: %s [SECONDS [RATE_HZ [BURST]]]\n", argv[0]);
        return 2;
    }
    const int rc = Latency(seconds, rate, burst);
    OpenPort idle;
    MeasureIdle("idle on an open port", [&] {
        std::this_thread::sleep_for(After(seconds));
        return idle.stats.reads.load();
    });
    return rc | Watch(seconds);
}
