#include "diag/bands.h"

namespace norvane {
namespace {

// One run of downlink channels sharing an offset: first, first + step, ..., last.
struct ChannelRun {
    const char* band;
    std::int32_t first;
    std::int32_t last;
    std::int32_t step;
    std::int32_t offsetTenthsMhz;  // FDL_Offset in tenths of MHz (1850.1 MHz is 18501)
};

// UTRA FDD downlink channels (UARFCN) and their FDL_Offset, band by band. The first run of a
// band is its general channel range; further runs are the band's additional channels, which sit
// on the 100 kHz raster and so have offsets with a tenth of a MHz. Bands V and VI overlap with
// the same offset; every other channel belongs to at most one run.
// clang-format off
constexpr ChannelRun kDownlinkRuns[] = {
    // band     first   last  step  offset x10
    {"I",      10562, 10838,   1,      0},
    {"II",      9662,  9938,   1,      0},
    {"II",       412,   687,  25,  18501},
    {"III",     1162,  1513,   1,  15750},
    {"IV",      1537,  1738,   1,  18050},
    {"IV",      1887,  2087,  25,  17351},
    {"V",       4357,  4458,   1,      0},
    {"V",       1007,  1012,   5,   6701},   // 1007 1012
    {"V",       1032,  1037,   5,   6701},   // 1032 1037
    {"V",       1062,  1087,  25,   6701},   // 1062 1087
    {"VI",      4387,  4413,   1,      0},
    {"VII",     2237,  2563,   1,  21750},
    {"VII",     2587,  2912,  25,  21051},
    {"VIII",    2937,  3088,   1,   3400},
    {"IX",      9237,  9387,   1,      0},
    {"X",       3112,  3388,   1,  14900},
    {"X",       3412,  3687,  25,  14301},
    {"XI",      3712,  3787,   1,   7360},
    {"XII",     3842,  3903,   1,   -370},
    {"XII",     3932,  3932,   1,   -549},
    {"XII",     3957,  3962,   5,   -549},   // 3957 3962
    {"XII",     3987,  3992,   5,   -549},   // 3987 3992
    {"XIII",    4017,  4043,   1,   -550},
    {"XIII",    4067,  4092,  25,   -649},   // 4067 4092
    {"XIV",     4117,  4143,   1,   -630},
    {"XIV",     4167,  4192,  25,   -729},   // 4167 4192
    {"XIX",      712,   763,   1,   7350},
    {"XIX",      787,   837,  25,   7201},   // 787 812 837
    {"XX",      4512,  4638,   1,  -1090},
    {"XXI",      862,   912,   1,  13260},
    {"XXII",    4662,  5038,   1,  25800},
    {"XXV",     5112,  5413,   1,   9100},
    {"XXV",     6292,  6592,  25,   6741},
    {"XXVI",    5762,  5913,   1,  -2910},
    {"XXVI",    5937,  5937,   1,  -3259},
    {"XXVI",    5962,  5962,   1,  -3259},
    {"XXVI",    5987,  5992,   5,  -3259},   // 5987 5992
    {"XXVI",    6012,  6017,   5,  -3259},   // 6012 6017
    {"XXVI",    6037,  6042,   5,  -3259},   // 6037 6042
    {"XXVI",    6062,  6067,   5,  -3259},   // 6062 6067
    {"XXVI",    6087,  6087,   1,  -3259},
    {"XXXII",   6617,  6813,   1,   1310},
    {"XXXII",   6837,  7012,  25,    871},
};
// clang-format on

const ChannelRun* FindRun(std::int32_t uarfcn) {
    for (const ChannelRun& run : kDownlinkRuns) {
        if (uarfcn >= run.first && uarfcn <= run.last && (uarfcn - run.first) % run.step == 0) {
            return &run;
        }
    }
    return nullptr;
}

}  // namespace

std::int32_t DownlinkFrequencyMhz(std::int32_t uarfcn) {
    if (const ChannelRun* run = FindRun(uarfcn)) {
        // F = offset + 0.2 x UARFCN, in tenths: 10F = 10 offset + 2 UARFCN. Integer division
        // truncates toward zero, as the whole-MHz value must.
        return (run->offsetTenthsMhz + 2 * uarfcn) / 10;
    }
    return uarfcn / 5;  // in no band: UARFCN / 5, truncated toward zero
}

const char* DownlinkBand(std::int32_t uarfcn) {
    const ChannelRun* run = FindRun(uarfcn);
    return run != nullptr ? run->band : nullptr;
}

namespace {

// Downlink EARFCN ranges of the E-UTRA bands, in channel order.
struct LteBandRange {
    std::uint32_t band, first, last;
};
constexpr LteBandRange kLteBands[] = {
    {1, 0, 599},        {2, 600, 1199},     {3, 1200, 1949},    {4, 1950, 2399},
    {5, 2400, 2649},    {6, 2650, 2749},    {7, 2750, 3449},    {8, 3450, 3799},
    {9, 3800, 4149},    {10, 4150, 4749},   {11, 4750, 4949},   {12, 5010, 5179},
    {13, 5180, 5279},   {14, 5280, 5379},   {17, 5730, 5849},   {18, 5850, 5999},
    {19, 6000, 6149},   {20, 6150, 6449},   {21, 6450, 6599},   {22, 6600, 7399},
    {23, 7500, 7699},   {24, 7700, 8039},   {25, 8040, 8689},   {26, 8690, 9039},
    {27, 9040, 9209},   {28, 9210, 9659},   {29, 9660, 9769},   {30, 9770, 9869},
    {31, 9870, 9919},   {32, 9920, 10359},  {33, 36000, 36199}, {34, 36200, 36349},
    {35, 36350, 36949}, {36, 36950, 37549}, {37, 37550, 37749}, {38, 37750, 38249},
    {39, 38250, 38649}, {40, 38650, 39649}, {41, 39650, 41589}, {42, 41590, 43589},
    {43, 43590, 45589}, {44, 45590, 46589}, {45, 46590, 46789}, {46, 46790, 54539},
    {47, 54540, 55239}, {48, 55240, 56739}, {49, 56740, 58239}, {50, 58240, 59089},
    {51, 59090, 59139}, {52, 59140, 60139}, {53, 60140, 60254}, {65, 65536, 66435},
    {66, 66436, 67335}, {67, 67336, 67535}, {68, 67536, 67835}, {69, 67836, 68335},
    {70, 68336, 68585}, {71, 68586, 68935}, {72, 68936, 68985}, {73, 68986, 69035},
    {74, 69036, 69465}, {75, 69466, 70315}, {76, 70316, 70365}, {85, 70366, 70545},
    {87, 70546, 70595}, {88, 70596, 70645},
};

}  // namespace

std::uint32_t LteBandOfEarfcn(std::uint32_t earfcnDl) {
    for (const LteBandRange& r : kLteBands) {
        if (earfcnDl >= r.first && earfcnDl <= r.last) {
            return r.band;
        }
    }
    return 0;
}

}  // namespace norvane
