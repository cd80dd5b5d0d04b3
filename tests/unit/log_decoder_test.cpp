#include "diag/log_decoder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <vector>

#include "diag/bands.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

using test::Bytes;
using test::Cell;
using test::CellList;
using test::SarPaPayload;

LogFrameKind KindOf(std::span<const std::uint8_t> p) {
    return DecodeLogFrame(p).kind;
}

Bytes FromHex(const char* hex) {
    Bytes out;
    unsigned v = 0;
    int n = 0;
    for (; *hex != '\0'; ++hex) {
        if (*hex != ' ') {
            v = v * 16 + static_cast<unsigned>(std::isdigit(*hex) ? *hex - '0' : *hex - 'a' + 10);
            if (++n % 2 == 0) {
                out.push_back(static_cast<std::uint8_t>(v & 0xFF));
            }
        }
    }
    return out;
}

TEST(DecodeLogFrame, PublishedVersionTwoCellList) {
    Bytes p(kLogHeaderSize);
    PutLogHeader(std::span(p).first<kLogHeaderSize>(), 16 + 39, kCellListLogCode, 0);
    const Bytes payload = FromHex(
        "82 00 00 00 00 00 00 f1 29 32 00 b6 a5 ff f1 f5 ff 00 00 00 00 00 00 f1 29 31 00 b3 9e "
        "ff de de ff 04 00 00 00 80 00");
    p.insert(p.end(), payload.begin(), payload.end());
    const DecodedLogFrame d = DecodeLogFrame(p);
    ASSERT_EQ(d.kind, LogFrameKind::CellList);
    EXPECT_EQ(d.cells.version, 2);
    EXPECT_EQ(d.cells.wcdmaCellCount, 2);
    EXPECT_EQ(d.cells.gsmCellCount, 0);
    EXPECT_EQ(d.cells.gsmCellsDecoded, 0);
    const int want[2][6] = {{10737, 2147, 50, -94, -15, -94}, {10737, 2147, 49, -97, -34, -97}};
    for (int k = 0; k < 2; ++k) {
        const CellEntry& c = d.cells.cells[static_cast<std::size_t>(k)];
        EXPECT_EQ((std::vector{c.uarfcn, c.frequencyMhz, c.psc, c.rscp, c.ecIo, c.rscpBarPos}),
                  (std::vector<int>(want[k], want[k] + 6)))
            << "cell " << k;
    }
    p.pop_back();
    EXPECT_EQ(KindOf(p), LogFrameKind::Other) << "one byte short";
}

// Lists of every version and count edge: each record distinct, every field checked, and the
// same list one byte short of its records.
TEST(DecodeLogFrame, CellListVersionsAndCounts) {
    struct Case {
        unsigned version;
        std::size_t wcdma, gsm;
        bool decodes;
    };
    const Case cases[] = {{0, 1, 0, true},  {0, 8, 0, true}, {0, 8, 5, true},  {0, 0, 0, false},
                          {0, 9, 0, false}, {1, 0, 0, true}, {1, 1, 1, true},  {1, 63, 63, true},
                          {2, 0, 0, true},  {2, 0, 4, true}, {2, 63, 63, true}};
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message()
                     << "version " << t.version << ", " << t.wcdma << "+" << t.gsm);
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
        EXPECT_EQ(r.version, static_cast<int>(t.version));
        EXPECT_EQ(r.wcdmaCellCount, static_cast<int>(t.wcdma));
        EXPECT_EQ(r.gsmCellCount, static_cast<int>(t.gsm));
        ASSERT_EQ(r.gsmCellsDecoded, static_cast<int>(t.gsm));
        for (std::size_t k = 0; k < t.wcdma; ++k) {
            const CellEntry& c = r.cells[k];
            const int rscp = 0x90 + static_cast<int>(k) - 276;
            EXPECT_EQ(c.uarfcn, 10562 + static_cast<int>(k));
            EXPECT_EQ(c.psc, static_cast<int>(k));
            EXPECT_EQ(c.rscp, rscp);
            // Version 0 reads the bar from the RSCP byte and the rank's low byte (0xFE).
            EXPECT_EQ(c.rscpBarPos, t.version == 0 ? rscp - 256 : rscp);
            EXPECT_EQ(c.ecIo, 0xC0 + static_cast<int>(k) - 256);
        }
        for (std::size_t k = 0; k < t.gsm; ++k) {
            EXPECT_EQ(r.gsmCells[k].arfcn, static_cast<int>(k)) << "low 12 bits";
            EXPECT_EQ(r.gsmCells[k].bsic, static_cast<int>(k) + 300);
            EXPECT_EQ(r.gsmCells[k].rssi, -40 - static_cast<int>(k));
        }
        // One byte short: version 0 drops only its GSM records, later versions the whole list.
        const DecodedLogFrame cut = DecodeLogFrame({p.data(), p.size() - 1});
        if (t.version == 0 && t.gsm > 0) {
            ASSERT_EQ(cut.kind, LogFrameKind::CellList);
            EXPECT_EQ(cut.cells.gsmCellCount, static_cast<int>(t.gsm));
            EXPECT_EQ(cut.cells.gsmCellsDecoded, 0);
        } else {
            EXPECT_EQ(cut.kind, LogFrameKind::Other);
            EXPECT_EQ(cut.reason, OtherReason::NotDecoded);
        }
    }
}

TEST(DecodeLogFrame, CountBytesOfEachVersion) {
    const WcdmaCellRecord one[] = {Cell()};
    Bytes v3 = CellList(2, 0, one);
    v3[kCellListCountOffset] = 0xC1;
    const DecodedLogFrame d = DecodeLogFrame(v3);
    EXPECT_EQ(d.kind, LogFrameKind::Other);
    EXPECT_EQ(d.reason, OtherReason::UnknownVersion);

    Bytes v1 = CellList(1, 0, one);
    v1[kCellListGsmCountOffset] = 0xC0;  // reserved bits: no GSM cell
    EXPECT_EQ(DecodeLogFrame(v1).cells.gsmCellCount, 0);
    Bytes v0 = CellList(0, 0, one);
    v0[kCellListGsmCountOffset] = 0xC0;  // the whole byte: 192 cells without records
    EXPECT_EQ(DecodeLogFrame(v0).cells.gsmCellCount, 192);

    // Version 0 keeps its header checks; later lists may pass 255 bytes.
    const std::vector<WcdmaCellRecord> many(30, Cell());
    Bytes big = CellList(1, 0, many);
    ASSERT_NE(big[3], 0);
    EXPECT_EQ(KindOf(big), LogFrameKind::CellList);
    v0[3] = 0x01;
    EXPECT_EQ(KindOf(v0), LogFrameKind::Other);
}

TEST(DecodeLogFrame, RecognitionRejectsWhatIsNotOneOfTheTwoPackets) {
    const WcdmaCellRecord one[] = {Cell()};
    Bytes p = CellList(0, 0, one);
    p[2] = 0x1C;  // SAR/PA record length with the cell list's log code
    EXPECT_EQ(KindOf(p), LogFrameKind::Other);
    for (std::size_t at : {0U, 1U, 3U, 5U, 6U, 7U}) {
        Bytes cell = CellList(0, 0, one);
        Bytes sar = SarPaPayload(3, 90);
        cell[at] ^= 0x01;
        sar[at] ^= 0x01;
        EXPECT_EQ(KindOf(cell), LogFrameKind::Other) << "byte " << at;
        EXPECT_EQ(KindOf(sar), LogFrameKind::Other) << "byte " << at;
    }
    Bytes anyB4 = CellList(0, 0, one);
    anyB4[4] = 0x99;  // not looked at for a cell list
    EXPECT_EQ(KindOf(anyB4), LogFrameKind::CellList);
    Bytes sarWrongInner = SarPaPayload(0, 0);
    sarWrongInner[4] = 0x1D;
    EXPECT_EQ(KindOf(sarWrongInner), LogFrameKind::Other);
}

TEST(DecodeLogFrame, FramesShorterThanTheirFieldsAreOther) {
    const std::vector<WcdmaCellRecord> eight(8, Cell());
    for (const Bytes& whole : {CellList(0, 0, eight), SarPaPayload(1, 50)}) {
        for (std::size_t n = 0; n < whole.size(); ++n) {
            EXPECT_EQ(KindOf({whole.data(), n}), LogFrameKind::Other) << n;
        }
    }
    Bytes declared = CellList(0, 0, {Cell()});
    declared[kCellListCountOffset] = 8;  // eight declared, room for one
    EXPECT_EQ(KindOf(declared), LogFrameKind::Other);
    Bytes longer = SarPaPayload(1, 50);
    longer.push_back(0xAB);
    EXPECT_EQ(KindOf(longer), LogFrameKind::SarPa);
}

TEST(DecodeLogFrame, SarLevelAndPaTemperature) {
    struct Case {
        std::uint8_t level, pa;
        bool hasLevel, overheated;
    };
    const Case cases[] = {{0, 90, true, false}, {1, 81, true, false}, {2, 80, true, true},
                          {3, 0, true, true},   {4, 77, false, true}, {0xFF, 255, false, false}};
    for (const Case& c : cases) {
        const DecodedLogFrame d = DecodeLogFrame(SarPaPayload(c.level, c.pa));
        ASSERT_EQ(d.kind, LogFrameKind::SarPa);
        EXPECT_EQ(d.sarPa.hasSarLevel, c.hasLevel) << int(c.level);
        EXPECT_EQ(d.sarPa.sarLevel, c.hasLevel ? SarLevel(c.level) : SarLevel::Low);
        EXPECT_EQ(d.sarPa.paValue, c.pa);
        EXPECT_EQ(d.sarPa.paOverheated, c.overheated) << int(c.pa);
    }
}

TEST(DecodeLogFrame, UpTimeFromTheTimeStamp) {
    constexpr std::int64_t kMs = 52400;  // per millisecond
    struct Case {
        std::int64_t stamp;
        int h, m, s, ms;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0},
        {kMs * (3600000 + 2 * 60000 + 3004), 1, 2, 3, 4},
        {kMs * 25 * 3600000, 25, 0, 0, 0},  // not wrapped at 24 h
        {kMs - 1, 0, 0, 0, 0},
        {kMs * 1000 - 1, 0, 0, 0, 999},  // divisor 52400, not 52428.8
        {-kMs * (3600000 + 2 * 60000 + 3004), -1, -2, -3, -4},
        {-1, 0, 0, 0, 0},
        {INT64_MIN, -48894041, -45, -21, -656},
        {INT64_MAX, 48894041, 45, 21, 656},
    };
    for (const Case& c : cases) {
        const DecodedLogFrame d = DecodeLogFrame(CellList(1, c.stamp, {Cell()}));
        EXPECT_EQ(
            (std::vector{d.cells.hours, d.cells.minutes, d.cells.seconds, d.cells.milliseconds}),
            (std::vector{c.h, c.m, c.s, c.ms}))
            << c.stamp;
    }
}

TEST(DecodeLogFrame, CellValuesAtTheirLimits) {
    const DecodedLogFrame d = DecodeLogFrame(
        CellList(0, 0, {Cell(1000, 0xFFFF, 0x10, 0x00, 0x05), Cell(0xFFF9), Cell(9), Cell(3000)}));
    ASSERT_EQ(d.kind, LogFrameKind::CellList);
    const auto& c = d.cells.cells;
    EXPECT_EQ((std::vector{c[0].rscp, c[0].rscpBarPos, c[0].ecIo, c[0].frequencyMhz, c[0].psc}),
              (std::vector{-260, -4, -251, 200, -1}));
    EXPECT_EQ((std::vector{c[1].uarfcn, c[1].frequencyMhz, c[2].frequencyMhz, c[3].frequencyMhz}),
              (std::vector{-7, -1, 1, 940}));
}

TEST(DownlinkFrequencyMhz, BandEdgesAndAdditionalChannels) {
    struct Case {
        std::int32_t uarfcn, mhz;
    };
    const Case cases[] = {
        {10562, 2112}, {10838, 2167}, {10561, 2112},   {10839, 2167},  // I and just outside
        {9662, 1932},  {9938, 1987},  {412, 1932},     {437, 1937},   {687, 1987},  // II
        {413, 82},     {436, 87},                                     // between II's additional
        {1162, 1807},  {1513, 1877},                                  // III
        {1537, 2112},  {1738, 2152},  {1887, 2112},    {2087, 2152},  // IV (1735.1 + 377.4)
        {4357, 871},   {4458, 891},   {1007, 871},     {1012, 872},   {1087, 887},  // V
        {1008, 201},   {1013, 202},                                   // not V's additional
        {4387, 877},   {4413, 882},                                   // VI
        {2237, 2622},  {2563, 2687},  {2587, 2622},    {2912, 2687},  // VII
        {2937, 927},   {3000, 940},   {3088, 957},                    // VIII
        {9237, 1847},  {9387, 1877},                                  // IX
        {3112, 2112},  {3388, 2167},  {3412, 2112},    {3687, 2167},  // X
        {3712, 1478},  {3787, 1493},                                  // XI
        {3842, 731},   {3903, 743},   {3932, 731},     {3992, 743},   {3937, 787},  // XII
        {4017, 748},   {4043, 753},   {4067, 748},     {4092, 753},                 // XIII
        {4117, 760},   {4143, 765},   {4167, 760},     {4192, 765},                 // XIV
        {712, 877},    {763, 887},    {787, 877},      {837, 887},                  // XIX
        {4512, 793},   {4638, 818},                                                 // XX
        {862, 1498},   {912, 1508},                                                 // XXI
        {4662, 3512},  {5038, 3587},                                                // XXII
        {5112, 1932},  {5413, 1992},  {6292, 1932},    {6592, 1992},                // XXV
        {5762, 861},   {5913, 891},   {5937, 861},     {6087, 891},   {6012, 876},  // XXVI
        {6617, 1454},  {6813, 1493},  {6837, 1454},    {7012, 1489},                // XXXII
        {0, 0},        {-7, -1},      {-32768, -6553}, {32767, 6553}, {16383, 3276},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DownlinkFrequencyMhz(c.uarfcn), c.mhz) << "UARFCN " << c.uarfcn;
    }
}

}  // namespace
}  // namespace norvane
