// Measured, not asserted: the receive path at fixed byte rates over a real pty. The modem side
// writes numbered version 2 cell lists without blocking, so that what the kernel's tty buffer
// (about 64 KiB unread) cannot take is dropped, as a USB serial device drops it. Per rate: cell
// lists written whole, dropped at the fake, decoded by the monitor, and the monitor's CPU.
// Usage: bench_receive_rate [SECONDS [BYTES_PER_SECOND ...]]  norvane-cli monitor --stats
//        bench_receive_rate --window SECONDS BYTES_PER_SECOND   the NetMonitor window; rate 0 is
//        one cell list a second, for the time from the write to the screen
#include <fcntl.h>
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>

#include "framework/message_box.h"
#include "monitor/monitor_window.h"
#include "tests/support/frames.h"
#include "tests/support/sim_process.h"
#include "tools/sim/modem.h"

namespace {

using namespace norvane;
using Clock = std::chrono::steady_clock;

double Cpu(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
long long Ns(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}
QString UpTime(long long ms) {
    return QString::asprintf("Modem UpTime %02lld:%02lld:%02lld:%03lld", ms / 3600000,
                             ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

// A pty whose slave is the monitor's port; answers the probe and returns once the start-up
// exchange has come.
struct Pty {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    std::string slave = (grantpt(master), unlockpt(master), ptsname(master));
    int holder = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    void AwaitStart() const {
        std::uint8_t buf[4096];
        std::size_t got = 0;
        for (auto end = Clock::now() + std::chrono::seconds(5);
             got < 14 + 260 && Clock::now() < end;) {
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0 && got < 14 && (got += static_cast<std::size_t>(n)) >= 14) {
                const test::Bytes reply = test::EncodeFrame({0x7B, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
                (void)!write(master, reply.data(), reply.size());
            } else if (n > 0) {
                got += static_cast<std::size_t>(n);
            }
        }
    }
};

// The modem, in a child process: cell lists at `rate` bytes a second (0: one a second) for
// `seconds`, each written whole or dropped. Prints to `out` at rate 0 "T writeNs uptimeMs" for
// each list, and at the end "E whole dropped lastUptimeMs lastWriteNs".
[[noreturn]] void Modem(const Pty& pty, double rate, double seconds, FILE* out) {
    sim::SimModem modem({.numbered = true, .seed = 1, .packetVersion = 2});
    sim::Bytes frame;
    modem.FromHost(test::RowBytes("ON Cell RSSI"), frame);
    fcntl(pty.master, F_SETFL, O_NONBLOCK);
    const auto step = rate > 0 ? std::chrono::milliseconds(1) : std::chrono::milliseconds(1000);
    const auto start = Clock::now();
    long long whole = 0, dropped = 0, last = 0, lastNs = 0;
    double owed = 0;
    for (auto t = start + step; t - start < std::chrono::duration<double>(seconds); t += step) {
        std::this_thread::sleep_until(t);
        for (owed = rate > 0 ? owed + rate / 1000 : 1; owed > 0;) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - start);
            frame.clear();
            modem.Tick(static_cast<std::uint64_t>(ms.count()), 0.001, frame);
            owed -= static_cast<double>(frame.size());
            const long long now = Ns(Clock::now());
            if (rate == 0) {
                std::fprintf(out, "T %lld %lld\n", now, static_cast<long long>(ms.count()));
            }
            const bool ok = write(pty.master, frame.data(), frame.size()) == ssize_t(frame.size());
            ok ? (++whole, last = ms.count(), lastNs = now) : ++dropped;
        }
    }
    std::fprintf(out, "E %lld %lld %lld %lld\n", whole, dropped, last, lastNs);
    std::fflush(out);
    _exit(0);
}

int Cli(double seconds, double rate) {
    const Pty pty;
    const std::string out = "/tmp/norvane-rate-" + std::to_string(getpid());
    const pid_t pid = test::Spawn(
        {NORVANE_BINARY_DIR "/tools/norvane-cli", "monitor", "--stats", pty.slave}, out.c_str());
    pty.AwaitStart();
    FILE* counts = tmpfile();
    if (const pid_t modem = fork(); modem == 0) {
        Modem(pty, rate, seconds, counts);
    } else {
        waitpid(modem, nullptr, 0);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    kill(pid, SIGINT);
    rusage used{};
    wait4(pid, nullptr, 0, &used);
    long long whole = 0, dropped = 0, reports = 0, overflow = 0;
    rewind(counts);
    (void)!std::fscanf(counts, "E %lld %lld", &whole, &dropped);
    const std::string text = test::ReadFile(out);
    unlink(out.c_str());
    std::sscanf(text.c_str() + text.rfind("reports:"), "reports: %lld", &reports);
    std::sscanf(text.c_str() + text.rfind("overflow:"), "overflow: %lld", &overflow);
    std::printf(
        "monitor at %8.0f B/s for %.0f s: written %lld, dropped at the modem %lld, "
        "printed %lld, overflow %lld, CPU %.1f %% of a core\n",
        rate, seconds, whole, dropped, reports, overflow, 100 * Cpu(used) / (seconds + 1));
    return dropped == 0 && reports == whole ? 0 : 1;
}

int Window(int argc, char** argv, double seconds, double rate) {
    const Pty pty;
    FILE* log = tmpfile();
    int go[2];
    (void)!pipe(go);
    const pid_t modem = fork();  // before any thread: waits for the start-up, then writes
    if (modem == 0) {
        char c;
        (void)!read(go[0], &c, 1);
        Modem(pty, rate, seconds, log);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    SetMessageBoxPresenter([](const MessageBoxCall&) {});
    CComDlg dlg;
    dlg.Create();
    auto* combo = qobject_cast<QComboBox*>(dlg.item(IDC_PORT));
    combo->clear();
    combo->addItem(QString::fromStdString(pty.slave + " - bench"));
    combo->setCurrentIndex(0);
    dlg.StartMonitoring();
    pty.AwaitStart();
    (void)!write(go[1], "g", 1);

    // When each up-time text was first on the screen; how long a posted event (a click)
    // waits on the UI thread, sampled every 100 ms.
    std::map<QString, long long> shown;
    std::vector<double> waits, latency;
    QTimer watch, click;
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { shown.try_emplace(dlg.itemText(IDC_UPTIME), Ns(Clock::now())); });
    QObject::connect(&click, &QTimer::timeout, [&] {
        QTimer::singleShot(0, [&waits, t = Ns(Clock::now())] {
            waits.push_back(static_cast<double>(Ns(Clock::now()) - t) / 1e6);
        });
    });
    watch.start(rate > 0 ? 5 : 1);  // the bench's own look at the screen, in the window's CPU
    click.start(100);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    while (waitpid(modem, nullptr, WNOHANG) == 0) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    getrusage(RUSAGE_SELF, &after);
    for (auto end = Clock::now() + std::chrono::milliseconds(500); Clock::now() < end;) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    rewind(log);
    long long at = 0, ms = 0, whole = 0, dropped = 0;
    const auto since = [&](long long uptime, long long write) {
        const auto it = shown.find(UpTime(uptime));
        return it == shown.end() ? -1.0 : static_cast<double>(it->second - write) / 1e6;
    };
    while (std::fscanf(log, " T %lld %lld", &at, &ms) == 2) {
        latency.push_back(since(ms, at));
    }
    (void)!std::fscanf(log, " E %lld %lld %lld %lld", &whole, &dropped, &ms, &at);
    const auto worst = [](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? std::pair{0.0, 0.0} : std::pair{v[v.size() / 2], v.back()};
    };
    std::printf(
        "window at %.0f B/s for %.0f s: written %lld, dropped at the modem %lld, CPU %.1f "
        "%% of a core; a click waited median %.1f ms, worst %.1f ms; the last report "
        "shown %.1f ms after its write (-1: never); at 1 Hz write to screen median %.1f "
        "ms, worst %.1f ms\n",
        rate, seconds, whole, dropped, 100 * (Cpu(after) - Cpu(before)) / seconds,
        worst(waits).first, worst(waits).second, since(ms, at), worst(latency).first,
        worst(latency).second);
    dlg.close();
    return dropped == 0 && since(ms, at) >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool window = argc > 1 && std::string(argv[1]) == "--window";
    const int first = window ? 2 : 1;
    const double seconds = argc > first ? std::atof(argv[first]) : 5;
    if (window) {
        return argc == 4 ? Window(argc, argv, seconds, std::atof(argv[3])) : 2;
    }
    int rc = 0;
    for (int i = first + 1; i < std::max(argc, first + 2); ++i) {
        rc |= Cli(seconds, argc > i ? std::atof(argv[i]) : 2e6);
    }
    return rc;
}
