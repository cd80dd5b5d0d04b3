// Timing of the receive path on a real pty, measured, not asserted:
//   latency  time from a frame written by the simulated modem to its report handed on by the
//            receive loop (median, 90th percentile and worst);
//   idle     CPU time of this process while the receive loop waits on a silent open port.
// Usage: bench_receive_timing [--seconds N] [--rate HZ] [--burst N] [--idle N]
#include <sys/resource.h>
#include <unistd.h>
#include <cstdlib>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "diag/command_table.h"
#include "link/serial_port.h"
#include "session/receive_thread.h"
#include "tests/support/pty_modem.h"
#include "tools/sim/modem.h"

namespace {

using namespace norvane;
using Clock = std::chrono::steady_clock;

class StderrMessages : public MessageSink {
  public:
    void MessageBox(std::string_view text, std::string_view caption) override {
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
    }
};

// Arrival time of every cell list handed on, in order.
class TimedReports : public ReportSink {
  public:
    void ShowCellReport(const CellReport& r) override {
        const auto now = Clock::now();
        std::lock_guard lock(mutex_);
        arrivals_.push_back({now, r.gsmCellCount});
    }
    void ShowSarPaReport(const SarPaReport&) override {}
    struct Arrival {
        Clock::time_point at;
        int number;
    };
    std::vector<Arrival> Take() {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }

  private:
    std::mutex mutex_;
    std::vector<Arrival> arrivals_;
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

int Latency(double seconds, double rate, int burst) {
    test::PtyModem pty(test::Peer::kDeaf);
    StderrMessages messages;
    PortError error;
    SerialPort port = SerialPort::Open(pty.slave(), error);
    if (!port.IsOpen()) {
        return 1;
    }

    sim::SimModem modem(sim::ModemOptions{.burst = burst, .numbered = true, .seed = 1});
    sim::Bytes ignored;
    std::array<std::uint8_t, 512> on{};
    const std::size_t n = StoredFrameToBytes(FindCommandRow("ON Cell RSSI")->strFrame, on);
    modem.FromHost(std::span(on.data(), n), ignored);

    TimedReports reports;
    ReceiveThread reader;
    reader.Start(port, reports, messages);

    // The modem: one period's frames written at a time, the time taken just before the write.
    std::vector<Clock::time_point> written;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    const auto start = Clock::now();
    auto next = start + period;
    while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
        std::this_thread::sleep_until(next);
        next += period;
        sim::Bytes frames;
        const auto before = modem.CellListsSent();
        modem.Tick(static_cast<std::uint64_t>(Ms(Clock::now() - start)), 1.0 / rate, frames);
        const auto at = Clock::now();
        for (auto i = before; i < modem.CellListsSent(); ++i) {
            written.push_back(at);
        }
        std::size_t done = 0;
        while (done < frames.size()) {
            pty.Send(std::span(frames.data() + done, frames.size() - done));
            done = frames.size();
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    reader.Stop();

    const auto arrivals = reports.Take();
    std::vector<double> latencies;
    for (std::size_t i = 0; i < arrivals.size() && i < written.size(); ++i) {
        if (arrivals[i].number != static_cast<int>(i % 256)) {
            std::fprintf(stderr, "report %zu out of sequence\n", i);
            return 1;
        }
        latencies.push_back(Ms(arrivals[i].at - written[i]));
    }
    if (latencies.empty()) {
        std::fprintf(stderr, "no report arrived\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    auto pct = [&](double p) {
        return latencies[std::min(latencies.size() - 1,
                                  static_cast<std::size_t>(p * latencies.size()))];
    };
    std::printf(
        "latency over %.0f s at %.1f Hz x %d: %zu of %zu reports, median %.2f ms, "
        "90%% %.2f ms, worst %.2f ms, best %.2f ms\n",
        seconds, rate, burst, latencies.size(), written.size(), pct(0.5), pct(0.9),
        latencies.back(), latencies.front());
    return latencies.size() == written.size() ? 0 : 1;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int Idle(double seconds) {
    test::PtyModem pty(test::Peer::kDeaf);
    StderrMessages messages;
    PortError error;
    SerialPort port = SerialPort::Open(pty.slave(), error);
    if (!port.IsOpen()) {
        return 1;
    }
    TimedReports reports;
    ReceiveStats stats;
    ReceiveThread reader;
    reader.Start(port, reports, messages, &stats);
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = Ms(Clock::now() - t0) / 1000;
    const auto reads = stats.reads.load();
    reader.Stop();
    std::printf("idle on an open port for %.1f s: CPU %.4f s (%.4f %%), %llu reads (%.2f/s)\n",
                wall, cpu, 100 * cpu / wall, static_cast<unsigned long long>(reads),
                static_cast<double>(reads) / wall);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60, rate = 1, idle = 30;
    int burst = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view a = argv[i];
        const double v = std::atof(argv[i + 1]);
        if (a == "--seconds") {
            seconds = v;
        } else if (a == "--rate") {
            rate = v;
        } else if (a == "--burst") {
            burst = static_cast<int>(v);
        } else if (a == "--idle") {
            idle = v;
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--rate HZ] [--burst N] [--idle N]\n",
                         argv[0]);
            return 2;
        }
    }
    if (rate <= 0 || burst < 1) {
        return 2;
    }
    int rc = 0;
    if (seconds > 0) {
        rc |= Latency(seconds, rate, burst);
    }
    if (idle > 0) {
        rc |= Idle(idle);
    }
    return rc;
}
