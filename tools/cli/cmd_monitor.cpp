// norvane-cli monitor: the monitor without a window, for logging and scripts.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "jsonl/position_json.h"
#include "jsonl/report_json.h"
#include "link/port_discovery.h"
#include "link/serial_port.h"
#include "position/gps_follower.h"
#include "session/monitoring_session.h"
#include "session/recorder.h"
#include "tools/cli/commands.h"

namespace norvane::cli {
namespace {

// How often a recording is flushed to its file.
constexpr int kFlushTickMs = 900;

constexpr const char* kHelp =
    "Usage: norvane-cli monitor [--sar-pa] [--lte] [--nr] [--wcdma-cell] [--signalling]\n"
    "                           [--follow] [--record FILE] [--gsmtap [HOST[:PORT]]]\n"
    "                           [--gps [HOST[:PORT]]]\n"
    "                           [--stats] [PORT]\n"
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
    "  --sar-pa         also switch the SAR level / PA temperature report on\n"
    "  --lte            also switch the LTE reports on and print them: the serving cell's\n"
    "                   identity (lte_cell), idle-mode serving cell and neighbour\n"
    "                   measurements (lte_idle, lte_idle_neighbours) and connected-mode\n"
    "                   serving and aggregated cells (lte_serving) with their neighbours\n"
    "                   (lte_intra_meas, lte_neighbour_meas). The modem's item counts\n"
    "                   are asked first (log-config operation 1); a modem that does not answer\n"
    "                   within half a second is sent masks of the usual counts\n"
    "  --nr             also switch the 5G NR reports on and print them: the NR serving cell's\n"
    "                   identity (nr_cell) and the NR cells measured, serving and neighbours,\n"
    "                   with their SS-RSRP/SS-RSRQ (nr_meas). Only a modem whose item count\n"
    "                   for equipment 11 is at least 0x980 has them; one below it (or one that\n"
    "                   does not answer) is not asked for them\n"
    "  --wcdma-cell     also switch the WCDMA serving cell's identity on (wcdma_cell)\n"
    "  --signalling     also switch the signalling logs on and print their messages as\n"
    "                   'norvane-cli decode' does (rrc, nas): LTE RRC 0xB0C0 (a message the\n"
    "                   modem logs in parts printed once, joined), the plain LTE NAS logs\n"
    "                   0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED and WCDMA RRC 0x412F\n"
    "  --follow         when the port goes away (modem unplugged, reset or re-enumerated,\n"
    "                   simulator ended), print "
    "{\"time\":..,\"type\":\"port\",\"state\":\"gone\"},\n"
    "                   wait for the same modem (same device node, a tty of the same USB device\n"
    "                   and interface under any name, or the simulator's link published again),\n"
    "                   run the start-up exchange on it and print \"state\":\"back\"; if the port\n"
    "                   does not open (ModemManager may have taken it), keep waiting\n"
    "  --record FILE    record the port's traffic: FILE.pcap keeps every checked frame in\n"
    "                   both directions as GSMTAP packets (Wireshark, 'norvane-cli decode',\n"
    "                   'norvane-sim --replay') and, after its frame, each signalling message\n"
    "                   as a GSMTAP packet Wireshark decodes (as 'norvane-cli convert' writes\n"
    "                   them), FILE.bin the bytes read from the port. If\n"
    "                   writing fails later (disk full), that is said once on standard error,\n"
    "                   recording stops and monitoring goes on\n"
    "  --gsmtap [HOST[:PORT]]\n"
    "                   send every checked frame as a GSMTAP datagram to HOST:PORT (default\n"
    "                   127.0.0.1:4729), e.g. for 'wireshark -k -i lo -f \"udp port 4729\"',\n"
    "                   each signalling message after its frame as a datagram of its own that\n"
    "                   Wireshark decodes (RRC and NAS messages shown while monitoring);\n"
    "                   the next argument is taken as HOST[:PORT] unless it begins with '-'\n"
    "                   or holds a '/' (or write --gsmtap=HOST[:PORT])\n"
    "  --gps [HOST[:PORT]]\n"
    "                   take positions from gpsd at HOST:PORT (default localhost:2947) and\n"
    "                   print "
    "{\"time\":..,\"type\":\"position\",\"lat\":..,\"lon\":..,\"alt\":..,\n"
    "                   \"speed\":..,\"fix\":\"2d\"|\"3d\"} at each fix, at most once a second\n"
    "                   (degrees; alt in metres above sea level, null on a 2D fix; speed in\n"
    "                   m/s), and {\"time\":..,\"type\":\"position\",\"fix\":\"none\"} once when\n"
    "                   the fix is lost or gpsd goes away. A gpsd that is absent or goes away\n"
    "                   is said once on standard error; monitoring goes on and gpsd is asked\n"
    "                   again every 2 seconds. With --record the positions are kept in the\n"
    "                   capture too (pcap: UDP datagrams to port 47290 carrying the line)\n"
    "  --stats          on exit, print to standard error the bytes read from the port, the\n"
    "                   frames, the reports, the frames dropped for a bad check sequence, the\n"
    "                   overlong frames dropped (overflow), the other frames and the known\n"
    "                   packets of a version that is not decoded (unknown version)\n"
    "  -h, --help       show this text\n"
    "\n"
    "Exit status: 0 after SIGINT/SIGTERM, 1 when the port went away (without --follow), 2 when\n"
    "the port could not be opened, the capture could not be created or the arguments are wrong.\n";

std::string UtcNow() {
    return UtcText(std::chrono::system_clock::now());
}

// Prints reports as JSON lines; messages go to standard error.
class ConsoleView : public MonitorView {
  public:
    ConsoleView(std::string entry, bool lte, bool nr, bool wcdmaCell, bool signalling)
        : entry_(std::move(entry)),
          lte_(lte),
          nr_(nr),
          wcdmaCell_(wcdmaCell),
          signalling_(signalling) {}

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
    // The serving cell's, LTE and NR reports only as asked for (a replayed capture holds them
    // all). Signalling is not among the reports the monitor prints.
    void ShowLogFrame(const DecodedLogFrame& frame) override {
        bool asked = false;
        switch (frame.kind) {
            case LogFrameKind::CellList:
            case LogFrameKind::SarPa:
                MonitorView::ShowLogFrame(frame);
                return;
            case LogFrameKind::WcdmaCell:
                asked = wcdmaCell_;
                break;
            case LogFrameKind::LteCell:
            case LogFrameKind::LteIdle:
            case LogFrameKind::LteIdleNeighbours:
            case LogFrameKind::LteServing:
            case LogFrameKind::LteIntraMeas:
            case LogFrameKind::LteNeighbourMeas:
                asked = lte_;
                break;
            case LogFrameKind::NrCell:
            case LogFrameKind::NrMeas:
                asked = nr_;
                break;
            case LogFrameKind::Rrc:
            case LogFrameKind::RrcSegment:
            case LogFrameKind::Nas: {
                // The receive thread alone calls this: the joiner needs no lock.
                const std::optional<SignallingMessage> m =
                    signalling_ ? joiner_->Add(frame) : std::nullopt;
                if (m) {
                    Print(SignallingJson(*m, frame));
                }
                return;
            }
            case LogFrameKind::Other:
                break;
        }
        if (asked) {
            for (const std::string& json : LogFrameJson(frame)) {
                Print(json);
            }
        }
    }
    void PortStateChanged(bool gone) override {
        Print(gone ? R"({"type":"port","state":"gone"})" : R"({"type":"port","state":"back"})");
    }

    void Print(const std::string& json) {
        // json is a whole object; put the time stamp in as its first key.
        const std::lock_guard lock(mutex_);
        std::printf("{\"time\":\"%s\",%s\n", UtcNow().c_str(), json.c_str() + 1);
        std::fflush(stdout);
    }
    // A position line, which has its time.
    void ShowPosition(std::string_view line) override {
        const std::lock_guard lock(mutex_);
        std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
        std::fflush(stdout);
    }

    std::string entry_;
    bool lte_;
    bool nr_;
    bool wcdmaCell_;
    bool signalling_;
    const std::unique_ptr<SignallingJoiner> joiner_ = std::make_unique<SignallingJoiner>();
    std::mutex mutex_;
};

// A bare device path becomes an entry whose device part is that path.
std::string EntryFor(std::string_view port) {
    if (port.find(" - ") != std::string_view::npos) {
        return std::string(port);
    }
    return std::string(port) + " - command line";
}

// --follow: sleeps in poll() on the stop signals and the session's descriptor until a signal.
// With a recording, the wait is cut into ticks a little under a second, so that packets reach
// the disk at least every second; without one, nothing wakes the process but a signal or the
// session.
int Follow(MonitoringSession& session, const sigset_t& stopSignals, CaptureRecorder* recorder,
           GpsFollower* gps) {
    const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signals < 0) {
        std::perror("norvane-cli monitor: signalfd");
        session.Shutdown();
        return 2;
    }
    for (;;) {
        std::vector<pollfd> fds = {{signals, POLLIN, 0}, {session.EventFd(), POLLIN, 0}};
        const int timeout = recorder != nullptr ? kFlushTickMs : -1;
        const int ready =
            gps != nullptr ? gps->Poll(fds, timeout) : poll(fds.data(), fds.size(), timeout);
        if (recorder != nullptr) {
            recorder->Flush();
        }
        if (ready <= 0) {
            continue;  // EINTR, or time to flush
        }
        if (fds[0].revents & POLLIN) {
            close(signals);
            session.Stop();  // while waiting no port is open and nothing is written
            if (recorder != nullptr) {
                recorder->Flush();
            }
            return 0;
        }
        if (fds[1].revents & POLLIN) {
            session.HandleEvents();
        }
    }
}

// --stats: the receive loop's counts, printed when the monitor ends, however it ends.
class StatsAtExit {
  public:
    explicit StatsAtExit(bool print) : print_(print) {}
    StatsAtExit(const StatsAtExit&) = delete;
    StatsAtExit& operator=(const StatsAtExit&) = delete;
    ~StatsAtExit() {
        if (!print_) {
            return;
        }
        const auto n = [](const std::atomic<std::uint64_t>& v) {
            return static_cast<unsigned long long>(v.load());
        };
        std::fprintf(stderr,
                     "bytes read: %llu, frames: %llu, reports: %llu, bad check sequence: %llu, "
                     "overflow: %llu, other: %llu, unknown version: %llu\n",
                     n(stats.bytes), n(stats.frames) + n(stats.badFcs) + n(stats.overflow),
                     n(stats.reports), n(stats.badFcs), n(stats.overflow), n(stats.other),
                     n(stats.unknownVersion));
    }
    ReceiveStats stats;

  private:
    bool print_;
};

}  // namespace

int RunMonitor(std::span<const std::string_view> args) {
    bool sarPa = false;
    bool lte = false;
    bool nr = false;
    bool wcdmaCell = false;
    bool signalling = false;
    bool follow = false;
    bool stats = false;
    std::string port;
    std::string recordPath;
    bool gsmtap = false;
    std::string gsmtapTarget;
    bool gps = false;
    std::string gpsAddress;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--sar-pa") {
            sarPa = true;
        } else if (arg == "--lte") {
            lte = true;
        } else if (arg == "--nr") {
            nr = true;
        } else if (arg == "--wcdma-cell") {
            wcdmaCell = true;
        } else if (arg == "--signalling") {
            signalling = true;
        } else if (arg == "--follow") {
            follow = true;
        } else if (arg == "--stats") {
            stats = true;
        } else if (arg == "--record") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                std::fputs("norvane-cli monitor: --record needs a FILE\n", stderr);
                return 2;
            }
            recordPath = args[++i];
        } else if (arg == "--gsmtap" || arg.starts_with("--gsmtap=")) {
            gsmtap = true;
            if (arg.size() > 8) {
                gsmtapTarget = arg.substr(9);
            } else if (i + 1 < args.size() && !args[i + 1].starts_with("-") &&
                       args[i + 1].find('/') == std::string_view::npos) {
                gsmtapTarget = args[++i];
            }
        } else if (arg == "--gps" || arg.starts_with("--gps=")) {
            gps = true;
            if (arg.size() > 5) {
                gpsAddress = arg.substr(6);
            } else if (i + 1 < args.size() && !args[i + 1].starts_with("-") &&
                       args[i + 1].find('/') == std::string_view::npos) {
                gpsAddress = args[++i];
            }
            std::string host, gpsPort;
            if (!ParseGpsdAddress(gpsAddress, host, gpsPort)) {
                std::fprintf(stderr, "norvane-cli monitor: --gps takes HOST[:PORT], not '%s'\n",
                             gpsAddress.c_str());
                return 2;
            }
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

    // A file size limit ends a write with EFBIG instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    std::unique_ptr<CaptureRecorder> recorder;
    if (!recordPath.empty() || gsmtap) {
        CaptureError error;
        std::unique_ptr<CaptureWriter> writer;
        std::unique_ptr<GsmtapSender> sender;
        if (!recordPath.empty() && !(writer = CaptureWriter::Create(recordPath, error))) {
            std::fprintf(stderr, "norvane-cli monitor: %s\n", error.message.c_str());
            return 2;
        }
        if (gsmtap && !(sender = GsmtapSender::Create(gsmtapTarget, error))) {
            std::fprintf(stderr, "norvane-cli monitor: %s\n", error.message.c_str());
            return 2;
        }
        // The writer reports a failure only once, then stops.
        recorder = std::make_unique<CaptureRecorder>(
            std::move(writer), std::move(sender), [](const CaptureError& failure) {
                std::fprintf(stderr, "norvane-cli monitor: %s\n", failure.message.c_str());
            });
    }

    ConsoleView view(entry, lte, nr, wcdmaCell, signalling);
    StatsAtExit counts(stats);  // printed after the session has ended
    MonitoringSession session(view, &counts.stats);
    session.SetRecorder(recorder.get());
    std::vector<std::uint16_t> codes;
    if (lte) {
        codes.assign(kLteLogCodes.begin(), kLteLogCodes.end());
    }
    if (nr) {
        codes.insert(codes.end(), kNrLogCodes.begin(), kNrLogCodes.end());
    }
    if (wcdmaCell) {
        codes.push_back(kWcdmaCellLogCode);
    }
    if (signalling) {
        codes.insert(codes.end(), kSignallingLogCodes.begin(), kSignallingLogCodes.end());
    }
    session.SetLogCodes(LogView::kTool, codes);  // sent after the cell list's frame
    session.Start();
    if (!session.PortOpen()) {
        return 2;  // the reason has been printed
    }
    if (sarPa) {
        session.SwitchSarPaOn();
    }

    std::unique_ptr<GpsFollower> feed;
    if (gps) {
        feed = std::make_unique<GpsFollower>(
            gpsAddress,
            [&session](const Position& position) {
                // The same line, with the same time, in the same place among the reports, on
                // standard output (ConsoleView::ShowPosition) and in the capture.
                const auto now = std::chrono::system_clock::now();
                std::string line;
                UtcSecondText second;
                AppendWithTime(line, now, PositionJson(position), second);
                session.RecordPosition(now, line);
            },
            [](GpsFollower::Gpsd state, const std::string& text) {
                if (state != GpsFollower::Gpsd::kAnswers) {  // its absence, end and return
                    std::fprintf(stderr, "norvane-cli monitor: %s%s\n", text.c_str(),
                                 state == GpsFollower::Gpsd::kBack
                                     ? ""
                                     : "; monitoring goes on and positions follow when gpsd "
                                       "answers");
                }
            });
        feed->Retry();  // a gpsd that does not answer is said before the first report
    }
    if (follow) {
        return Follow(session, stopSignals, recorder.get(), feed.get());
    }
    const int signals = feed != nullptr ? signalfd(-1, &stopSignals, SFD_CLOEXEC) : -1;
    if (feed != nullptr && signals < 0) {
        std::perror("norvane-cli monitor: signalfd");
        session.Shutdown();
        return 2;
    }

    const std::string device = PortDevicePath(entry);
    // A little under a second, so that a recording reaches the disk at least every second.
    const timespec tick{0, kFlushTickMs * 1'000'000};
    for (;;) {
        int sig = 0;
        if (feed != nullptr) {
            std::vector<pollfd> fds = {{signals, POLLIN, 0}};
            sig = feed->Poll(fds, kFlushTickMs) > 0 ? SIGTERM : 0;  // only the stop signals
        } else {
            sig = sigtimedwait(&stopSignals, nullptr, &tick);
        }
        if (recorder != nullptr) {
            recorder->Flush();
        }
        if (sig == SIGINT || sig == SIGTERM) {
            session.Stop();
            if (recorder != nullptr) {
                recorder->Flush();  // the stop frames too, and a failure still said
            }
            return 0;
        }
        if (session.PortGone()) {  // the receive loop's own finding, not a look at the node
            std::fprintf(stderr, "norvane-cli monitor: the port %s has gone away\n",
                         device.c_str());
            session.Shutdown();
            return 1;
        }
    }
}

}  // namespace norvane::cli
