// Captures as Wireshark's tools and our reader see them: written by the recorder, converted by
// editcap, cut short by a full disk; live GSMTAP datagrams on a real UDP socket.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "session/capture.h"

namespace norvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::microseconds;

struct Frame {
    CaptureTime time;
    FrameDirection direction;
    Bytes payload;
};

const std::vector<Frame> kFrames = {
    {CaptureTime(microseconds(1700000000000123)), FrameDirection::kToModem, {0x4B, 0x04, 0x0E}},
    {CaptureTime(microseconds(1700000000250999)),
     FrameDirection::kFromModem,
     {0x10, 0x00, 0x7E, 0x7D, 0x05, 0x40}},
    {CaptureTime(microseconds(1700000001000000)), FrameDirection::kFromModem, Bytes(3000, 0xA5)},
};

class Capture : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/norvane-capture-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    void Write(const std::string& path, const std::vector<Frame>& frames) {
        CaptureError error;
        auto writer = CaptureWriter::Create(path, error);
        ASSERT_TRUE(writer) << error.message;
        for (const Frame& f : frames) {
            EXPECT_FALSE(writer->WriteRead(f.time, f.payload));
            EXPECT_FALSE(writer->WriteFrame(f.time, f.direction, f.payload));
        }
    }
    struct Got {
        std::vector<Frame> frames;
        bool timed = false;
        std::size_t skipped = 0;
        std::string error;  // "" at a clean end
    };
    static Got Read(const std::string& path) {
        Got got;
        CaptureError error;
        auto reader = CaptureReader::Open(path, error);
        CaptureReader::Packet p;
        while (reader && reader->Next(p, error) == CaptureReader::Status::kPacket) {
            got.frames.push_back({p.time, p.direction, Bytes(p.bytes.begin(), p.bytes.end())});
            got.timed = p.hasTime;
        }
        got.skipped = reader ? reader->skipped() : 0;
        got.error = error.message;
        return got;
    }

    std::string dir_;
};

std::string Shell(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");  // stderr stays the test's
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        out += buffer;
    }
    status = pclose(pipe);
    return out;
}

std::string Hex(const Bytes& bytes) {
    std::string s;
    for (const std::uint8_t b : bytes) {
        s += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    }
    return s;
}

TEST_F(Capture, TsharkSeesEveryFrameAsGsmtapDiagWithItsTimeDirectionAndPayload) {
    Write(Path("drive.pcap"), kFrames);
    int status = 0;
    const std::string out = Shell("tshark -o ip.check_checksum:TRUE -r " + Path("drive.pcap") +
                                      " -T fields -E separator=, -e frame.time_epoch "
                                      "-e ip.checksum.status -e udp.dstport -e gsmtap.version "
                                      "-e gsmtap.type -e gsmtap.uplink -e udp.payload",
                                  status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream lines(out);
    std::string line;
    std::size_t i = 0;
    while (std::getline(lines, line)) {
        ASSERT_LT(i, kFrames.size()) << line;
        const Frame& f = kFrames[i++];
        const auto us = f.time.time_since_epoch() / microseconds(1);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%lld.%06lld000,1,4729,2,17,%d,",
                      static_cast<long long>(us / 1000000), static_cast<long long>(us % 1000000),
                      f.direction == FrameDirection::kToModem);
        EXPECT_EQ(line.substr(0, line.rfind(',') + 1), expected);
        EXPECT_EQ(line.substr(line.rfind(',') + 1 + 32), Hex(f.payload));  // after GSMTAP
    }
    EXPECT_EQ(i, kFrames.size());
}

TEST_F(Capture, ReaderGivesBackWhatWasWrittenThroughEveryFileFormat) {
    Write(Path("drive.pcap"), kFrames);
    // As written, and converted by editcap to pcapng and to nanosecond pcap.
    for (const std::string format : {"", "pcapng", "nsecpcap"}) {
        SCOPED_TRACE(format);
        const std::string path = format.empty() ? Path("drive.pcap") : Path("converted." + format);
        int status = 0;
        if (!format.empty()) {
            Shell("editcap -F " + format + " " + Path("drive.pcap") + " " + path, status);
            ASSERT_EQ(status, 0);
        }
        const Got got = Read(path);
        EXPECT_EQ(got.error, "");
        ASSERT_EQ(got.frames.size(), kFrames.size());
        EXPECT_TRUE(got.timed);
        for (std::size_t i = 0; i < kFrames.size(); ++i) {
            EXPECT_EQ(got.frames[i].time, kFrames[i].time);
            EXPECT_EQ(got.frames[i].direction, kFrames[i].direction);
            EXPECT_EQ(got.frames[i].payload, kFrames[i].payload);
        }
    }
}

TEST_F(Capture, RawCaptureKeepsTheBytesReadAndNothingElse) {
    Write(Path("port.bin"), kFrames);
    const Got got = Read(Path("port.bin"));
    Bytes all;
    for (const Frame& f : kFrames) {
        all.insert(all.end(), f.payload.begin(), f.payload.end());
    }
    EXPECT_EQ(got.error, "");
    ASSERT_EQ(got.frames.size(), 1u);  // one piece: the file is smaller than a read
    EXPECT_EQ(got.frames[0].payload, all);
    EXPECT_FALSE(got.timed);
}

TEST_F(Capture, OtherPacketsAreSkippedAndACutFileEndsWithAOneLineError) {
    Write(Path("cut.pcap"), kFrames);
    std::fstream file(Path("cut.pcap"), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(24 + 16 + 22 + 1);  // first packet's UDP destination port, low byte
    file.put(0x35);
    file.close();
    std::filesystem::resize_file(Path("cut.pcap"),
                                 std::filesystem::file_size(Path("cut.pcap")) - 5);
    const Got got = Read(Path("cut.pcap"));
    const std::string& error = got.error;
    EXPECT_EQ(got.frames.size(), 1u);
    EXPECT_EQ(got.skipped, 1u);
    EXPECT_NE(error.find(Path("cut.pcap")), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);

    std::ofstream(Path("junk.pcap"), std::ios::binary) << "\xD4\xC3\xB2\xA1junk";
    EXPECT_NE(Read(Path("junk.pcap")).error.find("not a readable capture"), std::string::npos);
}

TEST_F(Capture, ACaptureThatCannotBeCreatedSaysWhyInOneLine) {
    CaptureError error;
    EXPECT_FALSE(CaptureWriter::Create("/nonexistent/drive.pcap", error));
    EXPECT_EQ(error.kind, CaptureError::Kind::kCannotCreate);
    EXPECT_EQ(error.message, "Cannot record to /nonexistent/drive.pcap: No such file or directory");
    EXPECT_FALSE(CaptureWriter::Create(Path("drive.txt"), error));
    EXPECT_EQ(error.kind, CaptureError::Kind::kUnknownFormat);
    EXPECT_FALSE(std::filesystem::exists(Path("drive.txt")));
}

TEST_F(Capture, AFullDiskStopsRecordingOnceAndLeavesAValidCapture) {
    const std::string path = Path("full.pcap");
    constexpr rlim_t kLimit = 10000;  // room for three of the 3 KB frames below and a part
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kLimit, kLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        CaptureError error;
        auto writer = CaptureWriter::Create(path, error);
        int failures = 0;
        for (int i = 0; i < 20; ++i) {
            failures += bool(writer->WriteFrame(kFrames[2].time, FrameDirection::kFromModem,
                                                kFrames[2].payload));
            failures += i % 2 == 1 && bool(writer->Flush());
        }
        _exit(failures == 1 && !writer->recording() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0) << "the child saw the failure not exactly once";
    const Got got = Read(path);
    EXPECT_EQ(got.error, "");
    EXPECT_EQ(got.frames.size(), 3u);
    const std::string out = Shell("tshark -r " + path + " -T fields -e gsmtap.type", status);
    EXPECT_EQ(status, 0) << out;
}

TEST(GsmtapLive, DatagramsReachASocketOnLoopback) {
    const int receiver = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length), 0);
    CaptureError error;
    auto sender =
        GsmtapSender::Create("localhost:" + std::to_string(ntohs(address.sin_port)), error);
    ASSERT_TRUE(sender) << error.message;
    for (const Frame& f : kFrames) {
        sender->Send(f.direction, f.payload);
    }
    for (const Frame& f : kFrames) {
        pollfd p{receiver, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 2000), 1);
        std::uint8_t buffer[8192];
        const ssize_t n = recv(receiver, buffer, sizeof buffer, 0);
        const GsmtapFrame frame = ParseGsmtapDatagram({buffer, static_cast<std::size_t>(n)});
        ASSERT_EQ(frame.check, GsmtapCheck::kOk);
        EXPECT_EQ(frame.direction, f.direction);
        EXPECT_EQ(Bytes(frame.payload.begin(), frame.payload.end()), f.payload);
    }
    EXPECT_EQ(sender->dropped(), 0u);
    close(receiver);
    for (const char* bad : {"host:0", "host:65536", "host:", "[::1", "[::1]x"}) {
        EXPECT_FALSE(GsmtapSender::Create(bad, error)) << bad;
        EXPECT_EQ(error.kind, CaptureError::Kind::kBadAddress) << bad;
    }
    EXPECT_TRUE(GsmtapSender::Create("", error)) << error.message;
}

TEST_F(Capture, FramesFromTwoThreadsArriveWhole) {
    CaptureError error;
    auto writer = CaptureWriter::Create(Path("threads.pcap"), error);
    auto write = [&](FrameDirection direction) {
        for (int i = 0; i < 2000; ++i) {
            writer->WriteFrame(CaptureClock::now(), direction, Bytes(200, std::uint8_t(direction)));
        }
    };
    std::thread reads(write, FrameDirection::kFromModem);
    write(FrameDirection::kToModem);
    reads.join();
    writer.reset();
    const Got got = Read(Path("threads.pcap"));
    EXPECT_EQ(got.frames.size(), 4000u);
    for (const Frame& f : got.frames) {
        EXPECT_EQ(f.payload, Bytes(200, std::uint8_t(f.direction)));
    }
}

}  // namespace
}  // namespace norvane
