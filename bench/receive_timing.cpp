// Timing and idle cost of the receive path and the wait for a lost modem, measured, not asserted:
//   latency  time from a frame written by the simulated modem on a real pty to its report handed
//            on by the receive loop (median, 90th percentile, worst and best);
//   idle     CPU time of this process while the receive loop waits on a silent open port;
//   watch    CPU time while it blocks in poll() on the udev monitor and the simulator link's
//            directory watch, as the tools do while a lost modem is away.
// Usage: bench_receive_timing [--seconds N] [--rate HZ] [--burst N] [--idle N] [--watch N]
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "diag/command_table.h"
#include "link/serial_port.h"
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
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
void PrintIdle(const char* what, double wall, double cpu, unsigned long long wakeups) {
    std::printf("%s for %.1f s: CPU %.4f s (%.5f %% of a core), %llu wake-ups (%.2f/s)\n", what,
                wall, cpu, 100 * cpu / wall, wakeups, static_cast<double>(wakeups) / wall);
}

// The arrival time and number of every cell list handed on; messages go to standard error.
class TimedReports : public ReportSink, public MessageSink {
  public:
    void ShowCellReport(const CellReport& r) override {
        const auto now = Clock::now();
        std::lock_guard lock(mutex_);
        arrivals.push_back({now, r.gsmCellCount});
    }
    void ShowSarPaReport(const SarPaReport&) override {}
    void MessageBox(std::string_view text, std::string_view) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    std::mutex mutex_;
    std::vector<std::pair<Clock::time_point, int>> arrivals;
};

// The open port on a pty whose modem side this process writes.
struct OpenPort {
    test::PtyModem pty{test::Peer::kDeaf};
    PortError error;
    SerialPort port = SerialPort::Open(pty.slave(), error);
    TimedReports reports;
    ReceiveStats stats;
    ReceiveThread reader;
    OpenPort() { reader.Start(port, reports, reports, &stats); }
};

int Latency(double seconds, double rate, int burst) {
    OpenPort p;
    sim::SimModem modem(sim::ModemOptions{.burst = burst, .numbered = true, .seed = 1});
    sim::Bytes ignored;
    modem.FromHost(test::RowBytes("ON Cell RSSI"), ignored);

    // The modem: one period's frames written at a time, the time taken just before the write.
    std::vector<Clock::time_point> written;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    const auto start = Clock::now();
    for (auto next = start + period; Clock::now() - start < std::chrono::duration<double>(seconds);
         next += period) {
        std::this_thread::sleep_until(next);
        sim::Bytes frames;
        const auto before = modem.CellListsSent();
        modem.Tick(static_cast<std::uint64_t>(Ms(Clock::now() - start)), 1.0 / rate, frames);
        written.insert(written.end(), modem.CellListsSent() - before, Clock::now());
        p.pty.Send(frames);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    p.reader.Stop();

    std::vector<double> latencies;
    for (std::size_t i = 0; i < p.reports.arrivals.size() && i < written.size(); ++i) {
        if (p.reports.arrivals[i].second != static_cast<int>(i % 256)) {
            std::fprintf(stderr, "report %zu out of sequence\n", i);
            return 1;
        }
        latencies.push_back(Ms(p.reports.arrivals[i].first - written[i]));
    }
    if (latencies.empty()) {
        std::fprintf(stderr, "no report arrived\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto pct = [&](double q) {
        return latencies[std::min(latencies.size() - 1, std::size_t(q * latencies.size()))];
    };
    std::printf(
        "latency over %.0f s at %.1f Hz x %d: %zu of %zu reports, median %.2f ms, "
        "90%% %.2f ms, worst %.2f ms, best %.2f ms\n",
        seconds, rate, burst, latencies.size(), written.size(), pct(0.5), pct(0.9),
        latencies.back(), latencies.front());
    return latencies.size() == written.size() ? 0 : 1;
}

void Idle(double seconds) {
    OpenPort p;
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    PrintIdle("idle on an open port", Ms(Clock::now() - t0) / 1000, CpuSeconds() - cpu0,
              p.stats.reads.load());
}

int Watch(double seconds) {
    char dir[] = "/tmp/norvane-watch-idle-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return 1;
    }
    ModemIdentity lost;  // waiting for the simulator's link: both descriptors are in use
    lost.devnode = std::string(dir) + "/norvane-sim";
    Waiter waiter(lost, lost.devnode);
    const int r = waiter.Start();
    if (r >= 0) {
        waiter.LookNow();
        const double cpu0 = CpuSeconds();
        const auto t0 = Clock::now();
        const auto end = t0 + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(seconds));
        unsigned long long wakeups = 0;
        for (auto now = t0; now < end; now = Clock::now()) {
            pollfd fds[2] = {{waiter.udevFd(), POLLIN, 0}, {waiter.linkFd(), POLLIN, 0}};
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
            if (poll(fds, 2, static_cast<int>(left)) > 0) {
                ++wakeups;
                waiter.ReadEvents();
            }
        }
        PrintIdle("waiting on the udev watch", Ms(Clock::now() - t0) / 1000, CpuSeconds() - cpu0,
                  wakeups);
    }
    rmdir(dir);
    return r < 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60, rate = 1, burst = 1, idle = 30, watch = 30;
    for (int i = 1; i < argc; i += 2) {
        const std::string_view a = argv[i];
        double* v = a == "--seconds" ? &seconds
                    : a == "--rate"  ? &rate
                    : a == "--burst" ? &burst
                    : a == "--idle"  ? &idle
                    : a == "--watch" ? &watch
                                     : nullptr;
        if (v == nullptr || i + 1 == argc) {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--rate HZ] [--burst N] [--idle N] "
                         "[--watch N]\n",
                         argv[0]);
            return 2;
        }
        *v = std::atof(argv[i + 1]);
    }
    if (rate <= 0 || burst < 1) {
        return 2;
    }
    int rc = seconds > 0 ? Latency(seconds, rate, static_cast<int>(burst)) : 0;
    if (idle > 0) {
        Idle(idle);
    }
    return rc | (watch > 0 ? Watch(watch) : 0);
}
