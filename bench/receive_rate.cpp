// Measured, not asserted: the receive path at fixed byte rates over a real pty. The modem side
// writes numbered version 2 cell lists without blocking, so that what the kernel's tty buffer
// (about 64 KiB unread) cannot take is dropped, as a USB serial device drops it. Per rate: cell
// lists written whole, dropped at the fake, decoded by the monitor, and the monitor's CPU.
// Usage: bench_receive_rate [SECONDS [BYTES_PER_SECOND ...]]  norvane-cli monitor --stats
//        bench_receive_rate --window SECONDS BYTES_PER_SECOND   the NetMonitor window; rate 0 is
//        one cell list a second, for the time from the write to the screen
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "framework/message_box.h"
#include "monitor/monitor_window.h"
#include "tests/support/frames.h"
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
        for (owed += rate > 0 ? rate / 1000 : 1; owed > 0;) {
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
    const std::string err = "/tmp/norvane-rate-" + std::to_string(getpid());
    posix_spawn_file_actions_t io;
    posix_spawn_file_actions_init(&io);
    posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&io, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string cli = NORVANE_BINARY_DIR "/tools/norvane-cli", monitor = "monitor",
                stats = "--stats", port = pty.slave;
    char* argv[] = {cli.data(), monitor.data(), stats.data(), port.data(), nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &io, nullptr, argv, environ);
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
    long long whole = 0, dropped = 0, last = 0, reports = 0, overflow = 0;
    rewind(counts);
    (void)!std::fscanf(counts, "E %lld %lld %lld %lld", &whole, &dropped, &last, &last);
    const std::string text = [&] {
        FILE* f = std::fopen(err.c_str(), "r");
        char line[512] = {};
        (void)!std::fgets(line, sizeof line, f);
        std::fclose(f);
        return std::string(line);
    }();
    std::sscanf(text.c_str() + text.find("reports:"), "reports: %lld", &reports);
    std::sscanf(text.c_str() + text.find("overflow:"), "overflow: %lld", &overflow);
    unlink(err.c_str());
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
    dlg.monitoring().Start();
    pty.AwaitStart();
    (void)!write(go[1], "g", 1);

    // What the screen shows: the up-time line's changes; how long a posted event (a click)
    // waits on the UI thread, sampled every 100 ms.
    std::vector<std::pair<long long, QString>> shown;
    std::vector<double> waits;
    QTimer watch, click;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (shown.empty() || shown.back().second != dlg.itemText(IDC_UPTIME)) {
            shown.emplace_back(Ns(Clock::now()), dlg.itemText(IDC_UPTIME));
        }
    });
    QObject::connect(&click, &QTimer::timeout, [&] {
        QTimer::singleShot(0, [&waits, t = Clock::now()] {
            waits.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
        });
    });
    watch.start(1);
    click.start(100);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    int status = 0;
    while (waitpid(modem, &status, WNOHANG) == 0) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    getrusage(RUSAGE_SELF, &after);
    for (auto end = Clock::now() + std::chrono::milliseconds(500); Clock::now() < end;) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    rewind(log);
    long long at = 0, ms = 0, whole = 0, dropped = 0, last = 0, ended = 0;
    std::vector<double> latency;
    while (std::fscanf(log, " T %lld %lld", &at, &ms) == 2) {
        const auto it = std::find_if(shown.begin(), shown.end(),
                                     [&](const auto& s) { return s.second == UpTime(ms); });
        if (it != shown.end()) {
            latency.push_back(static_cast<double>(it->first - at) / 1e6);
        }
    }
    (void)!std::fscanf(log, " E %lld %lld %lld %lld", &whole, &dropped, &last, &ended);
    std::sort(waits.begin(), waits.end());
    std::sort(latency.begin(), latency.end());
    const auto lastShown = std::find_if(shown.begin(), shown.end(),
                                        [&](const auto& s) { return s.second == UpTime(last); });
    std::printf(
        "window at %.0f B/s for %.0f s: written %lld, dropped at the modem %lld, CPU %.1f "
        "%% of a core; a click waited median %.1f ms, worst %.1f ms; the last report "
        "shown %s\n",
        rate, seconds, whole, dropped, 100 * (Cpu(after) - Cpu(before)) / seconds,
        waits.empty() ? 0 : waits[waits.size() / 2], waits.empty() ? 0 : waits.back(),
        lastShown == shown.end()
            ? "never"
            : (std::to_string((lastShown->first - ended) / 1000000) + " ms after its write")
                  .c_str());
    if (!latency.empty()) {
        std::printf("write to screen at 1 Hz: median %.1f ms, worst %.1f ms over %zu lists\n",
                    latency[latency.size() / 2], latency.back(), latency.size());
    }
    dlg.close();
    return dropped == 0 && lastShown != shown.end() ? 0 : 1;
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
