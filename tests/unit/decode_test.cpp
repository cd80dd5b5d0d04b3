// The log decoder and the band table, and `norvane-cli decode` on the sample stream.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "diag/bands.h"
#include "diag/log_decoder.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

using test::Bytes;
using test::Cell;
using test::CellList;

TEST(DecodeLogFrame, PublishedVersionTwoCellList) {
    Bytes p(kLogHeaderSize);
    PutLogHeader(std::span(p).first<kLogHeaderSize>(), 16 + 39, kCellListLogCode, 0);
    for (const int b :
         {0x82, 0,    0,    0,    0,    0,    0,    0xf1, 0x29, 0x32, 0,    0xb6, 0xa5,
          0xff, 0xf1, 0xf5, 0xff, 0,    0,    0,    0,    0,    0,    0xf1, 0x29, 0x31,
          0,    0xb3, 0x9e, 0xff, 0xde, 0xde, 0xff, 0x04, 0,    0,    0,    0x80, 0}) {
        p.push_back(b);
    }
    const CellReport r = DecodeLogFrame(p).cells;
    EXPECT_EQ((std::vector{r.version, r.wcdmaCellCount, r.gsmCellCount}), (std::vector{2, 2, 0}));
    for (const auto& [c, want] :
         {std::pair{r.cells[0], std::vector{10737, 2147, 50, -94, -15, -94}},
          std::pair{r.cells[1], std::vector{10737, 2147, 49, -97, -34, -97}}}) {
        EXPECT_EQ((std::vector{c.uarfcn, c.frequencyMhz, c.psc, c.rscp, c.ecIo, c.rscpBarPos}),
                  want);
    }
    p.pop_back();
    EXPECT_EQ(DecodeLogFrame(p).kind, LogFrameKind::Other) << "one byte short";
}

// Every version and count edge, each record distinct and every field checked, and the same list
// one byte short: version 0 then drops only its GSM records, later versions the whole list.
TEST(DecodeLogFrame, CellListVersionsAndCounts) {
    const struct {
        unsigned version;
        int wcdma, gsm;
        bool decodes;
    } cases[] = {{0, 1, 0, true},  {0, 8, 0, true}, {0, 8, 5, true},  {0, 0, 0, false},
                 {0, 9, 0, false}, {1, 0, 0, true}, {1, 1, 1, true},  {1, 63, 63, true},
                 {2, 0, 0, true},  {2, 0, 4, true}, {2, 63, 63, true}};
    for (const auto& t : cases) {
        SCOPED_TRACE(testing::Message() << "v" << t.version << " " << t.wcdma << "+" << t.gsm);
        std::vector<WcdmaCellRecord> cells;
        std::vector<GsmCellRecord> gsm(t.gsm);
        for (int k = 0; k < t.wcdma; ++k) {
            cells.push_back(Cell(10562 + k, k, 0x90 + k, 0xFE, 0xC0 + k));
            cells.back().reselect = cells.back().hcsQualify = 0x5A;  // never read as a cell
        }
        for (int k = 0; k < t.gsm; ++k) {
            gsm[k].arfcn = 0xF000 | k;
            gsm[k].bsic = k + 300;
            gsm[k].rssi = -40 - k;
            gsm[k].reselect = gsm[k].hcsQualify = 0x5A;
        }
        const Bytes p = CellList(t.version, 0, cells, gsm);
        const DecodedLogFrame d = DecodeLogFrame(p);
        ASSERT_EQ(d.kind == LogFrameKind::CellList, t.decodes);
        const CellReport& r = d.cells;
        if (t.decodes) {
            EXPECT_EQ((std::vector{r.version, r.wcdmaCellCount, r.gsmCellCount, r.gsmCellsDecoded}),
                      (std::vector{int(t.version), t.wcdma, t.gsm, t.gsm}));
        }
        for (int k = 0; t.decodes && k < t.wcdma; ++k) {
            const CellEntry& c = r.cells[k];
            const int rscp = 0x90 + k - 276;  // version 0: the bar from RSCP and rank byte 0xFE
            EXPECT_EQ((std::vector{c.uarfcn, c.psc, c.rscp, c.rscpBarPos, c.ecIo}),
                      (std::vector{10562 + k, k, rscp, t.version == 0 ? rscp - 256 : rscp,
                                   0xC0 + k - 256}));
        }
        for (int k = 0; t.decodes && k < t.gsm; ++k) {
            const GsmCellEntry& g = r.gsmCells[k];
            EXPECT_EQ((std::vector{g.arfcn, g.bsic, g.rssi}), (std::vector{k, k + 300, -40 - k}));
        }
        const DecodedLogFrame cut = DecodeLogFrame({p.data(), p.size() - 1});
        const bool keeps = t.version == 0 && t.gsm > 0;
        EXPECT_EQ(cut.kind, keeps ? LogFrameKind::CellList : LogFrameKind::Other);
        EXPECT_EQ(cut.reason, keeps ? OtherReason::None : OtherReason::NotDecoded);
        EXPECT_EQ(cut.cells.gsmCellsDecoded, 0);
    }
}

// A one-cell list of `version` with byte `at` set to `value`: its kind and GSM count.
TEST(DecodeLogFrame, HeaderAndCountBytes) {
    const struct {
        unsigned version, at;
        std::uint8_t value;
        bool decodes;
        int gsmCount;
    } cases[] = {
        {2, 16, 0xC1, false, 0},                           // version 3: counted apart
        {1, 17, 0xC0, true, 0},                            // reserved bits
        {0, 17, 0xC0, true, 192},                          // the whole byte, no records
        {0, 16, 0x08, false, 0},                           // eight declared, one there
        {0, 3, 0x01, false, 0},   {0, 5, 0x01, false, 0},  // version 0 keeps its length checks
        {1, 3, 0x01, true, 0},    {0, 4, 0x99, true, 0},   // later ones may pass 255 bytes
        {0, 2, 0x1C, false, 0},  // the SAR/PA record length: never a cell list
        {0, 0, 0x11, false, 0},   {0, 1, 0x01, false, 0},
        {0, 6, 0x04, false, 0},   {1, 7, 0x41, false, 0},
    };
    for (const auto& c : cases) {
        Bytes p = CellList(c.version, 0, {Cell()});
        p[c.at] = c.value;
        const DecodedLogFrame d = DecodeLogFrame(p);
        EXPECT_EQ(d.kind == LogFrameKind::CellList, c.decodes) << c.at;
        EXPECT_EQ(d.cells.gsmCellCount, c.gsmCount) << c.at;
        EXPECT_EQ(d.reason == OtherReason::UnknownVersion, c.value == 0xC1) << c.at;
    }
}

TEST(DecodeLogFrame, SarLevelPaTemperatureAndRecognition) {
    const struct {
        std::uint8_t level, pa;
        bool hasLevel, overheated;
    } cases[] = {{0, 90, true, false}, {1, 81, true, false}, {2, 80, true, true},
                 {3, 0, true, true},   {4, 77, false, true}, {0xFF, 255, false, false}};
    for (const auto& c : cases) {
        const DecodedLogFrame d = DecodeLogFrame(test::SarPaPayload(c.level, c.pa));
        ASSERT_EQ(d.kind, LogFrameKind::SarPa);
        EXPECT_EQ(d.sarPa.hasSarLevel, c.hasLevel) << int(c.level);
        EXPECT_EQ(d.sarPa.sarLevel, SarLevel(c.hasLevel ? c.level : 0)) << int(c.level);
        EXPECT_EQ((std::pair{d.sarPa.paValue, d.sarPa.paOverheated}),
                  (std::pair{c.pa, c.overheated}));
    }
    Bytes p = test::SarPaPayload(1, 50);
    for (std::size_t at = 0; at < 8; ++at) {
        p[at] ^= 0x01;
        EXPECT_EQ(DecodeLogFrame(p).kind, LogFrameKind::Other) << "byte " << at;
        p[at] ^= 0x01;
    }
    for (const Bytes& whole : {CellList(0, 0, std::vector(8, Cell())), p}) {
        for (std::size_t n = 0; n < whole.size(); ++n) {
            EXPECT_EQ(DecodeLogFrame({whole.data(), n}).kind, LogFrameKind::Other) << n;
        }
    }
    p.push_back(0xAB);
    EXPECT_EQ(DecodeLogFrame(p).kind, LogFrameKind::SarPa) << "longer";
}

TEST(DecodeLogFrame, UpTimeAndCellValuesAtTheirLimits) {
    constexpr std::int64_t kMs = 52400;  // per millisecond, not 52428.8
    const std::pair<std::int64_t, std::vector<int>> upTimes[] = {
        {kMs * (3600000 + 2 * 60000 + 3004), {1, 2, 3, 4}},
        {kMs * 61000, {0, 1, 1, 0}},
        {kMs * 25 * 3600000, {25, 0, 0, 0}},
        {kMs - 1, {0, 0, 0, 0}},
        {kMs * 1000 - 1, {0, 0, 0, 999}},
        {-kMs * (3600000 + 2 * 60000 + 3004), {-1, -2, -3, -4}},
        {-1, {0, 0, 0, 0}},
        {INT64_MIN, {-48894041, -45, -21, -656}},
        {INT64_MAX, {48894041, 45, 21, 656}},
    };
    for (const auto& [stamp, want] : upTimes) {
        const CellReport r = DecodeLogFrame(CellList(1, stamp, {Cell()})).cells;
        EXPECT_EQ((std::vector{r.hours, r.minutes, r.seconds, r.milliseconds}), want) << stamp;
    }
    const auto c =
        DecodeLogFrame(
            CellList(0, 0, {Cell(1000, 0xFFFF, 0x10, 0x00, 0x05), Cell(0xFFF9), Cell(9)}))
            .cells.cells;
    EXPECT_EQ((std::vector{c[0].rscp, c[0].rscpBarPos, c[0].ecIo, c[0].frequencyMhz, c[0].psc,
                           c[1].uarfcn, c[1].frequencyMhz, c[2].frequencyMhz}),
              (std::vector{-260, -4, -251, 200, -1, -7, -1, 1}));
}

TEST(DownlinkFrequencyMhz, BandEdgesAndAdditionalChannels) {
    const std::int32_t cases[][2] = {
        {10562, 2112}, {10838, 2167}, {10561, 2112}, {10839, 2167},   {9662, 1932},  {9938, 1987},
        {412, 1932},   {437, 1937},   {687, 1987},   {413, 82},       {436, 87},     {1162, 1807},
        {1513, 1877},  {1537, 2112},  {1887, 2112},  {2087, 2152},    {4357, 871},   {4458, 891},
        {1007, 871},   {1012, 872},   {1087, 887},   {1008, 201},     {1013, 202},   {4387, 877},
        {4413, 882},   {2237, 2622},  {2587, 2622},  {2912, 2687},    {2937, 927},   {3088, 957},
        {3712, 1478},  {3787, 1493},  {3842, 731},   {3932, 731},     {3992, 743},   {3937, 787},
        {4067, 748},   {4092, 753},   {4192, 765},   {837, 887},      {4512, 793},   {4638, 818},
        {5038, 3587},  {6592, 1992},  {5762, 861},   {5937, 861},     {6087, 891},   {6012, 876},
        {7012, 1489},  {0, 0},        {-7, -1},      {-32768, -6553}, {32767, 6553},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DownlinkFrequencyMhz(c[0]), c[1]) << "UARFCN " << c[0];
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a run printed: the whole text, or only its start where the expected text ends in "...".
bool Printed(const std::string& got, const std::string& want) {
    return want.ends_with("...") ? got.starts_with(want.substr(0, want.size() - 3)) : got == want;
}

TEST(CliDecode, SampleStreamOutputErrorsAndExitStatus) {
    const std::string cli = NORVANE_BINARY_DIR "/tools/norvane-cli decode ";
    const std::string sample = NORVANE_SOURCE_DIR "/tests/data/sample-stream.bin";
    const std::string quoted = "'" + sample + "'";
    const test::Bytes built = test::SampleStream();
    ASSERT_EQ(ReadFile(sample), std::string(built.begin(), built.end()))
        << "rewrite it with make-sample-stream";
    const std::string json = ReadFile(NORVANE_SOURCE_DIR "/tests/data/sample-stream.jsonl");
    const std::string errPath = ::testing::TempDir() + "norvane-cli-decode.err";
    const struct {
        std::string args;
        int status;
        std::string out, err;
    } cases[] = {
        {"--stats " + quoted, 0, json,
         "frames: 10, reports: 6, bad check sequence: 1, other: 3, unknown version: 0\n"},
        {"< " + quoted, 0, json, ""},
        {"- < " + quoted, 0, json, ""},
        {"/nonexistent/stream.bin", 2, "",
         "norvane-cli decode: cannot read /nonexistent/stream.bin: No such file or directory\n"},
        {"/", 2, "", "norvane-cli decode: cannot read /: Is a directory\n"},
        {"--help", 0, "Usage: norvane-cli decode [--stats] [FILE]\n...", ""},
        {"--bogus", 2, "", "norvane-cli decode: unknown option --bogus\n..."},
        {"a b", 2, "", "norvane-cli decode: more than one FILE\n..."},
    };
    for (const auto& c : cases) {
        std::FILE* p = popen((cli + c.args + " 2>" + errPath).c_str(), "r");
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
