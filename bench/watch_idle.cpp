// CPU used by a process that waits for a lost modem to come back: it blocks in poll() on the
// udev monitor and the simulator link's directory watch, as the tools do, for a while (30 s
// unless given in seconds as the first argument) and reports its user and system time.
// Usage: bench_watch_idle [seconds]
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "link/udev_watch.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
        return 2;
    }
    char dir[] = "/tmp/norvane-watch-idle-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    // Waiting for the simulator's link: both descriptors are in use.
    const std::string link = std::string(dir) + "/norvane-sim";
    norvane::ModemIdentity lost;
    lost.devnode = link;
    norvane::Waiter waiter(lost, link);
    if (const int r = waiter.Start(); r < 0) {
        std::fprintf(stderr, "watch: error %d\n", r);
        rmdir(dir);
        return 1;
    }
    waiter.LookNow();

    using Clock = std::chrono::steady_clock;
    const double cpuBefore = CpuSeconds();
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::seconds(seconds);
    int wakeups = 0;
    for (Clock::time_point now = start; now < end; now = Clock::now()) {
        pollfd fds[2] = {{waiter.udevFd(), POLLIN, 0}, {waiter.linkFd(), POLLIN, 0}};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        if (poll(fds, 2, static_cast<int>(left)) > 0) {
            ++wakeups;
            waiter.ReadEvents();
        }
    }
    const double cpu = CpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("waited %.1f s: %.3f ms CPU (%.5f%% of a core), %d wake-ups for events\n", wall,
                1e3 * cpu, 100.0 * cpu / wall, wakeups);
    rmdir(dir);
    return 0;
}
