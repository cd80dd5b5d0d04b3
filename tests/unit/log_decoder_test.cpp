#include "diag/log_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "diag/bands.h"
#include "tests/unit/log_frames.h"

namespace norvane {
namespace {

using testing::CellListPayload;
using testing::CellRecord;
using testing::SarPaPayload;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kTicks = 52400;  // per millisecond

LogFrameKind KindOf(const Bytes& p) {
    return DecodeLogFrame(p).kind;
}

TEST(DecodeLogFrame, CellListWithOneAndWithEightCells) {
    const Bytes one = CellListPayload({CellRecord{}}, 3, 0);
    const DecodedLogFrame d = DecodeLogFrame(one);
    ASSERT_EQ(d.kind, LogFrameKind::CellList);
    EXPECT_EQ(d.cells.wcdmaCellCount, 1);
    EXPECT_EQ(d.cells.gsmCellCount, 3);
    const CellEntry& c = d.cells.cells[0];
    EXPECT_EQ(c.uarfcn, 10737);
    EXPECT_EQ(c.frequencyMhz, 2147);
    EXPECT_EQ(c.psc, 50);
    EXPECT_EQ(c.rscp, -96);
    EXPECT_EQ(c.rscpBarPos, -96);
    EXPECT_EQ(c.ecIo, -10);
    EXPECT_EQ(d.cells.cells[1].uarfcn, 0) << "slots past the count stay empty";

    std::vector<CellRecord> eight(8);
    for (int k = 0; k < 8; ++k) {
        eight[k].psc = static_cast<std::int16_t>(100 + k);
        eight[k].ecIo = static_cast<std::uint8_t>(0xF0 + k);
    }
    const Bytes full = CellListPayload(eight, 255, 0);
    ASSERT_EQ(full.size(), 98U);
    const DecodedLogFrame e = DecodeLogFrame(full);
    ASSERT_EQ(e.kind, LogFrameKind::CellList);
    EXPECT_EQ(e.cells.wcdmaCellCount, 8);
    EXPECT_EQ(e.cells.gsmCellCount, 255);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(e.cells.cells[k].psc, 100 + k);
        EXPECT_EQ(e.cells.cells[k].ecIo, 0xF0 + k - 256);
    }
}

TEST(DecodeLogFrame, RecognitionRejectsWhatIsNotOneOfTheTwoPackets) {
    const std::vector<CellRecord> nine(9);
    EXPECT_EQ(KindOf(CellListPayload({}, 0, 0)), LogFrameKind::Other) << "0 cells";
    EXPECT_EQ(KindOf(CellListPayload(nine, 0, 0)), LogFrameKind::Other) << "9 cells";
    EXPECT_EQ(KindOf(CellListPayload(nine, 0, 0, 8)), LogFrameKind::CellList);

    Bytes p = CellListPayload({CellRecord{}}, 0, 0);
    p[2] = 0x1C;  // SAR/PA record length with the cell list's log code
    EXPECT_EQ(KindOf(p), LogFrameKind::Other);

    for (std::size_t at : {1U, 3U, 5U}) {
        Bytes cell = CellListPayload({CellRecord{}}, 0, 0);
        Bytes sar = SarPaPayload(3, 90);
        cell[at] = 0x01;
        sar[at] = 0x01;
        EXPECT_EQ(KindOf(cell), LogFrameKind::Other) << "byte " << at;
        EXPECT_EQ(KindOf(sar), LogFrameKind::Other) << "byte " << at;
    }
    Bytes anyB4 = CellListPayload({CellRecord{}}, 0, 0);
    anyB4[4] = 0x99;  // not looked at for a cell list
    EXPECT_EQ(KindOf(anyB4), LogFrameKind::CellList);

    Bytes notLog = CellListPayload({CellRecord{}}, 0, 0);
    notLog[0] = 0x11;
    EXPECT_EQ(KindOf(notLog), LogFrameKind::Other);
    Bytes otherCode = CellListPayload({CellRecord{}}, 0, 0);
    otherCode[6] = 0x06;
    EXPECT_EQ(KindOf(otherCode), LogFrameKind::Other);
    Bytes sarWrongCode = SarPaPayload(0, 0);
    sarWrongCode[7] = 0x12;
    EXPECT_EQ(KindOf(sarWrongCode), LogFrameKind::Other);
    Bytes sarWrongInner = SarPaPayload(0, 0);
    sarWrongInner[4] = 0x1D;
    EXPECT_EQ(KindOf(sarWrongInner), LogFrameKind::Other);
}

TEST(DecodeLogFrame, FramesShorterThanTheirFieldsAreOther) {
    // Every cut of a valid frame below its declared size is refused, whatever byte it ends on.
    const Bytes cells = CellListPayload(std::vector<CellRecord>(8), 0, 0);
    for (std::size_t n = 0; n < cells.size(); ++n) {
        EXPECT_EQ(DecodeLogFrame({cells.data(), n}).kind, LogFrameKind::Other) << n;
    }
    const Bytes sar = SarPaPayload(1, 50);
    for (std::size_t n = 0; n < sar.size(); ++n) {
        EXPECT_EQ(DecodeLogFrame({sar.data(), n}).kind, LogFrameKind::Other) << n;
    }
    // Eight cells declared, room for one: refused instead of read past the frame.
    EXPECT_EQ(KindOf(CellListPayload({CellRecord{}}, 0, 0, 8)), LogFrameKind::Other);
    // Trailing bytes past the declared fields are fine.
    Bytes longer = sar;
    longer.push_back(0xAB);
    EXPECT_EQ(KindOf(longer), LogFrameKind::SarPa);
}

TEST(DecodeLogFrame, SarLevelAndPaTemperature) {
    const SarLevel levels[] = {SarLevel::Low, SarLevel::Normal, SarLevel::Medium, SarLevel::High};
    for (std::uint8_t l = 0; l < 4; ++l) {
        const DecodedLogFrame d = DecodeLogFrame(SarPaPayload(l, 90));
        ASSERT_EQ(d.kind, LogFrameKind::SarPa);
        EXPECT_TRUE(d.sarPa.hasSarLevel);
        EXPECT_EQ(d.sarPa.sarLevel, levels[l]);
    }
    const DecodedLogFrame noLevel = DecodeLogFrame(SarPaPayload(4, 77));
    ASSERT_EQ(noLevel.kind, LogFrameKind::SarPa);
    EXPECT_FALSE(noLevel.sarPa.hasSarLevel);
    EXPECT_EQ(noLevel.sarPa.paValue, 77);
    EXPECT_FALSE(DecodeLogFrame(SarPaPayload(0xFF, 0)).sarPa.hasSarLevel);

    EXPECT_TRUE(DecodeLogFrame(SarPaPayload(0, 80)).sarPa.paOverheated);
    EXPECT_FALSE(DecodeLogFrame(SarPaPayload(0, 81)).sarPa.paOverheated);
    EXPECT_TRUE(DecodeLogFrame(SarPaPayload(0, 0)).sarPa.paOverheated);
    EXPECT_FALSE(DecodeLogFrame(SarPaPayload(0, 255)).sarPa.paOverheated);
}

CellReport UpTime(std::int64_t stamp) {
    const DecodedLogFrame d = DecodeLogFrame(CellListPayload({CellRecord{}}, 0, stamp));
    EXPECT_EQ(d.kind, LogFrameKind::CellList);
    return d.cells;
}

#define EXPECT_UPTIME(stamp, h, m, s, ms)   \
    do {                                    \
        const CellReport r = UpTime(stamp); \
        EXPECT_EQ(r.hours, h);              \
        EXPECT_EQ(r.minutes, m);            \
        EXPECT_EQ(r.seconds, s);            \
        EXPECT_EQ(r.milliseconds, ms);      \
    } while (0)

TEST(DecodeLogFrame, UpTimeFromTheTimeStamp) {
    EXPECT_UPTIME(0, 0, 0, 0, 0);
    EXPECT_UPTIME(kTicks * (3600000 + 2 * 60000 + 3004), 1, 2, 3, 4);
    EXPECT_UPTIME(kTicks * 25 * 3600000, 25, 0, 0, 0);  // not wrapped at 24 h
    EXPECT_UPTIME(kTicks - 1, 0, 0, 0, 0);
    EXPECT_UPTIME(kTicks * 1000 - 1, 0, 0, 0, 999);  // divisor 52400, not 52428.8
    EXPECT_UPTIME(-kTicks * (3600000 + 2 * 60000 + 3004), -1, -2, -3, -4);
    EXPECT_UPTIME(-1, 0, 0, 0, 0);
    EXPECT_UPTIME(INT64_MIN, -48894041, -45, -21, -656);
    EXPECT_UPTIME(INT64_MAX, 48894041, 45, 21, 656);
}

TEST(DecodeLogFrame, CellValues) {
    CellRecord weak;
    weak.rscpLow = 0x10;
    weak.rscpHigh = 0x00;
    weak.ecIo = 0x05;
    weak.uarfcn = 1000;  // in no band
    weak.psc = -1;
    CellRecord odd;
    odd.uarfcn = -7;
    CellRecord nine;
    nine.uarfcn = 9;
    CellRecord band8;
    band8.uarfcn = 3000;
    const DecodedLogFrame d = DecodeLogFrame(CellListPayload({weak, odd, nine, band8}, 0, 0));
    ASSERT_EQ(d.kind, LogFrameKind::CellList);
    const auto& c = d.cells.cells;
    EXPECT_EQ(c[0].rscp, -260);
    EXPECT_EQ(c[0].rscpBarPos, -4);
    EXPECT_EQ(c[0].ecIo, -251);
    EXPECT_EQ(c[0].frequencyMhz, 200);
    EXPECT_EQ(c[0].psc, -1);
    EXPECT_EQ(c[1].uarfcn, -7);
    EXPECT_EQ(c[1].frequencyMhz, -1);
    EXPECT_EQ(c[2].frequencyMhz, 1);
    EXPECT_EQ(c[3].frequencyMhz, 940);
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
