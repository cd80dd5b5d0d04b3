#include "diag/log_decoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "diag/bands.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

using test::Bytes;
using test::Cell;
using test::CellList;

LogFrameKind KindOf(std::span<const std::uint8_t> p) {
    return DecodeLogFrame(p).kind;
}

TEST(DecodeLogFrame, PublishedVersionTwoCellList) {
    Bytes p(kLogHeaderSize);
    PutLogHeader(std::span(p).first<kLogHeaderSize>(), 16 + 39, kCellListLogCode, 0);
    for (const unsigned b :
         {0x82, 0,    0,    0,    0,    0,    0,    0xf1, 0x29, 0x32, 0,    0xb6, 0xa5,
          0xff, 0xf1, 0xf5, 0xff, 0,    0,    0,    0,    0,    0,    0xf1, 0x29, 0x31,
          0,    0xb3, 0x9e, 0xff, 0xde, 0xde, 0xff, 0x04, 0,    0,    0,    0x80, 0}) {
        p.push_back(static_cast<std::uint8_t>(b));
    }
    const DecodedLogFrame d = DecodeLogFrame(p);
    ASSERT_EQ(d.kind, LogFrameKind::CellList);
    EXPECT_EQ((std::vector{d.cells.version, d.cells.wcdmaCellCount, d.cells.gsmCellCount}),
              (std::vector{2, 2, 0}));
    const std::vector<int> want[2] = {{10737, 2147, 50, -94, -15, -94},
                                      {10737, 2147, 49, -97, -34, -97}};
    for (const int k : {0, 1}) {
        const CellEntry& c = d.cells.cells[static_cast<std::size_t>(k)];
        EXPECT_EQ((std::vector{c.uarfcn, c.frequencyMhz, c.psc, c.rscp, c.ecIo, c.rscpBarPos}),
                  want[k]);
    }
    p.pop_back();
    EXPECT_EQ(KindOf(p), LogFrameKind::Other) << "one byte short";
}

// Every version and count edge, each record distinct and every field checked, and the same list
// one byte short: version 0 then drops only its GSM records, later versions the whole list.
TEST(DecodeLogFrame, CellListVersionsAndCounts) {
    const struct {
        unsigned version;
        std::size_t wcdma, gsm;
        bool decodes;
    } cases[] = {{0, 1, 0, true},  {0, 8, 0, true}, {0, 8, 5, true},  {0, 0, 0, false},
                 {0, 9, 0, false}, {1, 0, 0, true}, {1, 1, 1, true},  {1, 63, 63, true},
                 {2, 0, 0, true},  {2, 0, 4, true}, {2, 63, 63, true}};
    for (const auto& t : cases) {
        SCOPED_TRACE(testing::Message() << "v" << t.version << " " << t.wcdma << "+" << t.gsm);
        std::vector<WcdmaCellRecord> cells(t.wcdma);
        std::vector<GsmCellRecord> gsm(t.gsm);
        for (std::size_t k = 0; k < cells.size(); ++k) {
            cells[k] = Cell(static_cast<std::uint16_t>(10562 + k), static_cast<std::uint16_t>(k),
                            static_cast<std::uint8_t>(0x90 + k), 0xFE,
                            static_cast<std::uint8_t>(0xC0 + k));
            cells[k].reselect = cells[k].hcsQualify = 0x5A;  // later bytes never read as cells
        }
        for (std::size_t k = 0; k < gsm.size(); ++k) {
            gsm[k] = {static_cast<std::uint16_t>(0xF000 | k),
                      static_cast<std::uint16_t>(k + 300),
                      static_cast<std::int8_t>(-40 - static_cast<int>(k)),
                      7,
                      9,
                      1,
                      2,
                      3};
        }
        const Bytes p = CellList(t.version, 0, cells, gsm);
        const DecodedLogFrame d = DecodeLogFrame(p);
        ASSERT_EQ(d.kind == LogFrameKind::CellList, t.decodes);
        if (!t.decodes) {
            continue;
        }
        const CellReport& r = d.cells;
        EXPECT_EQ((std::vector{r.version, r.wcdmaCellCount, r.gsmCellCount, r.gsmCellsDecoded}),
                  (std::vector{int(t.version), int(t.wcdma), int(t.gsm), int(t.gsm)}));
        for (std::size_t k = 0; k < t.wcdma; ++k) {
            const int n = static_cast<int>(k);
            const int rscp = 0x90 + n - 276;
            const CellEntry& c = r.cells[k];
            // Version 0 reads the bar from the RSCP byte and the rank's low byte (0xFE).
            EXPECT_EQ((std::vector{c.uarfcn, c.psc, c.rscp, c.rscpBarPos, c.ecIo}),
                      (std::vector{10562 + n, n, rscp, t.version == 0 ? rscp - 256 : rscp,
                                   0xC0 + n - 256}));
        }
        for (std::size_t k = 0; k < t.gsm; ++k) {
            const GsmCellEntry& g = r.gsmCells[k];
            const int n = static_cast<int>(k);
            EXPECT_EQ((std::vector{g.arfcn, g.bsic, g.rssi}), (std::vector{n, n + 300, -40 - n}));
        }
        const DecodedLogFrame cut = DecodeLogFrame({p.data(), p.size() - 1});
        const bool keeps = t.version == 0 && t.gsm > 0;
        ASSERT_EQ(cut.kind, keeps ? LogFrameKind::CellList : LogFrameKind::Other);
        EXPECT_EQ(cut.reason, keeps ? OtherReason::None : OtherReason::NotDecoded);
        EXPECT_EQ(cut.cells.gsmCellsDecoded, 0);
    }
}

// Header and count bytes: byte `at` set to `value` in a one-cell list of `version`.
TEST(DecodeLogFrame, HeaderAndCountBytes) {
    const struct {
        unsigned version;
        std::size_t at;
        std::uint8_t value;
        LogFrameKind kind;
        int gsmCount;
    } cases[] = {
        {2, kCellListCountOffset, 0xC1, LogFrameKind::Other, 0},          // version 3
        {1, kCellListGsmCountOffset, 0xC0, LogFrameKind::CellList, 0},    // reserved bits
        {0, kCellListGsmCountOffset, 0xC0, LogFrameKind::CellList, 192},  // the whole byte
        {0, 3, 0x01, LogFrameKind::Other, 0},  // version 0 keeps its length checks
        {0, 5, 0x01, LogFrameKind::Other, 0},
        {1, 3, 0x01, LogFrameKind::CellList, 0},             // later lists may pass 255 bytes
        {0, 4, 0x99, LogFrameKind::CellList, 0},             // not looked at
        {0, 2, kSarPaRecordLength, LogFrameKind::Other, 0},  // never a cell list
        {0, 0, 0x11, LogFrameKind::Other, 0},
        {0, 1, 0x01, LogFrameKind::Other, 0},
        {0, 6, 0x04, LogFrameKind::Other, 0},
        {1, 7, 0x41, LogFrameKind::Other, 0},
        {0, kCellListCountOffset, 0x08, LogFrameKind::Other, 0},  // eight declared, one there
    };
    for (const auto& c : cases) {
        Bytes p = CellList(c.version, 0, {Cell()});
        p[c.at] = c.value;
        const DecodedLogFrame d = DecodeLogFrame(p);
        EXPECT_EQ(d.kind, c.kind) << c.at;
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
        EXPECT_EQ(d.sarPa.sarLevel, c.hasLevel ? SarLevel(c.level) : SarLevel::Low);
        EXPECT_EQ(d.sarPa.paValue, c.pa);
        EXPECT_EQ(d.sarPa.paOverheated, c.overheated) << int(c.pa);
    }
    for (const std::size_t at : {0, 1, 2, 3, 4, 5, 6, 7}) {
        Bytes p = test::SarPaPayload(3, 90);
        p[at] ^= 0x01;
        EXPECT_EQ(KindOf(p), LogFrameKind::Other) << "byte " << at;
    }
    Bytes longer = test::SarPaPayload(1, 50);
    longer.push_back(0xAB);
    EXPECT_EQ(KindOf(longer), LogFrameKind::SarPa);
    const std::vector<WcdmaCellRecord> eight(8, Cell());
    for (const Bytes& whole : {CellList(0, 0, eight), test::SarPaPayload(1, 50)}) {
        for (std::size_t n = 0; n < whole.size(); ++n) {
            EXPECT_EQ(KindOf({whole.data(), n}), LogFrameKind::Other) << n;
        }
    }
}

TEST(DecodeLogFrame, UpTimeFromTheTimeStamp) {
    constexpr std::int64_t kMs = 52400;  // per millisecond
    const struct {
        std::int64_t stamp;
        std::vector<int> hmsMs;
    } cases[] = {
        {0, {0, 0, 0, 0}},
        {kMs * (3600000 + 2 * 60000 + 3004), {1, 2, 3, 4}},
        {kMs * (60000 + 1000), {0, 1, 1, 0}},
        {kMs * 25 * 3600000, {25, 0, 0, 0}},  // not wrapped at 24 h
        {kMs - 1, {0, 0, 0, 0}},
        {kMs * 1000 - 1, {0, 0, 0, 999}},  // divisor 52400, not 52428.8
        {-kMs * (3600000 + 2 * 60000 + 3004), {-1, -2, -3, -4}},
        {-1, {0, 0, 0, 0}},
        {INT64_MIN, {-48894041, -45, -21, -656}},
        {INT64_MAX, {48894041, 45, 21, 656}},
    };
    for (const auto& c : cases) {
        const CellReport r = DecodeLogFrame(CellList(1, c.stamp, {Cell()})).cells;
        EXPECT_EQ((std::vector{r.hours, r.minutes, r.seconds, r.milliseconds}), c.hmsMs) << c.stamp;
    }
}

TEST(DecodeLogFrame, CellValuesAtTheirLimits) {
    const DecodedLogFrame d = DecodeLogFrame(
        CellList(0, 0, {Cell(1000, 0xFFFF, 0x10, 0x00, 0x05), Cell(0xFFF9), Cell(9), Cell(3000)}));
    const auto& c = d.cells.cells;
    EXPECT_EQ((std::vector{c[0].rscp, c[0].rscpBarPos, c[0].ecIo, c[0].frequencyMhz, c[0].psc}),
              (std::vector{-260, -4, -251, 200, -1}));
    EXPECT_EQ((std::vector{c[1].uarfcn, c[1].frequencyMhz, c[2].frequencyMhz, c[3].frequencyMhz}),
              (std::vector{-7, -1, 1, 940}));
}

TEST(DownlinkFrequencyMhz, BandEdgesAndAdditionalChannels) {
    const std::int32_t cases[][2] = {
        {10562, 2112}, {10838, 2167}, {10561, 2112}, {10839, 2167},  // I and just outside
        {9662, 1932},  {9938, 1987},  {412, 1932},   {437, 1937},   {687, 1987},  {413, 82},
        {436, 87},     {1162, 1807},  {1513, 1877},  {1537, 2112},  {1887, 2112}, {2087, 2152},
        {4357, 871},   {4458, 891},   {1007, 871},   {1012, 872},   {1087, 887},  {1008, 201},
        {1013, 202},   {4387, 877},   {4413, 882},   {2587, 2622},  {2237, 2622}, {2912, 2687},
        {2937, 927},   {3088, 957},   {3712, 1478},  {3787, 1493},  {3842, 731},  {3932, 731},
        {3992, 743},   {3937, 787},   {4067, 748},   {4092, 753},   {4192, 765},  {837, 887},
        {4512, 793},   {4638, 818},   {5038, 3587},  {6592, 1992},  {5762, 861},  {5937, 861},
        {6087, 891},   {6012, 876},   {7012, 1489},  {0, 0},        {-7, -1},     {-32768, -6553},
        {32767, 6553},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DownlinkFrequencyMhz(c[0]), c[1]) << "UARFCN " << c[0];
    }
}

}  // namespace
}  // namespace norvane
