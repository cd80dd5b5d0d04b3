// The tools around a capture, as processes: norvane-cli monitor recording norvane-sim (file and
// live GSMTAP), tshark and norvane-cli decode reading it, norvane-sim replaying it; refusals and
// a file size limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

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

// A tool as a child process, optionally under a file size limit. Its output comes through pipes
// (a limit would cut a file) and is gathered as it comes.
class Child {
  public:
    explicit Child(Lines args, rlim_t fileSize = RLIM_INFINITY) {
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int out[2], err[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC) | pipe2(err, O_CLOEXEC), 0);
        if ((pid_ = fork()) == 0) {
            const rlimit limit{fileSize, fileSize};
            setrlimit(RLIMIT_FSIZE, &limit);
            dup2(out[1], 1);
            dup2(err[1], 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        fds_[0] = {out[0], POLLIN, 0};
        fds_[1] = {err[0], POLLIN, 0};
    }
    ~Child() { Stop(); }
    // Gathers output until standard output has `count` lines (at most 15 s).
    void WaitForLines(std::size_t count) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (Out().size() < count && std::chrono::steady_clock::now() < end && Gather(100)) {
        }
    }
    // SIGTERM, the rest of the output, the exit status.
    int Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            while (Gather(5000)) {
            }
            int status = 0;
            waitpid(pid_, &status, 0);
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
        }
        return status_;
    }
    Lines Out() const { return SplitLines(text_[0]); }
    const std::string& Err() const { return text_[1]; }

  private:
    // One wait for output; false once both pipes have ended.
    bool Gather(int timeoutMs) {
        if (fds_[0].fd < 0 && fds_[1].fd < 0) {
            return false;
        }
        poll(fds_, 2, timeoutMs);
        for (int i = 0; i < 2; ++i) {
            char buffer[4096];
            if (fds_[i].fd >= 0 && (fds_[i].revents & (POLLIN | POLLHUP)) != 0) {
                const ssize_t n = read(fds_[i].fd, buffer, sizeof buffer);
                n > 0 ? (void)text_[i].append(buffer, static_cast<std::size_t>(n))
                      : (void)(close(fds_[i].fd), fds_[i].fd = -1);
            }
        }
        return true;
    }
    pid_t pid_ = -1;
    int status_ = -1;
    pollfd fds_[2]{};
    std::string text_[2];
};

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
    // Standard error is left in Path("sh.err").
    std::string Shell(const std::string& command, int& status) const {
        const std::string redirect = " >" + Path("sh.out") + " 2>" + Path("sh.err");
        status = WEXITSTATUS(std::system((command + redirect).c_str()));
        return ReadFile(Path("sh.out"));
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
        Child monitor({kCli, "monitor", "--record", pcap, "--gsmtap",
                       "127.0.0.1:" + std::to_string(ntohs(address.sin_port)), sim.link()});
        monitor.WaitForLines(30);
        ASSERT_EQ(monitor.Stop(), 0) << monitor.Err();
        live = WithoutTime(monitor.Out());
        sim.Stop();
        hostBytes = ReadFile(sim.recordPath());
    }
    ASSERT_GE(live.size(), 30u);

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
    Child again({kCli, "monitor", replay.link()});
    again.WaitForLines(live.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // nothing more may come
    ASSERT_EQ(again.Stop(), 0) << again.Err();
    EXPECT_EQ(WithoutTime(again.Out()), live);
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
    constexpr rlim_t kLimit = 2000;  // about a dozen packets
    const std::string pcap = Path("full.pcap");
    test::SimProcess sim({"--rate", "20", "--seed", "5"});
    Child monitor({kCli, "monitor", "--record", pcap, sim.link()}, kLimit);
    monitor.WaitForLines(40);
    EXPECT_EQ(monitor.Stop(), 0);
    EXPECT_GE(monitor.Out().size(), 40u);
    EXPECT_EQ(monitor.Err(),
              "norvane-cli monitor: Recording to " + pcap + " stopped: File too large\n");
    EXPECT_LE(std::filesystem::file_size(pcap), kLimit);
    int status = 0;
    const Lines packets =
        SplitLines(Shell("tshark -r " + pcap + " -T fields -e gsmtap.type", status));
    EXPECT_EQ(status, 0);
    EXPECT_GE(packets.size(), 3u);
}

}  // namespace
}  // namespace norvane
