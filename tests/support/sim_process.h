// Test support without Qt: child processes. The project's programs run with their output in a
// file, and norvane-sim, the one simulator launcher, runs with its record in a fresh directory
// and its link there or where the test says (so it can be killed and started again on it).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "link/modem_identity.h"

extern char** environ;

namespace norvane::test {

// Starts `args` (args[0] a path), with standard output and error into the file `output` when
// one is given. Returns the child's pid, or -1.
inline pid_t Spawn(std::vector<std::string> args, const char* output = nullptr) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != nullptr) {
        posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

// The child's exit status, or -1 when a signal ended it or it ran past `limit` (then killed).
inline int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class SimProcess {
  public:
    // Starts norvane-sim with `args` on `link` (by default one of its own) and waits until the
    // link leads to its live pty.
    explicit SimProcess(std::vector<std::string> args, std::string link = {})
        : args_(std::move(args)) {
        char dir[] = "/tmp/norvane-sim-test-XXXXXX";
        dir_ = mkdtemp(dir) != nullptr ? dir : throw std::runtime_error("mkdtemp");
        link_ = link.empty() ? dir_ + "/norvane-sim" : std::move(link);
        Restart();
    }
    ~SimProcess() {
        Stop();
        std::filesystem::remove_all(dir_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& link() const { return link_; }
    std::string recordPath() const { return dir_ + "/record.bin"; }
    std::string Entry() const { return link() + " - Simulated modem"; }
    // A file in the simulator's directory, removed with it.
    std::string Scratch(const char* name) const { return dir_ + "/" + name; }

    // Starts it (again, after Stop) on the same link.
    void Restart() {
        std::vector<std::string> all = {NORVANE_BINARY_DIR "/tools/norvane-sim", "--link", link_,
                                        "--record", recordPath()};
        all.insert(all.end(), args_.begin(), args_.end());
        pid_ = Spawn(std::move(all));
        for (int i = 0; !LivePtyOfLink(link_); ++i) {
            if (pid_ < 0 || i == 500) {
                Stop();
                throw std::runtime_error("norvane-sim published no link");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    // Ends it with `signal` and waits; the exit status (-1 when it did not exit normally).
    // After SIGKILL the link stays behind, leading to a pty that is gone.
    int Stop(int signal = SIGTERM) {
        if (pid_ > 0) {
            kill(pid_, signal);
            status_ = WaitExit(std::exchange(pid_, -1), std::chrono::seconds(10));
        }
        return status_;
    }

  private:
    std::vector<std::string> args_;
    std::string dir_, link_;
    pid_t pid_ = -1;
    int status_ = -1;
};

}  // namespace norvane::test
