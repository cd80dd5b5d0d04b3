// Captures as our reader sees them, and the tools around one as processes: norvane-cli monitor
// recording norvane-sim (file and live GSMTAP), tshark, decode, norvane-sim --replay.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/reader.h"
#include "capture/writer.h"
#include "tests/support/frames.h"
#include "tests/support/pty_modem.h"
#include "tests/support/sim_process.h"
#include "tools/sim/replay.h"

namespace norvane {
namespace {

using Lines = std::vector<std::string>;
using test::Bytes;
using test::ReadFile;
const std::string kCli = NORVANE_BINARY_DIR "/tools/norvane-cli";
const std::string kSim = NORVANE_BINARY_DIR "/tools/norvane-sim";

// The lines of `text`; for norvane-cli's reports, without their "time" key, which must be there.
Lines SplitLines(const std::string& text, bool reports = false) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(!reports || line.rfind("{\"time\":\"20", 0) == 0) << line;
        lines.push_back(reports ? "{" + line.substr(line.find("\",") + 2) : line);
    }
    return lines;
}

// A frame as text: 'u' for the host's, 'd' for the modem's, then the payload in hex.
std::string Text(FrameDirection direction, std::span<const std::uint8_t> payload) {
    std::string s = direction == FrameDirection::kToModem ? "u" : "d";
    for (const std::uint8_t b : payload) {
        s += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    }
    return s;
}

struct Got {
    Lines frames;  // Text() of each, after its time as tshark prints it when it has one
    Bytes host;    // the host's frames as they went on the wire
    std::size_t skipped = 0;
    std::string error;  // "" at a clean end
};
Got Read(const std::string& path) {
    Got got;
    CaptureError error;
    auto reader = CaptureReader::Open(path, error);
    CaptureReader::Packet p;
    while (reader && reader->Next(p, error) == CaptureReader::Status::kPacket) {
        const long long us = p.time.time_since_epoch() / std::chrono::microseconds(1);
        char time[32];
        std::snprintf(time, sizeof time, "%lld.%06lld000 ", us / 1000000, us % 1000000);
        got.frames.push_back((p.hasTime ? time : "") + Text(p.direction, p.bytes));
        if (p.direction == FrameDirection::kToModem) {
            test::AppendFrame(got.host, p.bytes);
        }
    }
    got.skipped = reader ? reader->skipped() : 0;
    got.error = error.message;
    return got;
}

class Capture : public ::testing::Test {
  protected:
    ~Capture() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Standard output of a command line run to its end (through a pipe, so that a file size
    // limit on the command does not cut it); its standard error stays in Path("sh.err").
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
        return SplitLines(Shell(prefix + timeout + kCli + " monitor " + args, status), true);
    }
    char name_[28] = "/tmp/norvane-capture-XXXXXX";
    std::string dir_ = mkdtemp(name_);
};

// A raw capture keeps the bytes read, in one piece, without times, and no frames; a pcap the
// checked frames. A write cut short by a file size limit keeps what reached the file whole: a
// pcap's packets up to the last that ended within it (24-byte file header, 65 bytes a packet
// here), every byte of a raw stream. The failure is returned once.
TEST_F(Capture, AWriteCutShortKeepsTheWholePacketsThatReachedTheFile) {
    std::signal(SIGXFSZ, SIG_IGN);
    const Bytes read = {0x7E, 0x10, 0x7D, 0x5E, 0x7E};
    const Bytes stream = test::Concat({read, read, read});
    const struct {
        const char* name;
        rlim_t limit;
        std::size_t kept;
    } cases[] = {{"port.BIN", RLIM_INFINITY, 15},
                 {"cut.bin", 7, 7},
                 {"end.pcap", 89, 89},
                 {"short.pcap", 88, 24},
                 {"past.pcap", 155, 154}};
    for (const auto& [name, limit, kept] : cases) {
        CaptureError error;
        auto writer = CaptureWriter::Create(Path(name), error);
        rlimit fsize{};
        getrlimit(RLIMIT_FSIZE, &fsize);
        const rlimit cut{limit, fsize.rlim_max};
        setrlimit(RLIMIT_FSIZE, &cut);
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(writer->WriteRead(CaptureClock::now(), read));
            EXPECT_FALSE(writer->WriteFrame(CaptureClock::now(), FrameDirection::kToModem, read));
        }
        EXPECT_EQ(writer->Flush().message, limit == RLIM_INFINITY ? ""
                                                                  : "Recording to " + Path(name) +
                                                                        " stopped: File too large");
        EXPECT_FALSE(writer->Flush());
        setrlimit(RLIMIT_FSIZE, &fsize);
        writer.reset();
        EXPECT_EQ(std::filesystem::file_size(Path(name)), kept) << name;
        const Got got = Read(Path(name));
        EXPECT_EQ(got.error, "");
        if (std::string_view(name).ends_with("pcap")) {
            EXPECT_EQ(got.frames.size(), (kept - 24) / 65);
        } else {
            EXPECT_EQ(got.frames, Lines{Text(FrameDirection::kFromModem, {stream.data(), kept})});
        }
    }
}

// What Wireshark writes while it listens to the live GSMTAP: on "lo" each packet behind an
// Ethernet header, on "any" behind a Linux cooked one (loopback, 6-byte address); tcpdump on "any"
// a Linux cooked v2 one, which begins with the protocol. The protocol says IPv4, or the packet is
// skipped.
TEST_F(Capture, WiresharkCapturesOnTheLoopbackAndAnyDevicesGiveTheirFrames) {
    const Bytes payload = {0x10, 0x00, 0x7E, 0x7D};
    Bytes ip(100);
    ip.resize(BuildGsmtapPacket(FrameDirection::kToModem, payload, ip));
    const std::tuple<std::uint16_t, Bytes, Bytes> cases[] = {
        {1, Bytes(12, 0xAA), {}},
        {113, {0, 4, 3, 4, 0, 6, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0, 0}, {}},
        {276, {}, {0, 0, 0, 0, 0, 1, 3, 4, 4, 6, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0, 0}}};
    for (const auto& [linkType, before, after] : cases) {
        Bytes file = {0xD4,
                      0xC3,
                      0xB2,
                      0xA1,
                      2,
                      0,
                      4,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0,
                      0xFF,
                      0xFF,
                      0,
                      0,
                      static_cast<std::uint8_t>(linkType),
                      static_cast<std::uint8_t>(linkType >> 8),
                      0,
                      0};
        for (const std::uint8_t protocol : {0x86, 0x08}) {  // IPv6 (not ours), IPv4
            const Bytes packet = test::Concat({before, {protocol, 0x00}, after, ip});
            const auto size = static_cast<std::uint8_t>(packet.size());
            file = test::Concat(
                {file, {2, 0, 0, 0, 0, 0, 0, 0, size, 0, 0, 0, size, 0, 0, 0}, packet});
        }
        std::ofstream(Path("wireshark.pcap"), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::ssize(file));
        const Got got = Read(Path("wireshark.pcap"));
        EXPECT_EQ(got.frames, Lines{"2.000000000 " + Text(FrameDirection::kToModem, payload)})
            << +linkType << got.error;
        EXPECT_EQ(got.skipped, 1u);
    }
}

TEST_F(Capture, ADriveRecordedFromTheSimulatorDecodesAndReplaysToTheSameReports) {
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
    int status = 0;
    {
        test::SimProcess sim({"--rate", "20", "--seed", "11", "--packet-version", "1"});
        live = Monitor("--record " + pcap + " --gsmtap 127.0.0.1:" +
                           std::to_string(ntohs(address.sin_port)) + " " + sim.link(),
                       "3", status);
        ASSERT_EQ(status, 0) << ReadFile(Path("sh.err"));
        sim.Stop();
        hostBytes = ReadFile(sim.recordPath());
    }
    ASSERT_GE(live.size(), 25u);
    // The host's packets are what the simulated modem received (flags apart: one or two between
    // frames). tshark sees every packet at its time, with a valid IPv4 header, as GSMTAP v2 DIAG
    // on port 4729, with the uplink bit on the host's and the payload after the GSMTAP header.
    const Got got = Read(pcap);  // whole: tshark's packets are all in it
    std::string host(got.host.begin(), got.host.end());
    std::erase(host, '\x7E');
    std::erase(hostBytes, '\x7E');
    EXPECT_EQ(host, hostBytes);
    Lines frames;  // without their times
    Lines expected;
    for (const std::string& f : got.frames) {
        frames.push_back(f.substr(f.find(' ') + 1));
        expected.push_back(f.substr(0, f.find(' ')) +
                           (frames.back()[0] == 'u' ? ",1,1,020411004000" : ",1,0,020411000000") +
                           std::string(20, '0') + frames.back().substr(1));
    }
    EXPECT_EQ(
        SplitLines(Shell("tshark -o ip.check_checksum:TRUE -r " + pcap +
                             " -Y 'udp.dstport == 4729 && gsmtap.version == 2 && "
                             "gsmtap.type == 0x11' -T fields -E separator=, -e frame.time_epoch "
                             "-e ip.checksum.status -e gsmtap.uplink -e udp.payload",
                         status)),
        expected);
    // Our reader the same, times to the microsecond, after editcap's conversions.
    for (const std::string format : {"pcapng", "nsecpcap"}) {
        Shell("editcap -F " + format + " " + pcap + " " + Path(format), status);
        EXPECT_EQ(Read(Path(format)).frames, got.frames) << format;
    }

    // The same frames went out live, one datagram each.
    Lines datagrams;
    std::uint8_t buffer[0x10000];
    for (pollfd p{receiver, POLLIN, 0}; poll(&p, 1, 200) == 1;) {
        const ssize_t n = recv(receiver, buffer, sizeof buffer, 0);
        const GsmtapFrame f = ParseGsmtapDatagram({buffer, static_cast<std::size_t>(n)});
        datagrams.push_back(f.check == GsmtapCheck::kOk ? Text(f.direction, f.payload) : "bad");
    }
    close(receiver);
    std::sort(datagrams.begin(), datagrams.end());  // two threads send: order may differ
    std::sort(frames.begin(), frames.end());
    EXPECT_EQ(datagrams, frames);

    EXPECT_EQ(SplitLines(Shell(kCli + " decode --stats " + pcap, status), true), live);
    EXPECT_EQ(status, 0);
    EXPECT_NE(ReadFile(Path("sh.err")).find(", not GSMTAP DIAG: 0, host frames: 4"),
              std::string::npos);

    test::SimProcess replay({"--replay", pcap, "--speed", "4"});
    EXPECT_EQ(Monitor(replay.link(), "2", status), live);  // at 4 times the speed
    EXPECT_EQ(status, 0);

    // A packet to another port is skipped; a file cut short ends with a one-line error.
    std::fstream(pcap, std::ios::in | std::ios::out | std::ios::binary)
        .seekp(24 + 16 + 22 + 1)  // first packet's UDP destination port, low byte
        .put(0x35);
    std::filesystem::resize_file(pcap, std::filesystem::file_size(pcap) - 5);
    const Got cut = Read(pcap);
    EXPECT_EQ(cut.frames.size(), got.frames.size() - 2);
    EXPECT_EQ(cut.skipped, 1u);
    EXPECT_NE(cut.error.find(pcap), std::string::npos) << cut.error;
    EXPECT_EQ(cut.error.find('\n'), std::string::npos);
}

// The lines of `text` that hold `part`.
std::size_t Count(const Lines& lines, std::string_view part) {
    return static_cast<std::size_t>(std::ranges::count_if(
        lines, [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

// Real phones' messages (tests/data/signalling-samples.md) and an RRCConnectionReconfiguration
// logged in three parts, then one whose first part is missing: converted, tshark decodes every
// message after its frame, and malformed only the one whose ciphered NAS part Wireshark cannot
// read; decode reads the frames alone, to the lines of the raw input, and the replay plays them
// alone.
TEST_F(Capture, ConvertedSignallingIsDecodedByTsharkAndDecodesAsItsInput) {
    const std::string samples = ReadFile(NORVANE_SOURCE_DIR "/tests/data/signalling-samples.bin");
    Bytes stream(samples.begin(), samples.end());
    for (const auto& [segment, hex] : {std::pair<std::uint8_t, const char*>{1, "2202"},
                                       {2, "0100"},
                                       {7, "9c040790"},
                                       {2, "0100"},
                                       {7, "9c04"}}) {
        SignallingMessage m;
        m.channel = SignallingChannel::kDlDcch;
        m.segment = segment;
        const Bytes pdu = test::HexBytes(hex);
        m.pdu = pdu;
        Bytes frame(64);
        frame.resize(WriteLteRrc(frame, 0, 30, m));
        test::AppendFrame(stream, frame);
    }
    std::ofstream(Path("in.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), std::ssize(stream));
    int status = 0;
    const Lines raw = SplitLines(Shell(kCli + " decode --stats " + Path("in.bin"), status));
    EXPECT_EQ(raw.size(), 65U);
    EXPECT_NE(ReadFile(Path("sh.err")).find(", rrc parts dropped: 1\n"), std::string::npos);
    Shell(kCli + " convert " + Path("in.bin") + " " + Path("out.pcap"), status);
    ASSERT_EQ(status, 0) << ReadFile(Path("sh.err"));
    if (std::system("tshark -v >/dev/null 2>&1") == 0) {
        const Lines info = SplitLines(Shell(
            "tshark -r " + Path("out.pcap") + " -T fields -e gsmtap.type -e _ws.col.Info", status));
        EXPECT_EQ(Count(info, "17\t"), 69U);  // every frame, as GSMTAP DIAG
        EXPECT_EQ(info.size(), 69U + 65U);
        EXPECT_EQ(Count(info, "Malformed"), 1U);
        EXPECT_EQ(Count(info, "ULInformationTransfer[Malformed Packet]"), 1U);
        EXPECT_EQ(info[info.size() - 3], "13\tRRCConnectionReconfiguration");  // after part 7
    }
    EXPECT_EQ(SplitLines(Shell(kCli + " decode --stats " + Path("out.pcap"), status), true), raw);
    EXPECT_NE(ReadFile(Path("sh.err")).find("not GSMTAP DIAG: 65,"), std::string::npos);
    std::string error;
    const auto replay = sim::Replay::Load(Path("out.pcap"), 1, false, error);
    ASSERT_TRUE(replay) << error;
    EXPECT_EQ(replay->Packets(), 69U);
}

// Live: the simulated LTE modem's messages as Wireshark sees them while monitoring, each printed
// message once on the loopback device, decoded whole.
TEST_F(Capture, LiveSignallingIsDecodedByTsharkOnTheLoopback) {
    const pid_t tshark = test::Spawn(
        {"/bin/sh", "-c",
         "exec tshark -i lo -f 'udp port 4729' -a duration:10 -T fields -e gsmtap.type -e "
         "_ws.col.Info >" +
             Path("tshark.out") + " 2>" + Path("tshark.err")});
    if (!test::Eventually(
            [&] { return ReadFile(Path("tshark.err")).find("Capturing on") != std::string::npos; },
            std::chrono::seconds(5))) {
        test::WaitExit(tshark, std::chrono::milliseconds(10));
        GTEST_SKIP() << "tshark cannot capture on lo: " << ReadFile(Path("tshark.err"));
    }
    test::SimProcess sim({"--rat", "lte", "--rate", "10", "--seed", "3"});
    int status = 0;
    const Lines lines = Monitor("--signalling --gsmtap " + sim.link(), "6", status);
    EXPECT_EQ(status, 0) << ReadFile(Path("sh.err"));
    EXPECT_EQ(test::WaitExit(tshark, std::chrono::seconds(8)), 0);
    const Lines seen = SplitLines(ReadFile(Path("tshark.out")));
    EXPECT_EQ(Count(seen, "13\t"), Count(lines, "\"type\":\"rrc\""));
    EXPECT_EQ(Count(seen, "18\t"), Count(lines, "\"type\":\"nas\""));
    EXPECT_GE(Count(seen, "13\tRRCConnectionSetup"), 1U);
    EXPECT_GE(Count(seen, "18\tTracking area update request"), 1U);
    EXPECT_EQ(Count(seen, "Malformed"), 0U);
}

TEST_F(Capture, CapturesThatCannotBeMadeOrReadAreRefusedWithOneLine) {
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
        {kSim + " --replay " + Path("raw.bin"), "norvane-sim: cannot replay " + Path("raw.bin") +
                                                    ": it holds no log packets of the modem\n"},
    };
    for (const auto& [command, err] : cases) {
        int status = 0;
        Shell(command, status);
        EXPECT_EQ(status, 2) << command;
        EXPECT_EQ(ReadFile(Path("sh.err")), err);
    }
}

TEST_F(Capture, AFileSizeLimitStopsRecordingOnceWhileMonitoringGoesOn) {
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
    const Got got = Read(pcap);  // a valid capture up to its last whole packet
    EXPECT_EQ(got.error, "");
    EXPECT_GE(got.frames.size(), 3u);
}

}  // namespace
}  // namespace norvane
