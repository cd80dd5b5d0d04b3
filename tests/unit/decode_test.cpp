// The log decoder and the band table, and `norvane-cli decode` on the sample stream.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

#include "diag/bands.h"
#include "diag/frame_pump.h"
#include "diag/log_decoder.h"
#include "diag/multi_sim.h"
#include "tests/support/frames.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using test::Bytes, test::Cell, test::CellList, test::ReadFile;

// Each WCDMA cell's channel, PSC, RSCP, bar and Ec/Io, then each GSM cell's channel, BSIC, RSSI.
std::vector<double> Fields(const CellReport& r) {
    std::vector<double> f;
    for (const CellEntry& c : std::span(r.cells).first(r.wcdmaCellCount)) {
        f.insert(f.end(),
                 {double(c.uarfcn), double(c.psc), double(c.rscp), double(c.rscpBarPos), c.ecIo});
    }
    for (const GsmCellEntry& g : std::span(r.gsmCells).first(r.gsmCellsDecoded)) {
        f.insert(f.end(), {double(g.arfcn), double(g.bsic), double(g.rssi)});
    }
    return f;
}

// Cell lists from their bytes: versions 0 and 1 by hand from the layout (a channel and PSC read
// signed, a GSM channel's top bits and reserved count bits dropped), version 2 the public lists
// as their decoders read them (Ec/Io the same, RSCP one dB above). One byte short, version 0
// keeps its WCDMA cells and drops its GSM records; later versions drop the list.
TEST(DecodeLogFrame, CellListsOfEveryVersionFromTheirBytes) {
    const struct {
        const char* packet;
        std::vector<double> fields;
        std::size_t cutKeeps;  // fields left one byte short
    } cases[] = {
        {"1000 2900 2900 0540 0000000000000000 02 01 "
         "f129 3200 b4 a1ff f6 f6ff c0ff 00ff a8 93ff f0 f0ff 41f0 1200 b5 b5ff",
         {10737, 50, -96, -96, -5, -64, -256, -108, -108, -8, 65, 18, -75},
         10},
        {"1000 2900 2900 0540 0000000000000000 41 82 "
         "930b 9901 d5 c0ff e0 e0ff 02 6700 0505 ce c7ff 02 7500 0206 c6 bfff 02",
         {2963, 409, -63, -63, -16, 103, 1285, -50, 117, 1538, -58},
         0},
        {"1000 3700 3700 0540 0000000000000000 82 00 0000000000 f129 3200 b6 a5ff f1 f5ff "
         "00 0000000000 f129 3100 b3 9eff de deff 04 000000 8000",
         {10737, 50, -94, -94, -7.5, 10737, 49, -97, -97, -17},
         0},
        {"100087008700054080eafb6b2d00000084040000000000930b4900cf0080dc0080000000000000930b990"
         "1d5c0ffe0e0ff020000000000ea0b9901dac5ffececff020000000000ea0b4900dac5ffececff010000210"
         "00367000505cec7ff02000000000075000206c6bfff0200000000006b000505c6bfff02000000000068000"
         "506bdb6ff020000000000",
         {2963, 73,  -69, -69, -18, 2963, 409, -63, -63,  -16, 3050, 409,  -58, -58, -10,  3050,
          73,   -58, -58, -10, 103, 1285, -50, 117, 1538, -58, 107,  1285, -58, 104, 1541, -67},
         0},
    };
    for (const auto& [packet, fields, cutKeeps] : cases) {
        Bytes p = test::StoredBytes(packet);
        EXPECT_EQ(Fields(DecodeLogFrame(p).cells), fields) << packet;
        p.pop_back();
        const DecodedLogFrame cut = DecodeLogFrame(p);
        EXPECT_EQ(cut.kind == LogFrameKind::CellList ? Fields(cut.cells) : std::vector<double>{},
                  std::vector(fields.begin(), fields.begin() + cutKeeps))
            << packet;
    }
}

// Version 0 counts its GSM cells in a whole byte: of more than a report holds, the first 63.
TEST(DecodeLogFrame, VersionZeroKeepsTheFirstSixtyThreeGsmCells) {
    const WcdmaCellRecord one[] = {Cell()};
    Bytes p = CellList(0, 0, one, std::vector<GsmCellRecord>(63));
    p.resize(p.size() + kCellListLayouts[0].gsmRecordSize);  // a 64th record
    p[kCellListGsmCountOffset] = 64;
    const DecodedLogFrame d = DecodeLogFrame(p);
    EXPECT_EQ((std::pair{d.cells.gsmCellCount, d.cells.gsmCellsDecoded}), (std::pair{64, 63}));
}

// A one-cell list of a version with one byte set: whether it decodes, its GSM count. Version 3;
// reserved count bits; version 0's whole GSM count byte without records; eight cells declared,
// one there; length bytes, never checked (lists pass 255 bytes); the SAR/PA record length; code
// bytes.
TEST(DecodeLogFrame, HeaderAndCountBytes) {
    const unsigned cases[][5] = {{2, 16, 0xC1, 0, 0}, {1, 17, 0xC0, 1, 0}, {0, 17, 0xC0, 1, 192},
                                 {0, 16, 0x08, 0, 0}, {0, 3, 1, 1, 0},     {0, 5, 1, 1, 0},
                                 {1, 3, 1, 1, 0},     {0, 4, 0x99, 1, 0},  {0, 2, 0x1C, 0, 0},
                                 {0, 0, 0x11, 0, 0},  {0, 1, 1, 0, 0},     {0, 6, 4, 0, 0},
                                 {1, 7, 0x41, 0, 0}};
    for (const auto& [version, at, value, decodes, gsmCount] : cases) {
        Bytes p = CellList(version, 0, {Cell()});
        p[at] = value;
        const DecodedLogFrame d = DecodeLogFrame(p);
        EXPECT_EQ(d.kind == LogFrameKind::CellList, decodes == 1) << at;
        EXPECT_EQ(d.cells.gsmCellCount, int(gsmCount)) << at;
        EXPECT_EQ(d.reason == OtherReason::UnknownVersion, value == 0xC1) << at;
    }
}

TEST(DecodeLogFrame, SarLevelPaTemperatureAndRecognition) {
    // Level and PA bytes; -1 where the report carries no level; whether the PA is overheated.
    const int cases[][4] = {{0, 90, 0, 0}, {1, 81, 1, 0},  {2, 80, 2, 1},
                            {3, 0, 3, 1},  {4, 77, -1, 1}, {0xFF, 255, -1, 0}};
    for (const auto& [level, pa, shown, overheated] : cases) {
        const SarPaReport r = DecodeLogFrame(test::SarPaPayload(level, pa)).sarPa;
        EXPECT_EQ(r.hasSarLevel ? int(r.sarLevel) : -1, shown) << level;
        EXPECT_EQ((std::pair{int(r.paValue), int(r.paOverheated)}), (std::pair{pa, overheated}));
    }
    Bytes p = test::SarPaPayload(1, 50);
    for (std::size_t at = 0; at < 8; ++at) {
        p[at] ^= 0x01;
        EXPECT_EQ(DecodeLogFrame(p).kind, LogFrameKind::Other) << "byte " << at;
        p[at] ^= 0x01;
    }
    EXPECT_EQ(DecodeLogFrame({p.data(), p.size() - 1}).kind, LogFrameKind::Other) << "shorter";
    p.push_back(0xAB);
    EXPECT_EQ(DecodeLogFrame(p).kind, LogFrameKind::SarPa) << "longer";
}

// Up-time fields, and the time of day from 2000-01-01 on the modem's scale until 2100.
TEST(DecodeLogFrame, UpTimeAndModemTimeFromTheTimeStamp) {
    constexpr std::int64_t kMs = 52400, kH = 3600000;  // per millisecond, not 52428.8
    constexpr std::int64_t k2000 = 504576000000LL << 16, k2100 = 3029184000000LL << 16;
    // Time stamp, hours, minutes, seconds, milliseconds, modem time (ms since 1970) or -1.
    const std::int64_t cases[][6] = {
        {kMs * (kH + 2 * 60000 + 3004), 1, 2, 3, 4, -1},
        {kMs * 1000 - 1, 0, 0, 0, 999, -1},
        {INT64_MIN, -48894041, -45, -21, -656, -1},
        {k2000 - 1, 175296, 17, 35, 267, -1},
        {k2000, 175296, 17, 35, 267, 946684800000},
        {0xD15AFDB4F20000, 312385, 3, 0, 181, 1439933226542},  // 2015-08-18T21:27:06.542Z
        {k2100 - 0x10000, 1052378, 5, 18, 777, 4102444799998},
        {k2100 - 1, 1052378, 5, 18, 778, -1}};  // the sub-tick part passes into 2100
    for (const auto& c : cases) {
        const CellReport r = DecodeLogFrame(CellList(1, c[0], {Cell()})).cells;
        EXPECT_EQ((std::vector<std::int64_t>{r.hours, r.minutes, r.seconds, r.milliseconds,
                                             r.hasModemTime ? r.modemTimeUnixMs : -1}),
                  (std::vector<std::int64_t>(c + 1, c + 6)))
            << c[0];
    }
}

// Frames of a dual-SIM phone (tests/data/README.md): each one's radio and log code, the first
// one's time of day (2020-11-16T11:56:24.821Z).
TEST(UnwrapMultiSim, DualSimPhoneSample) {
    const std::string s = ReadFile(NORVANE_SOURCE_DIR "/tests/data/xiaomi-mi10-dualsim.bin");
    HdlcDeframer deframer;
    FrameCounters counters;
    std::vector<std::int64_t> got;
    PumpFrames(deframer, std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()),
               counters, [&](auto, std::span<const std::uint8_t> payload) {
                   const SimPacket p = UnwrapMultiSim(payload);
                   std::int64_t stamp = 0;
                   std::memcpy(&stamp, &p.packet[kLogTimeStampOffset], sizeof stamp);
                   got.insert(got.end(), {p.sim, p.packet[6] | p.packet[7] << 8,
                                          got.empty() ? *ModemTimeUnixMs(stamp) : 0});
               });
    EXPECT_EQ(got, (std::vector<std::int64_t>{1, 0xB0C2, 1605527784821, 2, 0xB0C1, 0, 2, 0xB0C0, 0,
                                              2, 0xB0C0, 0, 1, 0xB0C0, 0, 2, 0xB0C2, 0}));
}

// A wrapper ending with its header (or before) holds no packet: refused, as of no radio. Then the
// radio a view keeps: the first wrapped one's, unwrapped packets always, until chosen again.
TEST(UnwrapMultiSim, AWrapperHoldsAPacketAndTheFirstRadioIsKept) {
    const Bytes w = test::Wrapped(2, Bytes{kLogCommand});
    for (const auto& [size, packet, sim] : {std::tuple{7U, 0U, 0U}, {8U, 0U, 0U}, {9U, 1U, 2U}}) {
        const SimPacket p = UnwrapMultiSim(std::span(w).first(size));
        EXPECT_EQ((std::pair{p.packet.size(), p.sim}), (std::pair{std::size_t{packet}, sim}))
            << size;
    }
    FirstRadio radio;
    std::string taken;
    for (const std::uint32_t sim : {0U, 2U, 1U, 0U, 2U, 99U, 1U}) {
        taken += sim == 99 ? (radio.Forget(), '/') : radio.Takes(sim) ? 'y' : 'n';
    }
    EXPECT_EQ(taken, "yynyy/y");
}

// The committed sample is what the generator builds; each command line gives its exit status and
// prints its standard output and error.
TEST(CliDecode, SampleStreamOutputErrorsAndExitStatus) {
    const std::string sample = NORVANE_SOURCE_DIR "/tests/data/sample-stream.bin";
    const test::Bytes built = test::SampleStream();
    ASSERT_EQ(ReadFile(sample), std::string(built.begin(), built.end())) << "make-sample-stream";
    const std::string json = ReadFile(NORVANE_SOURCE_DIR "/tests/data/sample-stream.jsonl");
    const std::string lte = NORVANE_SOURCE_DIR "/tests/data/lte-samples";  // see its .md
    const std::string q = "'" + sample + "'", out = ::testing::TempDir() + "decode.out",
                      err = ::testing::TempDir() + "decode.err";
    const std::string cases[][4] = {
        {"--stats " + q, "0", json,
         "bytes read: 809, frames: 17, reports: 11, bad check sequence: 1, overflow: 0, other: 5, "
         "unknown version: 0, rrc parts dropped: 0\n"},
        {"- < " + q, "0", json, ""},
        {"--stats '" + lte + ".bin'", "0", ReadFile(lte + ".jsonl"),
         "bytes read: 1865, frames: 11, reports: 11, bad check sequence: 0, overflow: 0, other: 0, "
         "unknown version: 0, rrc parts dropped: 0\n"},
        {"/nonexistent/stream.bin", "2", "",
         "norvane-cli decode: cannot read /nonexistent/stream.bin: No such file or directory\n"}};
    for (const auto& [args, status, wantOut, wantErr] : cases) {
        const std::string run = NORVANE_BINARY_DIR "/tools/norvane-cli decode " + args;
        const int exit = WEXITSTATUS(std::system((run + " >" + out + " 2>" + err).c_str()));
        EXPECT_EQ(std::to_string(exit), status) << args;
        EXPECT_EQ(ReadFile(out), wantOut) << args;
        EXPECT_EQ(ReadFile(err), wantErr) << args;
    }
}

}  // namespace
}  // namespace norvane
