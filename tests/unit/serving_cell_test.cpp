// The serving cell's identity and the LTE measurements: published packets and their JSON lines,
// every 0xB193 sub-version, what is refused, slices of real phones' captures, and the log-config
// answers.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>

#include "diag/frame_pump.h"
#include "diag/log_decoder.h"
#include "tests/support/frames.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using test::Bytes, test::HexBytes, test::LogFrame;

struct Vector {
    std::uint16_t code;
    Bytes payload;
    std::size_t shortest;  // the shortest payload that still decodes
    std::string json;
};

// The published packets (each version once or more) and the lines they must print.
const std::vector<Vector>& Vectors() {
    static const std::vector<Vector> v = {
        {0x4127, HexBytes("f1250000a729000041852d0800000700d01802060200030f9d9c000001000000"), 32,
         R"({"type":"wcdma_cell","uarfcn_dl":10663,"uarfcn_ul":9713,"psc":397,"cell_id":137200961,"lac":40093,"rac":1,"mcc":"262","mnc":"03"})"},
        {0xB0C2, HexBytes("028F001405644B64640074BC01D60503000000060102010000"), 25,
         R"({"type":"lte_cell","pci":143,"earfcn_dl":1300,"earfcn_ul":19300,"band":3,"bandwidth_dl_rb":100,"bandwidth_ul_rb":100,"cell_id":29127680,"tac":1494,"mcc":"262","mnc":"01"})"},
        {0xB0C2, HexBytes("034D0021070000714D00004B4B33C8B009159B03000000CC01020B0000"), 29,
         R"({"type":"lte_cell","pci":77,"earfcn_dl":1825,"earfcn_ul":19825,"band":3,"bandwidth_dl_rb":75,"bandwidth_ul_rb":75,"cell_id":162580531,"tac":39701,"mcc":"460","mnc":"11"})"},
        {0xB0C2, HexBytes("030b00fa0900004A50000000000b0692000b9005000000c20102060000"), 29,
         R"({"type":"lte_cell","pci":11,"earfcn_dl":2554,"earfcn_ul":20554,"band":5,"bandwidth_dl_rb":0,"bandwidth_ul_rb":0,"cell_id":9569803,"tac":36875,"mcc":"450","mnc":"06"})"},
        {0xB17F,
         HexBytes("040100009C18D60AECC44E00E2244E00FFFCE30FFED80A0047AD56021D310100A2624100"), 32,
         R"({"type":"lte_idle","earfcn":6300,"pci":214,"rsrp":-101.25,"rsrq":-14.0625,"rssi":-66.625})"},
        {0xB17F,
         HexBytes(
             "05010000160d0000d40e00004bb444005444450039e514133149070048adfe019f310100a23f0000"),
         36,
         R"({"type":"lte_idle","earfcn":3350,"pci":212,"rsrp":-111.3125,"rsrq":-10.4375,"rssi":-80.875})"},
        {0xB17F,
         HexBytes(
             "0501000000190000a90d0000d9944d00d9944d006081d5d55d2568bc48ad3e027f314fe0891900e0"),
         36,
         R"({"type":"lte_idle","earfcn":6400,"pci":425,"rsrp":-102.4375,"rsrq":-8.0,"rssi":-77.4375})"},
        {0xB17F,
         HexBytes(
             "05010000f424000a4d43434d4e434d41524b45527c307c3236327c317c34323330333233347c7c4d4343"
             "4d4e434d41524b45520a0a434f504d41524b45527c434f504552524f5232363230317c434f504d41524b"
             "45520a006306000057755500577555001d75d4111d290b0048ad7e02dd370100a27f4100"),
         36,
         R"({"type":"lte_idle","earfcn":167781620,"pci":333,"rsrp":-127.125,"rsrq":-22.25,"rssi":2.75})"},
        {0xB180,
         HexBytes(
             "040100009C1847008348E44DDEA44C00CAB4CC32B6D8420300000000FF773301FF77330122020100"),
         40,
         R"({"type":"lte_idle_neighbours","earfcn":6300,"cells":[{"pci":131,"rsrp":-102.125,"rsrq":-17.3125,"rssi":-75.75}]})"},
        {0xB180,
         HexBytes(
             "05010000160d0000480000006cea413bb4433b00b4f3cc33cf3c130200000000ffefc00fffefc00f45081"
             "6"
             "00"),
         44,
         R"({"type":"lte_idle_neighbours","earfcn":3350,"cells":[{"pci":108,"rsrp":-120.75,"rsrq":-17.0625,"rssi":-94.6875}]})"},
        {0xB193,
         HexBytes(
             "0101ffff19240c024006000001000300a01100008f2200000acc030005e6811490ca1200b2a445005a040"
             "0"
             "0000202300b2744a00fef8930449000000fef8e30e440a150000000000a10200000000fbff2c002e0001"
             "00586412770000ca0c0000a78c0000000000006f00000004000000a428000000000000b7fffffffe0000"
             "005ffcfffff0edffff",
             528),
         528,
         R"({"type":"lte_serving","cells":[{"earfcn":1600,"pci":416,"serving_index":0,"is_serving":true,"rsrp":-104.875,"rsrq":-14.125,"rssi":-67.9375}]})"},
        {0xB193,
         HexBytes(
             "0101e4a419302801a4050000020003000001ffff5e120000ed070000f2150500f98a6a1fed9f1200a8e44"
             "3"
             "00390400006009960000702200a7844a001861640ff6000000186154111fc20e00000000001f02000005"
             "000a00000000002c00360000000000000068186b0d0a002ee806002d3902000000000049070000870400"
             "001f150200000000005700000018010000990800008506000000000000000000005d020000ed0b0000ee"
             "150500f78a6a1fedc71100a8943a00390400006009960000101f0071644700e594e3088e000000e59483"
             "0d1c5a0d00000000001c02000005000a00000000002c00360000000000000070189bc100002e310000bc"
             "020100000000006f00000010000000a4a000000000000057000000e50000009c0800008a060000000000"
             "0000000000"),
         300,
         R"({"type":"lte_serving","cells":[{"earfcn":1444,"pci":94,"serving_index":1,"is_serving":true,"rsrp":-105.5625,"rsrq":-12.5,"rssi":-76.0625},{"earfcn":1444,"pci":93,"serving_index":1,"is_serving":false,"rsrp":-108.9375,"rsrq":-15.6875,"rssi":-76.25}]})"},
        // 0xB179: the field vector of a newer phone with its version byte (0x38) set to 4, and
        // the same cells in the version 3 layout with a detected cell, by hand.
        {0xB179,
         HexBytes(
             "04000000000000009c1800001601870506040604f700f700020000007400d603d603c100c10000002d"
             "00c903c903b400b4000000"),
         52,
         R"({"type":"lte_intra_meas","earfcn":6300,"pci":278,"serving_index":0,"rsrp":-115.625,"rsrq":-14.5625,"cells":[{"pci":116,"rsrp":-118.625,"rsrq":-17.9375},{"pci":45,"rsrp":-119.4375,"rsrq":-18.75}],"detected":[]})"},
        {0xB179,
         HexBytes(
             "03000000090000009c181601870506040604f700f70002017400d603d603c100c10000002d00c903c9"
             "03b400b40000003701",
             64),
         64,
         R"({"type":"lte_intra_meas","earfcn":6300,"pci":278,"serving_index":1,"rsrp":-115.625,"rsrq":-14.5625,"cells":[{"pci":116,"rsrp":-118.625,"rsrq":-17.9375},{"pci":45,"rsrp":-119.4375,"rsrq":-18.75}],"detected":[311]})"},
        // 0xB195 result v3 and 0xB192 result v2 and v4 after a request subpacket, by hand; the
        // bits around each field set where the layout leaves them to others.
        {0xB195,
         HexBytes("010200001e0204001f037000941602049a040000000000000000000054f4000000000000ff6bf100"
                  "00000000000000000000000000000000000000000000000000000000d20000000000000000000000"
                  "e403000000000000005003",
                  120),
         120,
         R"({"type":"lte_neighbour_meas","mode":"connected","earfcn":5780,"serving_index":2,"cells":[{"pci":154,"rsrp":-110.75,"rsrq":-24.375},{"pci":210,"rsrp":-117.75,"rsrq":-16.75}]})"},
        {0xB192,
         HexBytes("010200001a0204001b023c00140501062d050000000000000000000078f4000000000000ffbff3",
                  68),
         68,
         R"({"type":"lte_neighbour_meas","mode":"idle","earfcn":1300,"cells":[{"pci":301,"rsrp":-108.5,"rsrq":-15.0625}]})"},
        {0xB192,
         HexBytes(
             "010200001a0204001b044000e2040100010000001100000000000000000000000c050000000000000"
             "0a004",
             72),
         72,
         R"({"type":"lte_neighbour_meas","mode":"idle","earfcn":66786,"cells":[{"pci":17,"rsrp":-99.25,"rsrq":-11.5}]})"},
    };
    return v;
}

std::string RunDecode(const std::string& args, std::string& err) {
    const std::string out = ::testing::TempDir() + "serving.out", e = out + ".err";
    std::system(
        (NORVANE_BINARY_DIR "/tools/norvane-cli decode " + args + " >" + out + " 2>" + e).c_str());
    err = test::ReadFile(e);
    return test::ReadFile(out);
}

// Every vector, a sub-version 4 packet (no is-serving flag) and one of sub-version 60 (no
// layout), as a raw stream through `norvane-cli decode`.
TEST(ServingCellPackets, PublishedPacketsPrintTheirJsonLines) {
    Bytes stream;
    std::string want;
    for (const Vector& v : Vectors()) {
        test::AppendFrame(stream, LogFrame(v.code, v.payload));
        want += v.json + "\n";
    }
    LteServingCell cell{4, 0xFFFF, 511, 7, true, true, -16 * 140, -16 * 3, -16 * 25 - 1};
    Bytes v4(512);
    v4.resize(WriteLteServingMeasurement(v4, 0, 4, std::span(&cell, 1)));
    test::AppendFrame(stream, v4);
    want += R"({"type":"lte_serving","cells":[{"earfcn":65535,"pci":511,"serving_index":7,)"
            R"("rsrp":-140.0,"rsrq":-3.0,"rssi":-25.0625}]})"
            "\n";
    test::AppendFrame(
        stream,
        LogFrame(
            0xB193,
            HexBytes(
                "01010000193ca00014050000010000000f00000000010203e48100009a1d0000580e03002c87d1"
                "0c9a491300cfc44900983441001394450059242500d2244d00041184100891b30d082184108e9a"
                "1200eff111008e020000ffff0300090004003900380039003a0000000000784401007b7101004a"
                "090100a2a30000ebc10700e23507002701000027010000c10000009500000007755000f4944e00"
                "0000000008010000")));
    const std::string file = ::testing::TempDir() + "vectors.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()),
               static_cast<std::streamsize>(stream.size()));
    std::string err;
    EXPECT_EQ(RunDecode("--stats " + file, err), want);
    EXPECT_EQ(err,
              "bytes read: 2249, frames: 19, reports: 18, bad check sequence: 0, overflow: 0, "
              "other: 0, unknown "
              "version: 1, rrc parts dropped: 0\n");
}

// Each vector cut to its shortest, one byte shorter, of a version without a layout, in a frame
// shorter than its declared length, and with a byte after it.
TEST(ServingCellPackets, ShortOrUnknownVersionsAreRefusedAndCounted) {
    for (const Vector& v : Vectors()) {
        SCOPED_TRACE(v.json.substr(0, 30));
        const auto decode = [&](std::span<const std::uint8_t> frame) {
            const DecodedLogFrame d = DecodeLogFrame(frame);
            return d.kind == LogFrameKind::Other ? int(d.reason) : -1;
        };
        const auto p = std::span(v.payload);
        EXPECT_EQ(decode(LogFrame(v.code, p.first(v.shortest))), -1);
        EXPECT_EQ(decode(LogFrame(v.code, p.first(v.shortest - 1))), int(OtherReason::NotDecoded));
        Bytes frame = LogFrame(v.code, p);
        frame.push_back(0x5A);
        EXPECT_EQ(decode(frame), -1) << "a byte after the declared length";
        frame.pop_back();
        frame.pop_back();
        EXPECT_EQ(decode(frame), int(OtherReason::NotDecoded)) << "ends before its length";
        Bytes other(p.begin(), p.end());
        other[0] = 6;  // container version or packet version; 0x4127 has none
        EXPECT_EQ(decode(LogFrame(v.code, other)),
                  v.code == 0x4127 ? -1 : int(OtherReason::UnknownVersion));
    }
}

// Per sub-version: the body offsets where the notes place the combined RSRP word (bits 12-23),
// RSRQ word (10 bits from the given bit) and RSSI word (bits 0-10). Two cells where a count is
// sent, one otherwise; every value read back, then the refusals.
TEST(ServingCellPackets, EverySubVersionOfTheMeasurementSubpacket) {
    const int cases[][5] = {{4, 20, 28, 20, 36},  {7, 24, 32, 20, 40},  {18, 28, 36, 20, 44},
                            {19, 32, 40, 20, 48}, {24, 32, 40, 20, 48}, {35, 36, 52, 0, 64},
                            {36, 36, 52, 0, 64},  {40, 40, 56, 0, 68},  {48, 44, 60, 0, 72},
                            {50, 44, 60, 0, 72}};
    const int body = kLogHeaderSize + kLteServingSubpackets + kLteSubpacketHeaderSize;
    for (const auto& [sv, rsrpAt, rsrqAt, rsrqBit, rssiAt] : cases) {
        SCOPED_TRACE(sv);
        const bool counted = sv >= 19, flag = sv >= 18;
        const std::vector<LteServingCell> cells = {
            {std::uint8_t(sv), 2600, 503, 0, flag, flag, -16 * 97 - 8, -16 * 10 - 4, -16 * 70 - 1},
            {std::uint8_t(sv), 2600, 1, 4, flag, false, -16 * 121, -16 * 19, -16 * 88 - 15}};
        Bytes f(2048);
        f.resize(WriteLteServingMeasurement(f, 0, std::uint8_t(sv),
                                            std::span(cells).first(counted ? 2 : 1)));
        ASSERT_GT(f.size(), 0U);
        const int raw = -16 * 97 - 8 + (sv >= 35 ? 140 : 180) * 16;
        EXPECT_EQ((std::vector<int>{int(LeU32(f, body + rsrpAt) >> 12 & 0xFFF),
                                    int(LeU32(f, body + rsrqAt) >> rsrqBit & 0x3FF),
                                    int(LeU32(f, body + rssiAt) & 0x7FF)}),
                  (std::vector<int>{raw, 316, 639}));
        const DecodedLogFrame d = DecodeLogFrame(f);
        ASSERT_EQ(d.kind, LogFrameKind::LteServing);
        ASSERT_EQ(d.lteServing.count, counted ? 2 : 1);
        for (std::size_t k = 0; k < d.lteServing.count; ++k) {
            const LteServingCell &got = d.lteServing.cells[k], &c = cells[k];
            EXPECT_EQ(
                (std::vector<int>{got.subVersion, int(got.earfcn), got.pci, got.servingIndex,
                                  got.hasServingFlag, got.isServing, got.rsrp, got.rsrq, got.rssi}),
                (std::vector<int>{c.subVersion, int(c.earfcn), c.pci, c.servingIndex,
                                  c.hasServingFlag, c.isServing, c.rsrp, c.rsrq, c.rssi}));
        }
        // One byte short of the body (sizes made to agree); a count beyond the body; another
        // sub-version; a subpacket of another id only.
        const std::size_t size = LeU16(f, body - 2);
        Bytes p(f.begin() + kLogHeaderSize, f.end() - 1);
        PutLe(p, kLteServingSubpackets + 2, 2, std::uint32_t(size - 1));
        const auto reason = [&](const Bytes& q) {
            return int(DecodeLogFrame(LogFrame(kLteServingMeasLogCode, q)).reason);
        };
        EXPECT_EQ(reason(p), int(OtherReason::NotDecoded)) << "short by one";
        p.assign(f.begin() + kLogHeaderSize, f.end());
        if (counted) {
            p[kLteServingSubpackets + 4 + kLteServingCount] = 3;
            EXPECT_EQ(reason(p), int(OtherReason::NotDecoded)) << "three records declared";
            p[kLteServingSubpackets + 4 + kLteServingCount] = 2;
        }
        const std::pair<std::size_t, std::uint8_t> changes[] = {
            {5, 22}, {4, 0x1A}, {1, 0}};  // subpacket count 0: none of 0x19
        for (const auto& [at, value] : changes) {
            Bytes q = p;
            q[at] = value;
            EXPECT_EQ(reason(q), int(OtherReason::UnknownVersion)) << at;
        }
    }
}

// The neighbour measurement's subpackets: each change to the version 3 vector and what it gives
// (-1: decoded).
TEST(ConnectedNeighbours, SubpacketsTheirVersionsAndCounts) {
    const Vector& v = *std::find_if(Vectors().begin(), Vectors().end(),
                                    [](const Vector& x) { return x.code == 0xB195; });
    const int kDecoded = -1, kNot = int(OtherReason::NotDecoded),
              kUnknown = int(OtherReason::UnknownVersion);
    const struct {
        std::size_t at;
        std::uint8_t value;
        int want;
    } cases[] = {{5, 9, kDecoded},   // a request of any version is skipped
                 {9, 5, kUnknown},   // a result of a version without a layout
                 {8, 27, kDecoded},  // not the result id of this log: skipped, no layer
                 {14, 3, kNot},      // three cells declared, two held
                 {10, 0x71, kNot},   // the result's size one past the packet
                 {6, 3, kNot},       // the request smaller than its header
                 {1, 3, kNot}};      // a third subpacket the packet does not hold
    for (const auto& c : cases) {
        Bytes p = v.payload;
        p[c.at] = c.value;
        const DecodedLogFrame d = DecodeLogFrame(LogFrame(0xB195, p));
        EXPECT_EQ(d.kind == LogFrameKind::Other ? int(d.reason) : kDecoded, c.want) << c.at;
        if (c.at == 8) {
            EXPECT_EQ(d.lteNeighbourMeas.count, 0);
        }
    }
}

// 0xB193 subpackets put before the measurement: another id's, just its header, is skipped; one
// smaller than its header, or a measurement of nothing but its header, is refused.
TEST(ServingCellPackets, SubpacketsAtTheSizeOfTheirHeader) {
    const Vector& v = *std::find_if(Vectors().begin(), Vectors().end(),
                                    [](const Vector& x) { return x.code == 0xB193; });
    for (const auto& [sub, decodes] :
         {std::pair{"1a000400", true}, {"1a000300", false}, {"19240400", false}}) {
        Bytes p = v.payload;
        ++p[1];
        const Bytes extra = HexBytes(sub);
        p.insert(p.begin() + kLteServingSubpackets, extra.begin(), extra.end());
        EXPECT_EQ(DecodeLogFrame(LogFrame(0xB193, p)).kind == LogFrameKind::LteServing, decodes)
            << sub;
    }
}

// A real phone's two connected-mode neighbour logs: every packet decoded, and a cell measured by
// both within a second reads the same (the notes: median difference 0.0 dB, 80% within about
// 2 dB).
TEST(ConnectedNeighbours, BothLogsOfARealPhoneAgreeOnEachCell) {
    const std::string bytes =
        test::ReadFile(NORVANE_SOURCE_DIR "/tests/data/tmobile-neighbours.bin");
    struct Seen {
        std::int64_t ms;
        double rsrp;
    };
    std::map<std::pair<std::uint32_t, std::uint16_t>, std::vector<Seen>> intra, layered;
    int intraReports = 0, layerReports = 0;
    auto deframer = std::make_unique<HdlcDeframer>();
    FrameCounters counters;
    const std::span in(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    PumpFrames(*deframer, in, counters, [&](auto, std::span<const std::uint8_t> frame) {
        const DecodedLogFrame d = DecodeLogFrame(frame);
        ASSERT_TRUE(d.hasModemTime);
        if (d.kind == LogFrameKind::LteIntraMeas) {
            ++intraReports;
            for (std::size_t i = 0; i < d.lteIntra.count; ++i) {
                const LteMeasuredCell& c = d.lteIntra.cells[i];
                intra[{d.lteIntra.earfcn, c.pci}].push_back({d.modemTimeUnixMs, c.rsrp / 16.0});
            }
        } else {
            ASSERT_EQ(d.kind, LogFrameKind::LteNeighbourMeas);
            for (std::size_t l = 0; l < d.lteNeighbourMeas.count; ++l, ++layerReports) {
                const LteNeighbourLayer& layer = d.lteNeighbourMeas.layers[l];
                for (std::size_t i = 0; i < layer.count; ++i) {
                    layered[{layer.earfcn, layer.cells[i].pci}].push_back(
                        {d.modemTimeUnixMs, layer.cells[i].rsrp / 16.0});
                }
            }
        }
    });
    EXPECT_EQ(intraReports, 237);
    EXPECT_EQ(layerReports, 237);
    std::vector<double> differences;
    for (const auto& [cell, seen] : layered) {
        for (const Seen& s : seen) {
            const Seen* nearest = nullptr;
            for (const Seen& t : intra[cell]) {
                if (std::abs(t.ms - s.ms) <= 1000 &&
                    (nearest == nullptr || std::abs(t.ms - s.ms) < std::abs(nearest->ms - s.ms))) {
                    nearest = &t;
                }
            }
            if (nearest != nullptr) {
                differences.push_back(s.rsrp - nearest->rsrp);
            }
        }
    }
    ASSERT_GT(differences.size(), 400U);
    std::sort(differences.begin(), differences.end());
    EXPECT_EQ(differences[differences.size() / 2], 0.0);
    const auto within = std::count_if(differences.begin(), differences.end(),
                                      [](double d) { return std::abs(d) <= 2.0; });
    EXPECT_GE(double(within) / double(differences.size()), 0.75);
}

// Counts the modem declares beyond the payload, or beyond what a report holds.
TEST(ServingCellPackets, CountsBeyondTheFrameOrTheReport) {
    LteIdleNeighbours n;
    n.version = 5;
    n.count = 2;
    Bytes f(256);
    f.resize(WriteLteIdleNeighbours(f, 0, n));
    Bytes p(f.begin() + kLogHeaderSize, f.end());
    EXPECT_EQ(DecodeLogFrame(LogFrame(kLteIdleNeighboursLogCode, p)).lteNeighbours.count, 2);
    p[8] = 3 << 6;
    EXPECT_EQ(DecodeLogFrame(LogFrame(kLteIdleNeighboursLogCode, p)).kind, LogFrameKind::Other);
    PutLe(p, 8, 4, 33 << 6);  // 33 cells, all in the payload
    p.resize(12 + 33 * 32);
    EXPECT_EQ(DecodeLogFrame(LogFrame(kLteIdleNeighboursLogCode, p)).kind, LogFrameKind::Other);

    std::vector<LteServingCell> cells(32, LteServingCell{36, 100, 1, 0, true, true, 0, 0, 0});
    f.resize(kFrameBufferSize);
    f.resize(WriteLteServingMeasurement(f, 0, 36, cells));
    p.assign(f.begin() + kLogHeaderSize, f.end());
    EXPECT_EQ(DecodeLogFrame(LogFrame(kLteServingMeasLogCode, p)).lteServing.count, 32);
    p[1] = 2;  // the same subpacket twice: 64 cells
    p.insert(p.end(), p.begin() + kLteServingSubpackets, p.end());
    EXPECT_EQ(DecodeLogFrame(LogFrame(kLteServingMeasLogCode, p)).kind, LogFrameKind::Other);
}

TEST(LogConfig, ItemCountsAndTheMaskInForce) {
    Bytes op1 = HexBytes(
        "73000000010000000000000000000000ff0f00000000000000000000f70f0000f70f00001c0000005e0b0000"
        "0000000016080000920300000902000000000000070200000000000000000000");
    EXPECT_EQ(ParseLogItemCounts(op1),
              (LogItemCounts{0, 4095, 0, 0, 4087, 4087, 28, 2910, 0, 2070, 914, 521, 0, 519}));
    op1[8] = 1;
    EXPECT_FALSE(ParseLogItemCounts(op1)) << "status 1";
    op1[8] = 0;
    op1.pop_back();
    EXPECT_FALSE(ParseLogItemCounts(op1)) << "75 bytes";
    Bytes request(8);
    request.resize(BuildLogItemCountsRequest(request));
    EXPECT_EQ(request, HexBytes("7300000001000000"));

    const auto selected = [](const LogMask& m) {
        std::vector<unsigned> codes;
        for (unsigned code = 0; code < 0x10000; ++code) {
            codes.insert(codes.end(), m.Selects(std::uint16_t(code)) ? 1 : 0, code);
        }
        return codes;
    };
    const Bytes op3 = HexBytes(
        "7300000003000000000000000b00000009020000000000000000000000000000040000000000000000000000"
        "070000000f3c000000000000000000000000000000000080010080000000000000000000000000000000");
    const std::optional<LogMask> inForce = ParseLogMaskSetAnswer(op3);
    ASSERT_TRUE(inForce);
    EXPECT_EQ(
        (std::vector<unsigned>{inForce->equipment, inForce->bits, unsigned(inForce->mask.size())}),
        (std::vector<unsigned>{11, 521, 66}));
    EXPECT_EQ(selected(*inForce),
              (std::vector<unsigned>{0xB062, 0xB0C0, 0xB0C1, 0xB0C2, 0xB0E0, 0xB0E1, 0xB0E2, 0xB0E3,
                                     0xB0EA, 0xB0EB, 0xB0EC, 0xB0ED, 0xB17F, 0xB180, 0xB197}));
    EXPECT_FALSE(ParseLogMaskSetAnswer(std::span(op3).first(op3.size() - 1)));

    const std::uint16_t lte[] = {0xB0C2, 0xB17F, 0xB180, 0xB193};
    Bytes set(128);
    set.resize(BuildLogMaskSet(11, 521, lte, set));
    EXPECT_EQ(set.size(), 16U + 66U);
    EXPECT_EQ(selected(*ParseLogMaskSet(set)), std::vector<unsigned>(lte, lte + 4));
}

}  // namespace
}  // namespace norvane
