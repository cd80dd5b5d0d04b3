// norvane-cli monitor --follow while the simulated modem is killed and started again on the
// same link: a "gone" line, then "back" and cells again soon after the link returns.
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/pty_modem.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using Clock = std::chrono::steady_clock;

TEST(Follow, SimulatorKilledAndStartedAgainResumesWithinTwoSecondsOfItsLink) {
    test::SimProcess sim({"--rate", "10"});
    const std::string out = sim.Scratch("cli.out");
    const pid_t cli = test::Spawn(
        {NORVANE_BINARY_DIR "/tools/norvane-cli", "monitor", "--follow", sim.Entry()}, out.c_str());
    ASSERT_GT(cli, 0);
    // Killed if the test ends early; once reaped, waiting again does nothing.
    const std::unique_ptr<const pid_t, void (*)(const pid_t*)> reap(
        &cli, [](const pid_t* pid) { test::WaitExit(*pid, {}); });
    std::size_t seen = 0;
    // The next output line holding `text`, within `ms`; empty when none came.
    const auto next = [&](const char* text, int ms = 5000) {
        std::string line;
        test::Eventually(
            [&] {
                const std::string all = test::ReadFile(out);
                const std::size_t at = all.find(text, seen), eol = all.find('\n', at);
                if (eol == std::string::npos) {
                    return false;
                }
                const std::size_t bol = all.rfind('\n', at) + 1;  // 0 on the first line
                line = all.substr(bol, eol - bol);
                seen = eol + 1;
                return true;
            },
            std::chrono::milliseconds(ms));
        return line;
    };
    ASSERT_NE(next(R"("type":"cells")"), "");
    sim.Stop(SIGKILL);
    const std::string gone = next(R"("type":"port")");
    EXPECT_NE(gone.find(R"(,"type":"port","state":"gone"})"), std::string::npos) << gone;
    EXPECT_EQ(gone.rfind(R"({"time":")", 0), 0u) << gone;

    sim.Restart();
    const auto linkBack = Clock::now();
    EXPECT_NE(next(R"("type":"port","state":"back")", 2000), "");
    EXPECT_NE(next(R"("type":"cells")", 2000), "");
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - linkBack).count(), 2.0);
    kill(cli, SIGTERM);
    EXPECT_EQ(test::WaitExit(cli, std::chrono::seconds(5)), 0);
}

}  // namespace
}  // namespace norvane
