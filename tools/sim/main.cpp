// norvane-sim: the simulated modem on a pseudo terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>

#include "tools/sim/modem.h"
#include "tools/sim/options.h"
#include "tools/sim/replay.h"

namespace norvane::sim {
namespace {

using Clock = std::chrono::steady_clock;

// Reports stop piling up when the host does not read: a modem drops log packets then.
constexpr std::size_t kMaxPending = 256 * 1024;

int Fail(const std::string& what) {
    std::fprintf(stderr, "norvane-sim: %s\n", what.c_str());
    return 1;
}

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The pty: master for the modem, and a slave descriptor kept open by the modem itself so that
// the terminal keeps its raw settings and the master never reports a hang-up while no host has
// it open.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string slavePath;
};

bool OpenPty(Pty& pty, std::string& error) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char name[128];
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 ||
        ptsname_r(pty.master, name, sizeof name) != 0) {
        error = Errno("no pseudo terminal");
        return false;
    }
    pty.slavePath = name;
    pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (pty.slave < 0 || tcgetattr(pty.slave, &t) != 0) {
        error = Errno("cannot open " + pty.slavePath);
        return false;
    }
    // Raw from the start: no echo of the host's bytes back to it, no line editing.
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(pty.slave, TCSANOW, &t);
    return true;
}

bool PublishLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is no symbolic link; not replacing it";
            return false;
        }
        unlink(link.c_str());  // left behind by a simulator that did not end cleanly
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        error = Errno("cannot create " + link);
        return false;
    }
    return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
    char buf[256];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target) {
        unlink(link.c_str());  // only our own: another simulator may have taken it over
    }
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int Run(const SimOptions& options, int signals) {
    std::string error;
    std::optional<Replay> replay;
    if (!options.replayPath.empty() &&
        !(replay = Replay::Load(options.replayPath, options.speed, options.loop, error))) {
        std::fprintf(stderr, "norvane-sim: %s\n", error.c_str());
        return 2;
    }
    Pty pty;
    if (!OpenPty(pty, error)) {
        return Fail(error);
    }
    int record = -1;
    if (!options.recordPath.empty()) {
        record = open(options.recordPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (record < 0) {
            return Fail(Errno("cannot write " + options.recordPath));
        }
    }
    const std::string link = options.linkPath.empty() ? DefaultLinkPath() : options.linkPath;
    if (!PublishLink(link, pty.slavePath, error)) {
        return Fail(error);
    }
    std::printf("norvane-sim: modem on %s, published as %s (seed %u%s)\n", pty.slavePath.c_str(),
                link.c_str(), options.modem.seed, options.modem.atMode ? ", AT mode" : "");
    std::fflush(stdout);

    SimModem modem(options.modem);
    if (options.verbose) {
        modem.SetLog([](std::string_view text) {
            std::fprintf(stderr, "norvane-sim: %.*s\n", static_cast<int>(text.size()), text.data());
        });
    }
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options.rateHz));
    const auto start = Clock::now();
    auto nextTick = start + period;
    Bytes pending;
    Bytes produced;
    std::uint8_t chunk[4096];
    bool running = true;
    int status = 0;

    while (running) {
        pollfd fds[2] = {
            {pty.master, static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0},
            {signals, POLLIN, 0}};
        if (replay) {
            // Wake for the next packet due, or after a second to look again.
            nextTick = replay->NextDue().value_or(Clock::now() + std::chrono::seconds(1));
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextTick - Clock::now());
        const int r = poll(fds, 2, static_cast<int>(std::max<long long>(0, wait.count())));
        if (r < 0 && errno != EINTR) {
            status = Fail(Errno("poll"));
            break;
        }
        if (r > 0 && (fds[1].revents & POLLIN)) {
            running = false;
        }
        if (r > 0 && (fds[0].revents & POLLIN)) {
            const ssize_t n = read(pty.master, chunk, sizeof chunk);
            if (n > 0) {
                if (record >= 0 && !WriteAll(record, chunk, static_cast<std::size_t>(n))) {
                    status = Fail(Errno("cannot write " + options.recordPath));
                    break;
                }
                modem.FromHost(std::span(chunk, static_cast<std::size_t>(n)), pending);
            }
        }
        const auto now = Clock::now();
        if (replay) {
            produced.clear();
            replay->Advance(now, modem.AnyLogOn(), produced);
            if (pending.size() + produced.size() <= kMaxPending) {
                pending.insert(pending.end(), produced.begin(), produced.end());
            }
        } else if (now >= nextTick) {
            const auto uptime =
                options.modem.startUptimeMs +
                static_cast<std::uint64_t>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count());
            produced.clear();
            modem.Tick(uptime, std::chrono::duration<double>(period).count(), produced);
            if (pending.size() + produced.size() <= kMaxPending) {
                pending.insert(pending.end(), produced.begin(), produced.end());
            }
            nextTick += period;
            if (now - nextTick > period) {
                nextTick = now + period;  // we were stopped or starved: do not catch up
            }
        }
        if (!pending.empty()) {
            const ssize_t n = write(pty.master, pending.data(), pending.size());
            if (n > 0) {
                pending.erase(pending.begin(), pending.begin() + n);
            }
        }
    }

    RemoveLink(link, pty.slavePath);
    if (record >= 0) {
        close(record);
    }
    close(pty.slave);
    close(pty.master);
    if (options.verbose && replay) {
        std::fprintf(stderr, "norvane-sim: replayed %zu of %zu log packets\n", replay->Played(),
                     replay->Packets());
    } else if (options.verbose) {
        std::fprintf(stderr, "norvane-sim: sent %llu cell lists, %llu SAR/PA reports\n",
                     static_cast<unsigned long long>(modem.CellListsSent()),
                     static_cast<unsigned long long>(modem.SarPaSent()));
    }
    return status;
}

}  // namespace
}  // namespace norvane::sim

int main(int argc, char** argv) {
    using namespace norvane::sim;
    std::string error;
    auto options = ParseSimOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "norvane-sim: %s\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(kSimUsage, stdout);
        return 0;
    }
    if (!options->seedGiven) {
        options->modem.seed = std::random_device{}();
    }
    // Up-time of the modem at start: ten minutes to five hours, from the seed.
    std::mt19937 rng(options->modem.seed);
    options->modem.startUptimeMs =
        std::uniform_int_distribution<std::uint64_t>(600'000, 18'000'000)(rng);

    // SIGINT, SIGTERM and SIGHUP end the run through the poll loop, so the link is removed.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    const int signals = signalfd(-1, &set, SFD_CLOEXEC);
    if (signals < 0) {
        std::perror("norvane-sim: signalfd");
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    return Run(*options, signals);
}
