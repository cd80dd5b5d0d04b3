// The log decoder and the band table, and `norvane-cli decode` on the sample stream.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "diag/bands.h"
#include "diag/log_decoder.h"
#include "tests/support/frames.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using test::Bytes, test::Cell, test::CellList, test::ReadFile;

TEST(DecodeLogFrame, PublishedVersionTwoCellList) {
    Bytes p = test::StoredBytes(
        "1000 3700 3700 0540 0000000000000000 82 00 0000000000 f129 3200 b6 a5ff f1 f5ff "
        "00 0000000000 f129 3100 b3 9eff de deff 04 000000 8000");
    const CellReport r = DecodeLogFrame(p).cells;
    const auto& c = r.cells;
    EXPECT_EQ((std::vector{r.version, r.wcdmaCellCount, r.gsmCellCount, c[0].uarfcn,
                           c[0].frequencyMhz, c[0].psc, c[0].rscp, c[0].ecIo, c[0].rscpBarPos,
                           c[1].psc, c[1].rscp, c[1].ecIo, c[1].rscpBarPos}),
              (std::vector{2, 2, 0, 10737, 2147, 50, -94, -15, -94, 49, -97, -34, -97}));
    p.pop_back();
    EXPECT_EQ(DecodeLogFrame(p).kind, LogFrameKind::Other) << "one byte short";
}

// Version, WCDMA and GSM count, whether it decodes: each record distinct, every field checked,
// then one byte short, where version 0 drops only its GSM records and later ones the whole list.
TEST(DecodeLogFrame, CellListVersionsAndCounts) {
    const int cases[][4] = {{0, 1, 0, 1}, {0, 8, 0, 1}, {0, 8, 5, 1},  {0, 0, 0, 0},
                            {0, 9, 0, 0}, {1, 0, 0, 1}, {1, 1, 1, 1},  {1, 63, 63, 1},
                            {2, 0, 0, 1}, {2, 0, 4, 1}, {2, 63, 63, 1}};
    for (const auto& [version, wcdma, gsmCount, decodes] : cases) {
        SCOPED_TRACE(testing::Message() << "v" << version << " " << wcdma << "+" << gsmCount);
        std::vector<WcdmaCellRecord> cells;
        std::vector<GsmCellRecord> gsm(gsmCount);
        for (int k = 0; k < wcdma; ++k) {  // channel and PSC read signed
            cells.push_back(Cell(0xFFC0 + k, 0xFF00 + k, 0x90 + k, 0xFE, 0xC0 + k));
            cells.back().reselect = cells.back().hcsQualify = 0x5A;  // never read as a cell
        }
        for (int k = 0; k < gsmCount; ++k) {
            gsm[k].arfcn = 0xF000 | k;  // the channel is the low 12 bits
            gsm[k].bsic = k + 300;
            gsm[k].rssi = -40 - k;
        }
        const Bytes p = CellList(unsigned(version), 0, cells, gsm);
        const DecodedLogFrame d = DecodeLogFrame(p);
        ASSERT_EQ(d.kind == LogFrameKind::CellList, decodes == 1);
        if (decodes == 0) {
            continue;
        }
        const CellReport& r = d.cells;
        EXPECT_EQ((std::vector{r.version, r.wcdmaCellCount, r.gsmCellCount, r.gsmCellsDecoded}),
                  (std::vector{version, wcdma, gsmCount, gsmCount}));
        for (int k = 0; k < wcdma; ++k) {
            const CellEntry& c = r.cells[k];
            const int rscp = 0x90 + k - 276;  // version 0: the bar from RSCP and rank byte 0xFE
            EXPECT_EQ((std::vector{c.uarfcn, c.psc, c.rscp, c.rscpBarPos, c.ecIo}),
                      (std::vector{k - 64, k - 256, rscp, version == 0 ? rscp - 256 : rscp,
                                   0xC0 + k - 256}));
        }
        for (int k = 0; k < gsmCount; ++k) {
            const GsmCellEntry& g = r.gsmCells[k];
            EXPECT_EQ((std::vector{g.arfcn, g.bsic, g.rssi}), (std::vector{k, k + 300, -40 - k}));
        }
        const DecodedLogFrame cut = DecodeLogFrame({p.data(), p.size() - 1});
        EXPECT_EQ(
            (std::pair{cut.reason, cut.cells.gsmCellsDecoded}),
            (std::pair{version == 0 && gsmCount > 0 ? OtherReason::None : OtherReason::NotDecoded,
                       0}));
    }
}

// A one-cell list of a version with one byte set: whether it decodes, its GSM count. Version 3;
// reserved count bits; version 0's whole GSM count byte without records; eight cells declared,
// one there; length bytes, checked in version 0 only; the SAR/PA record length; code bytes.
TEST(DecodeLogFrame, HeaderAndCountBytes) {
    const unsigned cases[][5] = {{2, 16, 0xC1, 0, 0}, {1, 17, 0xC0, 1, 0}, {0, 17, 0xC0, 1, 192},
                                 {0, 16, 0x08, 0, 0}, {0, 3, 1, 0, 0},     {0, 5, 1, 0, 0},
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

TEST(DecodeLogFrame, UpTimeFromTheTimeStamp) {
    constexpr std::int64_t kMs = 52400, kH = 3600000;  // per millisecond, not 52428.8
    // Time stamp, hours, minutes, seconds, milliseconds.
    const std::int64_t cases[][5] = {{kMs * (kH + 2 * 60000 + 3004), 1, 2, 3, 4},
                                     {kMs * 61000, 0, 1, 1, 0},
                                     {kMs * 1000 - 1, 0, 0, 0, 999},
                                     {INT64_MIN, -48894041, -45, -21, -656}};
    for (const auto& c : cases) {
        const CellReport r = DecodeLogFrame(CellList(1, c[0], {Cell()})).cells;
        EXPECT_EQ((std::vector<std::int64_t>{r.hours, r.minutes, r.seconds, r.milliseconds}),
                  (std::vector<std::int64_t>(c + 1, c + 5)))
            << c[0];
    }
}

TEST(DownlinkFrequencyMhz, BandEdgesAndAdditionalChannels) {
    // First and last channels of bands, additional channels and channels just beside them.
    const std::int32_t cases[][2] = {
        {10562, 2112}, {10838, 2167}, {10561, 2112}, {10839, 2167}, {9662, 1932}, {412, 1932},
        {687, 1987},   {413, 82},     {1513, 1877},  {2087, 2152},  {4458, 891},  {1007, 871},
        {1012, 872},   {1087, 887},   {2912, 2687},  {2937, 927},   {3088, 957},  {3842, 731},
        {3932, 731},   {3992, 743},   {3937, 787},   {4092, 753},   {4638, 818},  {5762, 861},
        {6012, 876},   {6087, 891},   {7012, 1489},  {-7, -1},      {32767, 6553}};
    for (const auto& [uarfcn, mhz] : cases) {
        EXPECT_EQ(DownlinkFrequencyMhz(uarfcn), mhz) << "UARFCN " << uarfcn;
    }
}

// The committed sample is what the generator builds; each command line gives its exit status and
// prints its standard output and error.
TEST(CliDecode, SampleStreamOutputErrorsAndExitStatus) {
    const std::string sample = NORVANE_SOURCE_DIR "/tests/data/sample-stream.bin";
    const test::Bytes built = test::SampleStream();
    ASSERT_EQ(ReadFile(sample), std::string(built.begin(), built.end())) << "make-sample-stream";
    const std::string json = ReadFile(NORVANE_SOURCE_DIR "/tests/data/sample-stream.jsonl");
    const std::string q = "'" + sample + "'", out = ::testing::TempDir() + "decode.out",
                      err = ::testing::TempDir() + "decode.err";
    const std::string cases[][4] = {
        {"--stats " + q, "0", json,
         "bytes read: 460, frames: 10, reports: 6, bad check sequence: 1, overflow: 0, other: 3, "
         "unknown version: 0\n"},
        {"- < " + q, "0", json, ""},
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
