// norvane-cli monitor: the monitor without a window, for logging and scripts.
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

#include "link/port_discovery.h"
#include "link/serial_port.h"
#include "session/monitoring_session.h"
#include "tools/cli/commands.h"
#include "tools/cli/report_json.h"

namespace norvane::cli {
namespace {

constexpr const char* kHelp =
    "Usage: norvane-cli monitor [--sar-pa] [--follow] [PORT]\n"
    "\n"
    "Opens PORT, switches the modem's cell reporting on and prints every report it sends as\n"
    "one JSON line on standard output, with the keys of 'norvane-cli decode' preceded by\n"
    "\"time\" (UTC, ISO 8601 with milliseconds). PORT is a port list entry as 'norvane-cli\n"
    "ports' prints it, or a device path such as /dev/ttyUSB1. Without PORT the preselected\n"
    "entry of 'norvane-cli ports' is used.\n"
    "\n"
    "Messages of the start-up exchange go to standard error. SIGINT or SIGTERM switches the\n"
    "reports off again (the stop frames) and exits with status 0.\n"
    "\n"
    "Options:\n"
    "  --sar-pa    also switch the SAR level / PA temperature report on\n"
    "  --follow    when the port goes away (modem unplugged, reset or re-enumerated, simulator\n"
    "              ended), print {\"time\":..,\"type\":\"port\",\"state\":\"gone\"}, wait for\n"
    "              the same modem (same device node, a tty of the same USB device and\n"
    "              interface under any name, or the simulator's link published again), run\n"
    "              the start-up exchange on it and print \"state\":\"back\"; if the port does\n"
    "              not open (ModemManager may have taken it), keep waiting\n"
    "  -h, --help  show this text\n"
    "\n"
    "Exit status: 0 after SIGINT/SIGTERM, 1 when the port went away (without --follow), 2 when\n"
    "the port could not be opened or the arguments are wrong.\n";

std::string UtcNow() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms.count() % 1000));
    return text;
}

// Prints reports as JSON lines; messages go to standard error.
class ConsoleView : public MonitorView {
  public:
    explicit ConsoleView(std::string entry) : entry_(std::move(entry)) {}

    std::string PortListText() override { return entry_; }
    void ResetBars() override {}
    void SetUpTimeText(std::string_view) override {}

    void MessageBox(std::string_view text, std::string_view caption) override {
        const std::lock_guard lock(mutex_);
        std::fprintf(stderr, "norvane-cli monitor: %.*s: %.*s\n", static_cast<int>(caption.size()),
                     caption.data(), static_cast<int>(text.size()), text.data());
    }
    void ShowCellReport(const CellReport& report) override { Print(CellReportJson(report)); }
    void ShowSarPaReport(const SarPaReport& report) override { Print(SarPaReportJson(report)); }
    void PortStateChanged(bool gone) override {
        Print(gone ? R"({"type":"port","state":"gone"})" : R"({"type":"port","state":"back"})");
    }

  private:
    void Print(const std::string& json) {
        // json is a whole object; put the time stamp in as its first key.
        const std::lock_guard lock(mutex_);
        std::printf("{\"time\":\"%s\",%s\n", UtcNow().c_str(), json.c_str() + 1);
        std::fflush(stdout);
    }

    std::string entry_;
    std::mutex mutex_;
};

// A bare device path becomes an entry whose device part is that path.
std::string EntryFor(std::string_view port) {
    if (port.find(" - ") != std::string_view::npos) {
        return std::string(port);
    }
    return std::string(port) + " - command line";
}

bool DeviceStillThere(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// --follow: sleeps in poll() on the stop signals and the session's descriptor until a signal.
int Follow(MonitoringSession& session, const sigset_t& stopSignals) {
    const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signals < 0) {
        std::perror("norvane-cli monitor: signalfd");
        session.Shutdown();
        return 2;
    }
    for (;;) {
        pollfd fds[2] = {{signals, POLLIN, 0}, {session.EventFd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            continue;  // EINTR
        }
        if (fds[0].revents & POLLIN) {
            close(signals);
            session.Stop();  // while waiting no port is open and nothing is written
            return 0;
        }
        if (fds[1].revents & POLLIN) {
            session.HandleEvents();
        }
    }
}

}  // namespace

int RunMonitor(std::span<const std::string_view> args) {
    bool sarPa = false;
    bool follow = false;
    std::string port;
    for (std::string_view arg : args) {
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--sar-pa") {
            sarPa = true;
        } else if (arg == "--follow") {
            follow = true;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "norvane-cli monitor: unknown option %.*s\n",
                         static_cast<int>(arg.size()), arg.data());
            return 2;
        } else if (port.empty()) {
            port = arg;
        } else {
            std::fputs("norvane-cli monitor: more than one PORT given\n", stderr);
            return 2;
        }
    }

    std::string entry;
    if (!port.empty()) {
        entry = EntryFor(port);
    } else {
        PortList list;
        FillPortList(list);
        if (list.selected >= 0) {
            entry = list.entries[static_cast<std::size_t>(list.selected)];
        }
    }

    // Block the stop signals before any thread starts, so that only sigtimedwait below sees
    // them and the receive thread is never interrupted.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ConsoleView view(entry);
    MonitoringSession session(view);
    session.Start();
    if (!session.PortOpen()) {
        return 2;  // the reason has been printed
    }
    if (sarPa) {
        session.SwitchSarPaOn();
    }

    if (follow) {
        return Follow(session, stopSignals);
    }

    const std::string device = PortDevicePath(entry);
    const timespec tick{1, 0};
    for (;;) {
        const int sig = sigtimedwait(&stopSignals, nullptr, &tick);
        if (sig == SIGINT || sig == SIGTERM) {
            session.Stop();
            return 0;
        }
        if (!DeviceStillThere(device)) {
            std::fprintf(stderr, "norvane-cli monitor: the port %s has gone away\n",
                         device.c_str());
            session.Shutdown();
            return 1;
        }
    }
}

}  // namespace norvane::cli
