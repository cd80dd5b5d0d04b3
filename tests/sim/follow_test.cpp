// norvane-cli monitor --follow while the simulated modem is killed and started again on the
// same link: a "gone" line, then "back" and cells again soon after the link returns.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/resume_support.h"

namespace norvane {
namespace {

using Clock = std::chrono::steady_clock;

class Cli {
  public:
    explicit Cli(std::vector<std::string> args) {
        int out[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        args.insert(args.begin(), NORVANE_BINARY_DIR "/tools/norvane-cli");
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
    }
    ~Cli() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }
    // The next output line holding `text`, within `seconds`; empty when none came.
    std::string LineWith(const std::string& text, double seconds = 5) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            for (std::size_t eol; (eol = pending_.find('\n')) != std::string::npos;) {
                std::string line = pending_.substr(0, eol);
                pending_.erase(0, eol + 1);
                if (line.find(text) != std::string::npos) {
                    return line;
                }
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            pollfd p{out_, POLLIN, 0};
            char chunk[4096];
            ssize_t n = 0;
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
                (n = read(out_, chunk, sizeof chunk)) <= 0) {
                return {};
            }
            pending_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    int Terminate() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(std::exchange(pid_, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

TEST(Follow, SimulatorKilledAndStartedAgainResumesWithinTwoSecondsOfItsLink) {
    char dir[] = "/tmp/norvane-follow-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/norvane-sim";
    auto sim = std::make_unique<test::SimOnLink>(link);
    Cli cli({"monitor", "--follow", link + " - Simulated modem"});
    ASSERT_NE(cli.LineWith(R"("type":"cells")"), "");
    sim->Kill();  // the link stays behind, leading to a pty that is gone
    const std::string gone = cli.LineWith(R"("type":"port")");
    EXPECT_NE(gone.find(R"(,"type":"port","state":"gone"})"), std::string::npos) << gone;
    EXPECT_EQ(gone.rfind(R"({"time":")", 0), 0u) << gone;

    sim = std::make_unique<test::SimOnLink>(link);
    const auto linkBack = Clock::now();
    EXPECT_NE(cli.LineWith(R"("type":"port","state":"back")", 2), "");
    EXPECT_NE(cli.LineWith(R"("type":"cells")", 2), "");
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - linkBack).count(), 2.0);
    EXPECT_EQ(cli.Terminate(), 0);
    sim.reset();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace norvane
