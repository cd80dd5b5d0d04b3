// The serial channel on a real pseudo terminal: opening (exclusive, with typed reasons), reads
// paced and bounded, a port that goes away, waking a pending read, writes within their budget.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "diag/hdlc.h"
#include "link/serial_port.h"
#include "session/texts.h"
#include "tests/support/pty_modem.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::EncodeFrame;
using test::Peer;
using test::PtyModem;

SerialPort OpenOrFail(const std::string& path) {
    PortError error;
    SerialPort port = SerialPort::Open(path, error);
    EXPECT_TRUE(port.IsOpen()) << PortErrorText(error);
    return port;
}

// The message a failed open shows, or "" when it opened.
std::string OpenText(const std::string& path) {
    PortError error;
    return SerialPort::Open(path, error).IsOpen() ? "" : PortErrorText(error);
}

TEST(SerialOpen, DevicePathIsTheTextBeforeTheFirstSeparatorUnderDev) {
    const std::pair<const char*, const char*> cases[] = {
        {"ttyUSB1 - Huawei - Diagnostics", "/dev/ttyUSB1"},
        {"/dev/pts/3 - Simulated", "/dev/pts/3"},
        {"ttyUSB1", "/dev/"},
        {" - x", "/dev/"},
    };
    for (const auto& [entry, path] : cases) {
        EXPECT_EQ(PortDevicePath(entry), path) << entry;
    }
}

TEST(SerialOpen, FailuresNameTheirReason) {
    EXPECT_EQ(OpenText("/dev/norvane-missing"),
              "Error while opening ComPort\n/dev/norvane-missing: No such file or directory.");
    EXPECT_EQ(OpenText("/dev/null"), kHandleErrorText);  // no terminal
}

TEST(SerialOpen, LineSettingsAreRawEightNoneOneAt115200KeepingHardwareFlow) {
    PtyModem modem;
    const int probe = open(modem.slave().c_str(), O_RDWR | O_NOCTTY);
    for (const bool hardwareFlow : {true, false}) {
        termios t{};
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        t.c_iflag |= IXON | IXOFF | ICRNL;
        t.c_cflag = (t.c_cflag & ~CRTSCTS) | (hardwareFlow ? CRTSCTS : 0) | PARENB | CSTOPB;
        ASSERT_EQ(tcsetattr(probe, TCSANOW, &t), 0);
        SerialPort port = OpenOrFail(modem.slave());
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, hardwareFlow);
        EXPECT_EQ(cfgetispeed(&t), B115200);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    }
    close(probe);
}

TEST(SerialOpen, PortHeldElsewhereIsRefusedUntilReleased) {
    PtyModem modem;
    const std::string inUse = "Error while opening ComPort\n" + modem.slave() +
                              ": the port is in use by another program.";
    {
        SerialPort first = OpenOrFail(modem.slave());
        EXPECT_EQ(OpenText(modem.slave()), inUse);
        SerialPort moved = std::move(first);  // the lock goes with the descriptor
        EXPECT_FALSE(first.IsOpen());
        EXPECT_EQ(OpenText(modem.slave()), inUse);
    }
    const int other = open(modem.slave().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenText(modem.slave()), inUse);
    close(other);
    EXPECT_EQ(OpenText(modem.slave()), "");
}

// Runs `body` in a child process as user and group "nobody"; returns its exit status.
template <typename Body>
int AsNobody(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0) {
            _exit(100);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(SerialOpen, ExclusiveForOtherUsersAndPermissionAdviceNamesTheGroup) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    PtyModem modem;
    const std::string path = modem.slave();
    auto plainOpen = [&path] {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        return fd >= 0 ? (close(fd), 0) : errno == EBUSY ? 1 : 2;
    };
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    {
        SerialPort port = OpenOrFail(path);
        EXPECT_EQ(AsNobody(plainOpen), 1) << "TIOCEXCL keeps other openers out";
    }
    EXPECT_EQ(AsNobody(plainOpen), 0) << "the exclusive mode goes with the port";

    ASSERT_EQ(chmod(path.c_str(), 0660), 0);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const std::string g = getgrgid(st.st_gid)->gr_name;
    const std::string expected =
        "Error while opening ComPort\n" + path + ": Permission denied. Members of the group \"" +
        g + "\" may use it: sudo usermod -aG " + g + " $USER, then log out and in again.";
    EXPECT_EQ(AsNobody([&] { return OpenText(path) == expected ? 0 : 1; }), 0) << expected;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

class SerialRead : public ::testing::Test {
  protected:
    // One read while the modem sends `chunks` (each after `gap`); the result and its time.
    std::pair<int, double> ReadWhileSending(const std::vector<Bytes>& chunks,
                                            std::chrono::milliseconds gap) {
        std::thread sender([&] {
            for (const Bytes& c : chunks) {
                std::this_thread::sleep_for(gap);
                modem_.Send(c);
            }
        });
        const auto start = Clock::now();
        const int n = port_.ReadFrame(dest_, kHdlcFlag);
        const double took = Seconds(Clock::now() - start);
        sender.join();
        return {n, took};
    }
    std::pair<int, double> Read() { return ReadWhileSending({}, 0ms); }
    bool NothingPastTheBuffer() const {
        return std::all_of(buffer_.begin() + kFrameBufferSize, buffer_.end(),
                           [](std::uint8_t b) { return b == 0xAA; });
    }

    PtyModem modem_;
    SerialPort port_ = OpenOrFail(modem_.slave());
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kFrameBufferSize + 16, 0xAA);
    std::span<std::uint8_t> dest_{buffer_.data(), kFrameBufferSize};
};

struct ReadCase {
    const char* name;
    std::vector<Bytes> chunks;
    std::chrono::milliseconds gap;
    int expected;
    double minSeconds, maxSeconds;
};

class SerialReads : public SerialRead, public ::testing::WithParamInterface<ReadCase> {};

const Bytes kFrame = EncodeFrame({0x10, 0x00, 0x7E, 0x7D, 0x01});
const Bytes kHead(kFrame.begin(), kFrame.begin() + 3);
const Bytes kTail(kFrame.begin() + 3, kFrame.end());
Bytes Filled(std::size_t size, bool flagLast) {
    Bytes b(size, 0x42);
    if (flagLast) {
        b.back() = kHdlcFlag;
    }
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialReads,
    ::testing::Values(
        ReadCase{"SilenceGivesNothingAfterPauseAndTimeout", {}, 0ms, 0, 0.9, 1.8},
        ReadCase{"QueuedFrameComesAfterThePause", {kFrame}, 0ms, int(kFrame.size()), 0.45, 0.9},
        ReadCase{"FrameInPiecesComesWhole", {kHead, kTail}, 350ms, int(kFrame.size()), 0.6, 1.2},
        ReadCase{
            "FlagInsideAChunkEndsNothing", {{0x01, 0x7E, 0x02}, {0x03, 0x7E}}, 400ms, 5, 0.7, 1.3},
        ReadCase{"PartialFrameThenSilenceGivesNothing", {kHead}, 550ms, 0, 0.95, 1.6},
        ReadCase{"FrameFillingTheBufferExactly",
                 {Filled(kFrameBufferSize, true)},
                 0ms,
                 int(kFrameBufferSize),
                 0.45,
                 2.0},
        ReadCase{"BytesPastTheBufferFailTheRead",
                 {Filled(kFrameBufferSize + 2000, false)},
                 0ms,
                 0,
                 0.45,
                 2.5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(SerialReads, ReturnWholeFramesOnly) {
    const ReadCase& c = GetParam();
    const auto [n, took] = ReadWhileSending(c.chunks, c.gap);
    EXPECT_EQ(n, c.expected);
    EXPECT_GT(took, c.minSeconds);
    EXPECT_LT(took, c.maxSeconds);
    EXPECT_TRUE(NothingPastTheBuffer());
}

TEST_F(SerialRead, GonePortEndsTheReadAndLaterReadsKeepThePace) {
    auto reading = std::async(std::launch::async, [this] { return Read(); });
    std::this_thread::sleep_for(700ms);
    modem_.CloseMaster();
    EXPECT_EQ(reading.get().first, 0);
    const auto [again, took] = Read();
    EXPECT_EQ(again, 0);
    EXPECT_GT(took, 0.45);
    EXPECT_LT(took, 0.9);
    EXPECT_FALSE(port_.Write(EncodeFrame({0x00})));
}

TEST_F(SerialRead, WakeEndsAPendingReadAtOnceUntilCleared) {
    auto reading = std::async(std::launch::async, [this] { return Read(); });
    std::this_thread::sleep_for(700ms);  // past the opening pause, waiting for bytes
    const auto woke = Clock::now();
    port_.Wake();
    EXPECT_EQ(reading.get().first, 0);
    EXPECT_LT(Seconds(Clock::now() - woke), 0.2);
    EXPECT_LT(Read().second, 0.2) << "a woken port ends reads even in the opening pause";
    port_.ClearWake();
    const Bytes frame = EncodeFrame({0x7B});
    modem_.Send(frame);
    EXPECT_EQ(Read().first, static_cast<int>(frame.size()));
}

TEST_F(SerialRead, ClosedPortKeepsThePaceAndWritesNothing) {
    port_.Close();
    const auto [n, took] = Read();
    EXPECT_EQ(n, 0);
    EXPECT_GT(took, 0.45);
    EXPECT_FALSE(port_.Write(Bytes{0x7E}));
}

TEST(SerialWrite, SendsExactBytesOrGivesUpAfterItsBudget) {
    {
        PtyModem modem;
        SerialPort port = OpenOrFail(modem.slave());
        const Bytes frame = EncodeFrame({0x7B, 0x00, 0x7E, 0x7D, 0x0D, 0x0A, 0x11, 0x13});
        EXPECT_TRUE(port.Write(frame));
        EXPECT_EQ(modem.WaitFor(frame.size()), frame);
    }
    // Nobody reads the master: the pty's queue fills, and then a write of 1000 bytes waits its
    // budget of 50 ms + 1000 ms and fails.
    PtyModem deaf(Peer::kDeaf);
    SerialPort port = OpenOrFail(deaf.slave());
    double lastTook = 0;
    bool written = true;
    for (int i = 0; i < 1000 && written; ++i) {
        const auto start = Clock::now();
        written = port.Write(Bytes(1000, 0x55));
        lastTook = Seconds(Clock::now() - start);
    }
    EXPECT_FALSE(written);
    EXPECT_GT(lastTook, 0.9);
    EXPECT_LT(lastTook, 2.5);
}

}  // namespace
}  // namespace norvane
