// Runs the built `norvane-cli decode` on the sample stream and compares what it prints.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/frames.h"

namespace norvane {
namespace {

const std::string kCli = NORVANE_BINARY_DIR "/tools/norvane-cli";
const std::string kSample = NORVANE_SOURCE_DIR "/tests/data/sample-stream.bin";
const std::string kExpected = NORVANE_SOURCE_DIR "/tests/data/sample-stream.jsonl";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct CliRun {
    int exitStatus;
    std::string out;
    std::string err;
};

// Runs a shell command line, standard error going to a temporary file.
CliRun Shell(const std::string& command) {
    char errPath[] = "/tmp/norvane-cli-test-XXXXXX";
    const int fd = mkstemp(errPath);
    EXPECT_GE(fd, 0);
    close(fd);
    CliRun r{};
    std::FILE* p = popen((command + " 2>" + errPath).c_str(), "r");
    EXPECT_NE(p, nullptr);
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) {
        r.out.append(chunk, n);
    }
    const int status = pclose(p);
    r.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadFile(errPath);
    unlink(errPath);
    return r;
}

TEST(CliDecode, CommittedSampleIsWhatTheGeneratorBuilds) {
    const std::vector<std::uint8_t> built = test::SampleStream();
    EXPECT_EQ(ReadFile(kSample), std::string(built.begin(), built.end()))
        << "rewrite it with make-sample-stream";
}

TEST(CliDecode, SampleFilePrintsTheExpectedReportsAndStats) {
    const CliRun r = Shell(kCli + " decode --stats '" + kSample + "'");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, ReadFile(kExpected));
    EXPECT_EQ(r.err,
              "frames: 10, reports: 6, bad check sequence: 1, other: 3, unknown version: 0\n");
}

TEST(CliDecode, StandardInputGivesTheSame) {
    const CliRun r = Shell(kCli + " decode < '" + kSample + "'");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, ReadFile(kExpected));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Shell("cat '" + kSample + "' | " + kCli + " decode -").out, r.out);
}

TEST(CliDecode, UnreadableFileIsOneLineNamingItAndExitTwo) {
    CliRun r = Shell(kCli + " decode /nonexistent/stream.bin");
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(
        r.err,
        "norvane-cli decode: cannot read /nonexistent/stream.bin: No such file or directory\n");

    r = Shell(kCli + " decode /");  // opens, but cannot be read
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.err, "norvane-cli decode: cannot read /: Is a directory\n");
}

TEST(CliDecode, HelpAndUsageErrors) {
    const CliRun help = Shell(kCli + " decode --help");
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("Usage: norvane-cli decode [--stats] [FILE]"), std::string::npos);
    EXPECT_NE(help.out.find("--stats"), std::string::npos);
    EXPECT_EQ(Shell(kCli + " decode --bogus").exitStatus, 2);
    EXPECT_EQ(Shell(kCli + " decode a b").exitStatus, 2);
}

}  // namespace
}  // namespace norvane
