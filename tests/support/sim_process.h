// Runs the norvane-sim executable as a child process with its own link, for tests and
// measurements; ends it with SIGTERM.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace norvane::test {

class SimProcess {
  public:
    // Starts norvane-sim with `args` (plus --link into a fresh directory) and waits until the
    // link is published.
    explicit SimProcess(std::vector<std::string> args) {
        char dirTemplate[] = "/tmp/norvane-sim-test-XXXXXX";
        if (mkdtemp(dirTemplate) == nullptr) {
            throw std::runtime_error("mkdtemp");
        }
        dir_ = dirTemplate;
        link_ = dir_ + "/norvane-sim";
        record_ = dir_ + "/record.bin";
        std::vector<std::string> all = {NORVANE_BINARY_DIR "/tools/norvane-sim", "--link", link_,
                                        "--record", record_};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            throw std::runtime_error("cannot start norvane-sim");
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        struct stat st {};
        while (lstat(link_.c_str(), &st) != 0) {
            if (std::chrono::steady_clock::now() > end) {
                Stop();
                throw std::runtime_error("norvane-sim published no link");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~SimProcess() {
        Stop();
        unlink(record_.c_str());
        unlink(link_.c_str());
        rmdir(dir_.c_str());
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& link() const { return link_; }
    const std::string& recordPath() const { return record_; }
    std::string Entry() const { return link_ + " - Simulated modem"; }

    // SIGTERM and wait; returns the exit status (or -1 when it did not exit normally).
    int Stop() {
        if (pid_ <= 0) {
            return status_;
        }
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string dir_;
    std::string link_;
    std::string record_;
};

}  // namespace norvane::test
