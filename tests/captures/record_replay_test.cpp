// The tools around a capture, as processes: norvane-cli monitor recording norvane-sim (file and
// live GSMTAP), tshark and norvane-cli decode reading it, norvane-sim replaying it; refusals and
// a file size limit.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "diag/frame_pump.h"
#include "session/capture.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using Lines = std::vector<std::string>;
const std::string kCli = NORVANE_BINARY_DIR "/tools/norvane-cli";
const std::string kSim = NORVANE_BINARY_DIR "/tools/norvane-sim";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Lines SplitLines(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The reports without their "time" key, which must be there.
Lines WithoutTime(const Lines& lines) {
    Lines out;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.rfind("{\"time\":\"20", 0), 0u) << line;
        out.push_back("{" + line.substr(line.find("\",") + 2));
    }
    return out;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string s;
    char two[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        s += two;
    }
    return s;
}

class Tools : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/norvane-tools-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    // Runs a command line to its end; standard output, and the exit status in `status`.
    // Standard error is left in Path("sh.err"). Standard output goes through a pipe, so that a
    // file size limit on the command does not cut it.
    std::string Shell(const std::string& command, int& status) const {
        const std::string line = "{ " + command + " 2>" + Path("sh.err") + "; echo $? >" +
                                 Path("sh.status") + "; } | cat >" + Path("sh.out");
        std::system(line.c_str());
        status = std::stoi(ReadFile(Path("sh.status")));
        return ReadFile(Path("sh.out"));
    }
    // norvane-cli monitor ARGS for `seconds`, then SIGTERM; its reports without their time.
    Lines Monitor(const std::string& args, const char* seconds, int& status,
                  const std::string& prefix = "") const {
        const std::string timeout = "timeout --preserve-status " + std::string(seconds) + " ";
        return WithoutTime(SplitLines(Shell(prefix + timeout + kCli + " monitor " + args, status)));
    }
    std::string dir_;
};

TEST_F(Tools, ADriveRecordedFromTheSimulatorReadsInTsharkDecodesAndReplaysToTheSameReports) {
    const int receiver = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string pcap = Path("drive.pcap");
    Lines live;
    std::string hostBytes;
    {
        test::SimProcess sim({"--rate", "20", "--seed", "11", "--packet-version", "1"});
        int status = 0;
        live = Monitor("--record " + pcap + " --gsmtap 127.0.0.1:" +
                           std::to_string(ntohs(address.sin_port)) + " " + sim.link(),
                       "3", status);
        ASSERT_EQ(status, 0) << ReadFile(Path("sh.err"));
        sim.Stop();
        hostBytes = ReadFile(sim.recordPath());
    }
    ASSERT_GE(live.size(), 25u);

    // tshark: every packet GSMTAP v2 Qualcomm DIAG on port 4729; the host's packets carry the
    // uplink bit and, in order, the frames the simulated modem received.
    int status = 0;
    const Lines packets = SplitLines(Shell("tshark -r " + pcap +
                                               " -T fields -E separator=, -e gsmtap.version "
                                               "-e gsmtap.type -e udp.dstport -e gsmtap.uplink "
                                               "-e udp.payload",
                                           status));
    ASSERT_EQ(status, 0);
    Lines uplink;
    Lines payloads;
    for (const std::string& p : packets) {
        ASSERT_EQ(p.substr(0, 10), "2,17,4729,") << p;
        payloads.push_back(p.substr(p.rfind(',') + 1));
        if (p[10] == '1') {
            uplink.push_back(payloads.back().substr(32));  // after the GSMTAP header
        }
    }
    HdlcDeframer deframer;
    FrameCounters counters;
    Lines sent;
    PumpFrames(deframer,
               {reinterpret_cast<const std::uint8_t*>(hostBytes.data()), hostBytes.size()},
               counters, [&](HdlcDeframer::Status s, std::span<const std::uint8_t> payload) {
                   if (s == HdlcDeframer::Status::kFrame) {
                       sent.push_back(Hex(payload));
                   }
               });
    EXPECT_EQ(uplink, sent);
    EXPECT_EQ(sent.size(), 4u);  // probe, cells on; at the end AGC off, cells off

    // The same packets went out live, one datagram each.
    Lines datagrams;
    std::uint8_t buffer[0x10000];
    for (pollfd p{receiver, POLLIN, 0}; poll(&p, 1, 200) == 1;) {
        const ssize_t n = recv(receiver, buffer, sizeof buffer, 0);
        datagrams.push_back(Hex({buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0))}));
    }
    close(receiver);
    std::sort(datagrams.begin(), datagrams.end());  // two threads send: order may differ
    std::sort(payloads.begin(), payloads.end());
    EXPECT_EQ(datagrams, payloads);

    const std::string decoded = Shell(kCli + " decode --stats " + pcap, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(WithoutTime(SplitLines(decoded)), live);
    const std::string stats = ReadFile(Path("sh.err"));
    EXPECT_NE(stats.find(", not GSMTAP DIAG: 0, host frames: 4"), std::string::npos) << stats;

    test::SimProcess replay({"--replay", pcap, "--speed", "4"});
    EXPECT_EQ(Monitor(replay.link(), "2", status), live);  // at 4 times the speed
    EXPECT_EQ(status, 0);
}

TEST_F(Tools, CapturesThatCannotBeMadeOrReadAreRefusedWithOneLine) {
    std::ofstream(Path("raw.bin")) << "not a capture";
    const std::string cases[][2] = {
        {kCli + " monitor --record /nonexistent/d.pcap /dev/nonexistent",
         "norvane-cli monitor: Cannot record to /nonexistent/d.pcap: No such file or directory\n"},
        {kCli + " monitor --record " + Path("d.txt") + " /dev/nonexistent",
         "norvane-cli monitor: Cannot record to " + Path("d.txt") +
             ": the name must end in .pcap or .bin\n"},
        {kCli + " monitor --gsmtap=127.0.0.1:0 /dev/nonexistent",
         "norvane-cli monitor: Cannot send GSMTAP to \"127.0.0.1:0\": port must be a number from "
         "1 to 65535\n"},
        {kSim + " --replay /nonexistent.pcap",
         "norvane-sim: cannot replay /nonexistent.pcap: No such file or directory\n"},
        {kSim + " --replay " + Path("raw.bin"),
         "norvane-sim: cannot replay " + Path("raw.bin") +
             ": not a pcap or pcapng capture (a raw stream has no packet times)\n"},
    };
    for (const auto& [command, err] : cases) {
        int status = 0;
        Shell(command, status);
        EXPECT_EQ(status, 2) << command;
        EXPECT_EQ(ReadFile(Path("sh.err")), err);
    }
}

TEST_F(Tools, AFileSizeLimitStopsRecordingOnceWhileMonitoringGoesOn) {
    constexpr std::uintmax_t kLimit = 2000;  // about a dozen packets
    const std::string pcap = Path("full.pcap");
    test::SimProcess sim({"--rate", "20", "--seed", "5"});
    int status = 0;
    const Lines reports = Monitor("--record " + pcap + " " + sim.link(), "3", status,
                                  "prlimit --fsize=" + std::to_string(kLimit) + " ");
    EXPECT_EQ(status, 0);
    EXPECT_GE(reports.size(), 30u);  // long after the limit was met
    EXPECT_EQ(ReadFile(Path("sh.err")),
              "norvane-cli monitor: Recording to " + pcap + " stopped: File too large\n");
    EXPECT_LE(std::filesystem::file_size(pcap), kLimit);
    const Lines packets =
        SplitLines(Shell("tshark -r " + pcap + " -T fields -e gsmtap.type", status));
    EXPECT_EQ(status, 0);
    EXPECT_GE(packets.size(), 3u);
}

}  // namespace
}  // namespace norvane
