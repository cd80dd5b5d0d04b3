// The NR packets: the published measurement and identity packets against what a public decoder
// prints for them, the cell count of a layer, what is refused, and the writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "diag/log_decoder.h"
#include "jsonl/report_json.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

using test::Bytes;
using test::HexBytes;
using test::LogFrame;

// The cells as the public decoder prints them, one "NR-ARFCN PCI serving SSB RSRP RSRQ" each
// (serving "S" or "-", SSB "-" without a beam, values to two decimals), "; " between them.
std::string Printed(const NrMeasurement& m) {
    std::string s;
    for (std::size_t k = 0; k < m.count; ++k) {
        const NrMeasCell& c = m.cells[k];
        char line[96];
        std::snprintf(line, sizeof line, "%s%u %u %s %s %.2f %.2f", k == 0 ? "" : "; ", c.arfcn,
                      c.pci, c.serving ? "S" : "-", c.hasSsb ? std::to_string(c.ssb).c_str() : "-",
                      c.rsrp / 128.0, c.rsrq / 128.0);
        s += line;
    }
    return s;
}

struct MeasVector {
    const char* payload;
    const char* cells;
};

// Versions 2.7, 2.9, 2.10 and 3.0; cell counts from the count byte and from the serving cell
// index (the count byte 0 or 0xFF); layers with and without a serving PCI.
const MeasVector kMeasVectors[] = {
    {"070002000114000026ffffff44000000991006000100c602000000000000000000000000ffffffffffff0000ff"
     "ffffffc6027e000100000017caffff0afaffff000000000000000000000000a5a1dbbd4199a005a3bcffff17ca"
     "ffff17caffff0afaffff0000000000000000",
     "397465 710 S 0 -107.82 -11.92"},
    {"09000200000000000114000026ffffff44000000991006000100c602000000000000000000000000ffffffffff"
     "ff0000ffffffffc6027e000100000017caffff0afaffff000000000000000000000000a5a1dbbd4199a005a3bc"
     "ffff17caffff17caffff0afaffff0000000000000000",
     "397465 710 S 0 -107.82 -11.92"},
    {"070002000114000016040000f8ffffff11ef070001005500020000000000000000000000ffffffffffff0000ff"
     "ffffff5f00fe000400000064d0ffffa9faffff02000000000000000000000056efbfd9a266dd0e06d0ffff3bcd"
     "ffff06d0ffffacfaffff0000000000000000010000000000000000000000aed514d75244dd0e64d0ffff4dcdff"
     "ff64d0ffffa9faffff0000000000000000000000000000000000000000567115d5a22add0efecbffff8ac9ffff"
     "fecbffff73f9ffff00000000000000000500000000000000000000000e0910f752bc7d05c1caffffcfc8ffffc1"
     "caffffedf8ffff0000000000000000",
     "519953 95 - 2 -95.22 -10.68"},
    {"09000200000000000114000016040000f8ffffff11ef070001005500020000000000000000000000ffffffffff"
     "ff0000ffffffff5f00fe000400000064d0ffffa9faffff02000000000000000000000056efbfd9a266dd0e06d0"
     "ffff3bcdffff06d0ffffacfaffff0000000000000000010000000000000000000000aed514d75244dd0e64d0ff"
     "ff4dcdffff64d0ffffa9faffff0000000000000000000000000000000000000000567115d5a22add0efecbffff"
     "8ac9fffffecbffff73f9ffff00000000000000000500000000000000000000000e0910f752bc7d05c1caffffcf"
     "c8ffffc1caffffedf8ffff0000000000000000",
     "519953 95 - 2 -95.22 -10.68"},
    {"07000200010000001501000024056c00de93060002ffffffff0000000000000000000000ffffffffffff0000ff"
     "ffffff490370020100000080cbffff7ffaffff030000000000000000000000abc904f1024ac10ef9c6ffff90cb"
     "ffff000000000000000090cbffff87faffff84020e030100000080c5ffff40f6ffff0300000000000000000000"
     "004bc805f13a4ac10e65c5ffff41c4ffff000000000000000065c5ffff37f6ffff",
     "431070 841 - 3 -105.00 -11.01; 431070 644 - 3 -117.00 -19.50"},
    {"070002000114000084010000f9ffffffde9306000200dc0303000000ccc7ffffe8c7ffffffffffffffff0000ff"
     "ffffffdc03a002010000002fcafffff7f9ffff030000000000000000000000c722c408ce9948035bcaffff46c6"
     "ffff49cafffffcf9ffff0000000000000000db030e000100000008c8ffffc9f8ffff0300000000000000000000"
     "00c722c408ce994803d4c7ffff83c5ffff1ec8ffffc3f8ffff0000000000000000",
     "431070 988 S 3 -107.63 -12.07; 431070 987 - 3 -111.94 -14.43"},
    {"09000200008044a001000000d10600008f99f105de930600ff02ffffffff00000000000000000000ffffffffff"
     "ff0000ffffffffdc03600201000000edc6ffff25f8ffff030000000000000000000000438aa28f6f8c2100edc6"
     "ffffbac6ffff00000000000000000000000000000000db03600201000000c3c8ffff28f7ffff03000000000000"
     "00000000000f6fa38f778c2100c3c8ffffbec5ffff00000000000000000000000000000000",
     "431070 988 - 3 -114.15 -15.71; 431070 987 - 3 -110.48 -17.69"},
    {"090002000000d3090114000027070000000000005e63020000016203000300000000000000000000ffffffffff"
     "ff0000ffffffff62033a010100000047d0ffffa9faffff030000000000000000000000c93eaab40d9bd100d6c8"
     "ffff10d1ffff47d0ffffa9faffff0000000000000000",
     "156510 866 S 3 -95.45 -10.68"},
    {"0a0002000080706d01140000b5200000e7ffffff7b811f0000016e000002000000000000000000004600460196"
     "000000010000006e00ae010100000069e4ffffd2faffff020001004600460100000000989e9ce2d1ea86070ee0"
     "ffff28deffffd3faffffd4faffff00000000000000000000000000000000000000000000000000000000000000"
     "0083e1ffffd2faffff0000000000000000",
     "2064763 110 S 2 -55.18 -10.36"},
    {"0a0002000084f124011400009f090000fcffffffe0ca09000005c002010500007ed0ffff4ed0ffffffffffffff"
     "ff0000ffffffffbe0280000100000062c7ffff9ff9ffff000001000000000000000000e6e298874a33220782c9"
     "ffffdbc3fffffdf9ffff2af8ffff00000000000000000000000000000000000000000000000000000000000000"
     "0098c7ffffa8f9ffff0000000000000000c0029e000400000068d0ffffb4faffff050001000000000000000000"
     "86e1919efac4220726d0ffff21d0ffffa3faffffaffaffff000000000000000000000000000000000000000000"
     "000000000000000000000068d0ffffb4faffff0000000000000000040001000000000000000000863e516747ab"
     "22078dcbffffe1c9ffff59faffff7dfaffff000000000000000000000000000000000000000000000000000000"
     "0000000000c2caffff53faffff000000000000000003000100000000000000000086d91b95fa8822079acaffff"
     "74c8fffffaf9ffff18faffff0000000000000000000000000000000000000000000000000000000000000000a5"
     "c9ffffc0f9ffff00000000000000000600010000000000000000008646c77047e722073cc6ffff83c8ffff5ef7"
     "fffff4f9ffff0000000000000000000000000000000000000000000000000000000000000000dfc7ffff8bf9ff"
     "ff0000000000000000a3009000010000004dc6ffffd8f8ffff010001000000000000000000a6639058af4d2207"
     "fcc2ffff07c7ffffc1f4ffff34f9ffff0000000000000000000000000000000000000000000000000000000000"
     "0000004dc6ffffd8f8ffff0000000000000000da0390000100000050c6ffff04f9ffff02000100000000000000"
     "0000b6cbff5d2f702207d4c6ffffcdc4ffff4df8ffffa3f8ffff00000000000000000000000000000000000000"
     "0000000000000000000000000050c6ffff04f9ffff00000000000000008b0198000100000077c5ffffb2f7ffff"
     "01000100000000000000000096777d583f4d220784c3fffff8c5ffff70f5ffff2df8ffff000000000000000000"
     "000000000000000000000000000000000000000000000077c5ffffb2f7ffff0000000000000000",
     "641760 702 - 0 -113.23 -12.76; 641760 704 S 5 -95.19 -10.59; 641760 163 - 1 -115.40 -14.31; "
     "641760 986 - 2 -115.38 -13.97; 641760 395 - 1 -117.07 -16.61"},
    {"00000300000081b601000000ec010000f49bb8f1de930600ff02ffffffff000000000000000000000000000000"
     "000000ffffffffffff0000ffffffffa901da01010000001ec7ffff2dfaffff000001000000000000000000c37f"
     "a8613b8e260d1ec7ffffd1c6ffff2dfaffffa9f8ffff0000000000000000000000000000000000000000000000"
     "00000000000000000000000000000000001ec7ffff2dfaffffe701da010100000061c5ffffb6f8ffff00000100"
     "00000000000000009bfea7612b8e260d00b2ffffe1c6ffff80eaffffb6f8ffff00000000000000000000000000"
     "00000000000000000000000000000000000000000000000000000061c5ffffb6f8ffff",
     "431070 425 - 0 -113.77 -11.65; 431070 487 - 0 -117.24 -14.58"},
};

// The identity packets of versions 0.4, 3.2 and 3.3, and the lines they print.
const std::pair<const char*, const char*> kCellVectors[] = {
    {"040000009d02e0ca0900d6c609005a005a0000127df204000000060102010001297900004e00",
     R"({"type":"nr_cell","pci":669,"nr_arfcn_dl":641760,"nr_arfcn_ul":640726,"band":78,"bandwidth_dl_mhz":90,"bandwidth_ul_mhz":90,"cell_id":21248152064,"tac":31017,"mcc":"262","mnc":"01"})"},
    {"040000001a00a0a40900c492090050005000ca409b060000000006010202000094c000004e00",
     R"({"type":"nr_cell","pci":26,"nr_arfcn_dl":631968,"nr_arfcn_ul":627396,"band":78,"bandwidth_dl_mhz":80,"bandwidth_ul_mhz":80,"cell_id":110837962,"tac":49300,"mcc":"262","mnc":"02"})"},
    {"020003000101006203d580194800222f065e630200183502000a000a00d58019480000000006010202000096c000"
     "001c00",
     R"({"type":"nr_cell","pci":866,"nr_arfcn_dl":156510,"nr_arfcn_ul":144664,"band":28,"bandwidth_dl_mhz":10,"bandwidth_ul_mhz":10,"cell_id":1209630933,"tac":49302,"mcc":"262","mnc":"02"})"},
    {"030003000101004b0001c83b57252230001aee0100080e02000a000a0001c83b57050000002e0103dc00008eb921"
     "004700",
     R"({"type":"nr_cell","pci":75,"nr_arfcn_dl":126490,"nr_arfcn_ul":134664,"band":71,"bandwidth_dl_mhz":10,"bandwidth_ul_mhz":10,"cell_id":22938372097,"tac":2210190,"mcc":"302","mnc":"220"})"},
};

DecodedLogFrame Decode(std::uint16_t code, std::span<const std::uint8_t> payload) {
    return DecodeLogFrame(LogFrame(code, payload));
}

TEST(NrPackets, PublishedMeasurementsGiveThePrintedCells) {
    for (const MeasVector& v : kMeasVectors) {
        const DecodedLogFrame d = Decode(kNrMeasLogCode, HexBytes(v.payload));
        ASSERT_EQ(d.kind, LogFrameKind::NrMeas) << v.cells;
        EXPECT_EQ(Printed(d.nrMeas), v.cells);
    }
    // Exact values, and the radio of a dual-SIM modem right after the type.
    const Bytes frame = LogFrame(kNrMeasLogCode, HexBytes(kMeasVectors[5].payload));
    EXPECT_EQ(
        LogFrameJson(DecodeLogFrame(test::Wrapped(2, frame))).at(0),
        R"({"type":"nr_meas","sim":2,"cells":[)"
        R"({"nr_arfcn":431070,"pci":988,"serving":true,"ssb":3,"rsrp":-107.6328125,"rsrq":-12.0703125},)"
        R"({"nr_arfcn":431070,"pci":987,"serving":false,"ssb":3,"rsrp":-111.9375,"rsrq":-14.4296875}]})");
}

TEST(NrPackets, PublishedIdentitiesPrintTheirLines) {
    for (const auto& [payload, json] : kCellVectors) {
        EXPECT_EQ(LogFrameJson(Decode(kNrCellInfoLogCode, HexBytes(payload))).at(0), json);
    }
    // 3.0 is 3.2 without the three bytes before the PCI.
    Bytes v30 = HexBytes(kCellVectors[2].first);
    v30.erase(v30.begin() + 4, v30.begin() + 7);
    v30[0] = 0;
    EXPECT_EQ(LogFrameJson(Decode(kNrCellInfoLogCode, v30)).at(0), kCellVectors[2].second);
}

// A layer's cell count byte (the one-cell 2.9 vector's, at 24) against its serving cell index
// byte (at 25): the index counts only when the count byte is 0 or 0xFF and the index is 1..254.
TEST(NrPackets, CellCountFromTheServingCellIndex) {
    const struct {
        std::uint8_t count, index;
        int cells;  // -1: refused
    } cases[] = {{1, 0xFF, 1}, {0, 1, 1},    {0xFF, 1, 1},    {0, 0, 0},
                 {0, 0xFF, 0}, {0xFF, 0, 0}, {0xFF, 0xFF, 0}, {0, 2, -1}};
    for (const auto& c : cases) {
        Bytes p = HexBytes(kMeasVectors[7].payload);
        p[24] = c.count;
        p[25] = c.index;
        const DecodedLogFrame d = Decode(kNrMeasLogCode, p);
        EXPECT_EQ(d.kind == LogFrameKind::NrMeas ? d.nrMeas.count : -1, c.cells)
            << int(c.count) << " " << int(c.index);
        if (c.cells == 0) {
            EXPECT_EQ(LogFrameJson(d).at(0), R"({"type":"nr_meas","cells":[]})");
        }
    }
}

// Every packet cut short anywhere, a layer or cell count beyond the payload, more cells than a
// report holds, a version without a layout.
TEST(NrPackets, ShortCountsBeyondThePacketAndUnknownVersionsAreRefused) {
    const auto reason = [](std::uint16_t code, std::span<const std::uint8_t> p) {
        const DecodedLogFrame d = Decode(code, p);
        return d.kind == LogFrameKind::Other ? int(d.reason) : -1;
    };
    const int malformed = int(OtherReason::NotDecoded);
    for (const MeasVector& v : kMeasVectors) {
        SCOPED_TRACE(v.cells);
        Bytes p = HexBytes(v.payload);
        for (std::size_t n = 0; n < p.size(); ++n) {
            ASSERT_EQ(reason(kNrMeasLogCode, std::span(p).first(n)), malformed) << n;
        }
        const NrMeasLayout& l =
            *std::find_if(kNrMeasLayouts.begin(), kNrMeasLayouts.end(),
                          [&](const NrMeasLayout& m) { return m.version == LeU32(p, 0); });
        ++p[l.layerCount];
        EXPECT_EQ(reason(kNrMeasLogCode, p), malformed) << "a second layer";
        --p[l.layerCount];
        p[l.layers + l.cellCount] = std::uint8_t(Decode(kNrMeasLogCode, p).nrMeas.count + 1);
        EXPECT_EQ(reason(kNrMeasLogCode, p), malformed) << "one cell more";
        p[0] = 8;
        EXPECT_EQ(reason(kNrMeasLogCode, p), int(OtherReason::UnknownVersion));
    }
    for (const auto& [payload, json] : kCellVectors) {
        Bytes p = HexBytes(payload);
        EXPECT_EQ(reason(kNrCellInfoLogCode, std::span(p).first(p.size() - 1)), malformed) << json;
        p[2] = 1;  // 1.4, 1.2, 1.3
        EXPECT_EQ(reason(kNrCellInfoLogCode, p), int(OtherReason::UnknownVersion)) << json;
    }
    NrMeasurement m;
    m.version = NrVersion(2, 7);
    m.count = kNrMaxCells;
    Bytes f(4096);
    f.resize(WriteNrMeasurement(f, 0, m));
    Bytes p(f.begin() + kLogHeaderSize, f.end());
    EXPECT_EQ(reason(kNrMeasLogCode, p), -1) << "a full report";
    p[kNrMeasLayouts[1].layers + kNrMeasLayouts[1].cellCount] = kNrMaxCells + 1;
    p.resize(p.size() + kNrCellSize);
    EXPECT_EQ(reason(kNrMeasLogCode, p), malformed) << "one cell more than a report holds";
}

// Every version through the writer and back: two layers, a cell without a beam or values, the
// serving flag only where the layer has the cell's PCI as its serving PCI (not on a cell whose
// PCI is the 0xFFFF of a layer without one). Version 2.6's first layer comes right after its
// 8-byte header.
TEST(NrPackets, WrittenFramesDecodeToWhatWasWritten) {
    NrMeasurement m;
    m.count = 3;
    m.cells[0] = {632628, 501, true, true, 7, -13777, -1545};
    m.cells[1] = {632628, 17, false, false, 0, 0, 0};
    m.cells[2] = {151690, kNrNoPci, false, true, 63, -15000, -2000};
    for (const NrMeasLayout& l : kNrMeasLayouts) {
        m.version = l.version;
        Bytes f(1024);
        f.resize(WriteNrMeasurement(f, 0, m));
        ASSERT_GT(f.size(), 0U);
        const DecodedLogFrame d = DecodeLogFrame(f);
        ASSERT_EQ(d.kind, LogFrameKind::NrMeas);
        EXPECT_EQ(Printed(d.nrMeas), Printed(m));
        if (l.version == NrVersion(2, 6)) {
            EXPECT_EQ(LeU32(f, kLogHeaderSize + 8), 632628U);
        }
    }
    DecodedLogFrame frame;
    frame.kind = LogFrameKind::NrMeas;
    frame.nrMeas = m;
    EXPECT_NE(LogFrameJson(frame).at(0).find(R"({"nr_arfcn":632628,"pci":17,"serving":false})"),
              std::string::npos);
}

}  // namespace
}  // namespace norvane
