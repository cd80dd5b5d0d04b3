// A private X desktop for tests that need a real frame around their windows: Xvfb on a free
// display, with openbox as the window manager. Both end with the session, or with the test
// process if it dies first.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace norvane::test {

class XSession {
  public:
    XSession() = default;
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;
    ~XSession() { Stop(); }

    // Starts the server and the window manager and waits until both are ready; sets DISPLAY.
    // On failure returns false with the reason in `error`.
    bool Start(std::string& error) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) {
            error = "pipe";
            return false;
        }
        // Xvfb picks a free display and writes its number to the descriptor it is given.
        const std::string fd = std::to_string(pipeFds[1]);
        server_ = Spawn({"Xvfb", "-displayfd", fd, "-screen", "0", "1280x1024x24", "-nolisten",
                         "tcp", "-noreset"},
                        pipeFds[1]);
        close(pipeFds[1]);
        std::string number;
        const bool got = ReadLine(pipeFds[0], number, 10000);
        close(pipeFds[0]);
        if (server_ < 0 || !got || number.empty()) {
            error = "Xvfb did not start (is the xvfb package installed?)";
            return false;
        }
        display_ = ":" + number;
        setenv("DISPLAY", display_.c_str(), 1);

        char dirTemplate[] = "/tmp/norvane-desktop-XXXXXX";
        if (mkdtemp(dirTemplate) == nullptr) {
            error = "mkdtemp";
            return false;
        }
        dir_ = dirTemplate;
        const std::string ready = dir_ + "/wm-ready";
        // openbox runs its start-up command once it manages the screen.
        wm_ = Spawn({"openbox", "--startup", "touch " + ready}, -1);
        struct stat st {};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (stat(ready.c_str(), &st) != 0) {
            if (wm_ < 0 || std::chrono::steady_clock::now() > end) {
                error = "openbox did not start";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        unlink(ready.c_str());
        return true;
    }

    void Stop() {
        for (pid_t* pid : {&wm_, &server_}) {
            if (*pid > 0) {
                kill(*pid, SIGTERM);
                waitpid(*pid, nullptr, 0);
                *pid = -1;
            }
        }
        if (!dir_.empty()) {
            rmdir(dir_.c_str());
            dir_.clear();
        }
    }

    const std::string& display() const { return display_; }

  private:
    // fork/exec rather than posix_spawn: the child must die with us (PR_SET_PDEATHSIG).
    static pid_t Spawn(std::vector<std::string> args, int keepFd) {
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid != 0) {
            return pid;
        }
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        if (keepFd >= 0) {
            fcntl(keepFd, F_SETFD, 0);
        }
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }

    static bool ReadLine(int fd, std::string& line, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char c = 0;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) {
                continue;
            }
            if (read(fd, &c, 1) != 1) {
                return false;
            }
            if (c == '\n') {
                return true;
            }
            line += c;
        }
        return false;
    }

    pid_t server_ = -1;
    pid_t wm_ = -1;
    std::string display_;
    std::string dir_;
};

}  // namespace norvane::test
