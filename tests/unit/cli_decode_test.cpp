// Runs the built `norvane-cli decode` on the sample stream and compares what it prints.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/frames.h"

namespace norvane {
namespace {

const std::string kCli = NORVANE_BINARY_DIR "/tools/norvane-cli";
const std::string kSample = NORVANE_SOURCE_DIR "/tests/data/sample-stream.bin";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CliDecode, CommittedSampleIsWhatTheGeneratorBuilds) {
    const test::Bytes built = test::SampleStream();
    EXPECT_EQ(ReadFile(kSample), std::string(built.begin(), built.end()))
        << "rewrite it with make-sample-stream";
}

// What a run printed: the whole text, or only its start where the expected text ends in "...".
bool Printed(const std::string& got, const std::string& want) {
    const bool start = want.ends_with("...");
    return start ? got.starts_with(want.substr(0, want.size() - 3)) : got == want;
}

// Each command line (standard error to a file) with its exit status, output and error output.
TEST(CliDecode, OutputErrorsAndExitStatus) {
    const std::string json = ReadFile(NORVANE_SOURCE_DIR "/tests/data/sample-stream.jsonl");
    const std::string errPath = ::testing::TempDir() + "norvane-cli-decode.err";
    const struct {
        std::string args;
        int status;
        std::string out, err;
    } cases[] = {
        {"decode --stats '" + kSample + "'", 0, json,
         "frames: 10, reports: 6, bad check sequence: 1, other: 3, unknown version: 0\n"},
        {"decode < '" + kSample + "'", 0, json, ""},
        {"decode - < '" + kSample + "'", 0, json, ""},
        {"decode /nonexistent/stream.bin", 2, "",
         "norvane-cli decode: cannot read /nonexistent/stream.bin: No such file or directory\n"},
        {"decode /", 2, "", "norvane-cli decode: cannot read /: Is a directory\n"},
        {"decode --help", 0, "Usage: norvane-cli decode [--stats] [FILE]\n...", ""},
        {"decode --bogus", 2, "", "norvane-cli decode: unknown option --bogus\n..."},
        {"decode a b", 2, "", "norvane-cli decode: more than one FILE\n..."},
    };
    for (const auto& c : cases) {
        std::FILE* p = popen((kCli + " " + c.args + " 2>" + errPath).c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, p)) > 0;) {
            out.append(chunk, n);
        }
        const int status = pclose(p);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status) << c.args;
        EXPECT_TRUE(Printed(out, c.out)) << c.args << ":\n" << out;
        EXPECT_TRUE(Printed(ReadFile(errPath), c.err)) << c.args << ":\n" << ReadFile(errPath);
    }
    std::remove(errPath.c_str());
}

}  // namespace
}  // namespace norvane
