// Signalling packets: LTE RRC in every row of its version tables, the joiner, the NAS logs and
// WCDMA RRC in the old and new channel types, what each refuses, and their JSON lines and GSMTAP
// headers. (Names against Wireshark's: tests/captures/signalling_test.cpp.)
#include <gtest/gtest.h>

#include <memory>

#include "diag/gsmtap.h"
#include "diag/log_decoder.h"
#include "diag/rrc_tracker.h"
#include "jsonl/report_json.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

using test::Bytes, test::LogFrame;
const auto Hex = [](std::string_view text) { return test::HexBytes(text); };

std::string HexOf(std::span<const std::uint8_t> b) {
    std::string s;
    for (const std::uint8_t x : b) {
        s += "0123456789abcdef"[x >> 4];
        s += "0123456789abcdef"[x & 15];
    }
    return s;
}

// One payload per row of both tables (layout by version range; PDU numbers by version group),
// each on another channel, all with the PDU 4c10. The last is the public vector.
TEST(LteRrc, EveryRowOfTheVersionTables) {
    struct Case {
        const char* payload;
        SignallingChannel channel;
        std::uint32_t earfcn;
        const char* name;
    };
    using C = SignallingChannel;
    const Case cases[] = {
        // version | release | bearer | PCI | EARFCN | SFN word | PDU number | SIB mask | length
        {"02 0e00 01 3200 1914 16ad 01 0200 4c10", C::kBcchBch, 5145, "MasterInformationBlock"},
        {"07 0e00 01 3200 1914 16ad 07 00000000 0200 4c10", C::kUlCcch, 5145,
         "RRCConnectionRequest"},
        {"08 0e00 01 3200 e8030100 16ad 04 00000000 0200 4c10", C::kPcch, 66536, "Paging"},
        {"09 0e00 01 3200 e8030100 16ad 0b 00000000 0200 4c10", C::kPcch, 66536, "Paging"},
        {"14 0e00 01 3200 19140000 16ad 04 00000000 0200 4c10", C::kMcch, 5145,
         "MBSFNAreaConfiguration-r9"},
        {"13 0e00 01 3200 19140000 16ad 03 00000000 0200 4c10", C::kBcchDlSch, 5145,
         "SystemInformationBlockType1"},
        // v25 on: NR release after the LTE one
        {"19 0e00 0f00 01 3200 19140000 16ad 09 00000000 0200 4c10", C::kUlDcch, 5145,
         "ULInformationTransfer"},
        {"1a 0e00 0f00 01 3200 19140000 16ad 08 00000000 0200 4c10", C::kDlCcch, 5145,
         "RRCConnectionReject"},
        // v30 on: two unknown bytes and the segment id before the PDU
        {"1e112011400132001914000016ad090000000002000000004c10", C::kDlDcch, 5145,
         "UEInformationRequest-r9"},
    };
    for (const Case& c : cases) {
        const Bytes p = Hex(c.payload);
        SignallingMessage m;
        ASSERT_EQ(DecodeLteRrc(p, m), PacketDecode::kOk) << c.payload;
        EXPECT_EQ(m.channel, c.channel) << c.payload;
        EXPECT_EQ(m.direction, c.channel == C::kUlCcch || c.channel == C::kUlDcch
                                   ? SignallingDirection::kUplink
                                   : SignallingDirection::kDownlink);
        EXPECT_EQ(std::vector<std::uint32_t>({m.earfcn, m.pci, m.sfn, m.subframe}),
                  std::vector<std::uint32_t>({c.earfcn, 50, 0xAD1, 6}))
            << c.payload;
        EXPECT_EQ(HexOf(m.pdu), "4c10");
        EXPECT_EQ(m.pdu.data(), p.data() + p.size() - 2) << "a view into the payload";
        EXPECT_EQ(m.name, c.name);
    }
}

TEST(LteRrc, RefusedPackets) {
    const std::pair<const char*, PacketDecode> cases[] = {
        {"1e112011400132001914000016ad090000000003000000004c10", PacketDecode::kMalformed},
        {"1e112011400132001914000016ad090000000002000000084c10", PacketDecode::kMalformed},
        {"1e112011400132001914000016ad0900000000020000", PacketDecode::kMalformed},
        {"05 0e00 01 3200 1914 16ad 07 00000000 0200 4c10", PacketDecode::kUnknownVersion},
        {"20112011400132001914000016ad090000000002000000004c10", PacketDecode::kUnknownVersion},
        {"1e112011400132001914000016ad020000000002000000004c10", PacketDecode::kUnknownVersion},
        {"", PacketDecode::kMalformed},
    };
    for (const auto& [payload, want] : cases) {
        SignallingMessage m;
        EXPECT_EQ(DecodeLteRrc(Hex(payload), m), want) << payload;
    }
}

// Parts of messages on one channel, in the order given: what comes out and what is dropped.
TEST(LteRrc, PartsAreJoinedAndABrokenMessageIsDropped) {
    struct Case {
        std::vector<int> parts;  // segment ids; -1 a whole message on another channel
        std::vector<std::string> out;
        std::uint64_t dropped;
    };
    const Case cases[] = {
        {{1, 7}, {"4c01 4c07"}, 0},
        {{1, 2, 3, 4, 5, 6, 7}, {"4c01 4c02 4c03 4c04 4c05 4c06 4c07"}, 0},
        {{1, -1, 2, 7}, {"whole", "4c01 4c02 4c07"}, 0},
        {{1, 3, 4, 7, 1, 7}, {"4c01 4c07"}, 1},  // part 2 lost: 3 .. 7 passed over
        {{2, 7, 1, 1, 7}, {"4c01 4c07"}, 2},     // no first part; a first part never finished
        {{7, 1, 2}, {}, 1},                      // a message still coming is not yet dropped
    };
    const Bytes whole = Hex("1e112011400132001914000016ad030000000002000000004c10");
    for (const Case& c : cases) {
        auto joiner = std::make_unique<LteRrcJoiner>();
        std::vector<Bytes> payloads;
        std::vector<std::string> out;
        for (const int id : c.parts) {
            Bytes p = whole;
            if (id >= 0) {
                p[14] = 9;  // DL-DCCH
                p[23] = static_cast<std::uint8_t>(id);
                p[25] = static_cast<std::uint8_t>(id);
            }
            SignallingMessage m;
            ASSERT_EQ(DecodeLteRrc(p, m), PacketDecode::kOk);
            if (const auto joined = joiner->Add(m)) {
                out.push_back(joined->segment == 0 && id < 0 ? "whole" : HexOf(joined->pdu));
                if (id >= 0) {
                    EXPECT_EQ(joined->name, "UEInformationRequest-r9");
                    EXPECT_EQ(joined->earfcn, 5145U);
                }
            }
        }
        for (std::string& s : out) {  // "4c014c07" -> "4c01 4c07"
            for (std::size_t at = 4; s != "whole" && at < s.size(); at += 5) {
                s.insert(at, " ");
            }
        }
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(joiner->dropped(), c.dropped);
    }
}

// A message of each NAS log through DecodeLogFrame, and its JSON line; the WCDMA RRC packets of
// the old and the new channel types (the public vector), and blocks; then the refusals.
TEST(Signalling, NasAndWcdmaPacketsAndTheirJsonLines) {
    const std::tuple<std::uint16_t, const char*, LogFrameKind, const char*> cases[] = {
        {0xB0E2, "01090500 0201d9", LogFrameKind::Nas,
         R"({"type":"nas","rat":"lte","direction":"dl","message":"ESM information request","pdu":"0201d9"})"},
        {0xB0E3, "01090500 5201da00", LogFrameKind::Nas,
         R"({"type":"nas","rat":"lte","direction":"ul","message":"ESM information response","pdu":"5201da00"})"},
        {0xB0EC, "01090500 074200", LogFrameKind::Nas,
         R"({"type":"nas","rat":"lte","direction":"dl","message":"Attach accept","pdu":"074200"})"},
        {0xB0ED, "01090500 17010203040507410a", LogFrameKind::Nas,
         R"({"type":"nas","rat":"lte","direction":"ul","message":"Attach request","pdu":"17010203040507410a"})"},
        {0xB0ED, "01090500 c7012345", LogFrameKind::Nas,
         R"({"type":"nas","rat":"lte","direction":"ul","message":"Service request","pdu":"c7012345"})"},
        {0xB0EC, "01090500 2701020304050742", LogFrameKind::Nas,
         R"({"type":"nas","rat":"lte","direction":"dl","message":"","pdu":"2701020304050742"})"},
        {0x412F, "01 05 0200 2000", LogFrameKind::Rrc,
         R"({"type":"rrc","rat":"wcdma","direction":"ul","channel":"UL-DCCH","message":"MeasurementReport","pdu":"2000"})"},
        {0x412F, "84281f00a7298d01a143f686e52a22282f36928cc1852026d2519830afacda4a330614909b4944",
         LogFrameKind::Rrc,
         R"({"type":"rrc","rat":"wcdma","direction":"dl","channel":"BCCH-BCH","message":"SystemInformation-BCH","uarfcn":10663,"psc":397,"pdu":"a143f686e52a22282f36928cc1852026d2519830afacda4a330614909b4944"})"},
        {0x412F, "09 00 0300 03 abcd", LogFrameKind::Rrc,
         R"({"type":"rrc","rat":"wcdma","direction":"dl","channel":"SIB","message":"SysInfoType 3","pdu":"abcd"})"},
        {0x412F, "fe 00 0200 1f ab", LogFrameKind::Rrc,
         R"({"type":"rrc","rat":"wcdma","direction":"dl","channel":"SIB","message":"SysInfoType 11bis","pdu":"ab"})"},
        {0x412F, "89 00 0200 a729 8d01 1f ab", LogFrameKind::Rrc,
         R"({"type":"rrc","rat":"wcdma","direction":"dl","channel":"SIB","message":"SysInfoType 19","uarfcn":10663,"psc":397,"pdu":"ab"})"},
        {0xB0C0, "1e112011400132001914000016ad090000000002000000004c10", LogFrameKind::Rrc,
         R"({"type":"rrc","rat":"lte","direction":"dl","channel":"DL-DCCH","message":"UEInformationRequest-r9","earfcn":5145,"pci":50,"pdu":"4c10"})"},
        {0xB0C0, "1e112011400132001914000016ad090000000002000000014c10", LogFrameKind::RrcSegment,
         ""},
        // Refused: length beyond the packet, unknown channel type, unknown or no block type,
        // an empty NAS message.
        {0x412F, "01 05 0300 2000", LogFrameKind::Other, ""},
        {0x412F, "0b 05 0200 2000", LogFrameKind::Other, "unknown"},
        {0x412F, "09 00 0200 28 ab", LogFrameKind::Other, "unknown"},
        {0x412F, "09 00 0000", LogFrameKind::Other, ""},
        {0xB0ED, "01090500", LogFrameKind::Other, ""},
    };
    for (const auto& [code, payload, kind, json] : cases) {
        Bytes frame = LogFrame(code, Hex(payload));
        const DecodedLogFrame d = DecodeLogFrame(frame);
        EXPECT_EQ(d.kind, kind) << payload;
        if (kind == LogFrameKind::Other) {
            EXPECT_EQ(d.reason, std::string_view(json) == "unknown" ? OtherReason::UnknownVersion
                                                                    : OtherReason::NotDecoded)
                << payload;
        } else {
            const std::vector<std::string> lines = LogFrameJson(d);
            EXPECT_EQ(lines.empty() ? std::string() : lines[0], json) << payload;
        }
    }
    // From a dual-SIM modem: "sim" after "type".
    Bytes wrapped(kMultiSimHeaderSize);
    PutMultiSimHeader(std::span(wrapped).first<kMultiSimHeaderSize>(), 2);
    const Bytes nas = LogFrame(0xB0EC, Hex("01090500 074200"));
    wrapped.insert(wrapped.end(), nas.begin(), nas.end());
    EXPECT_EQ(
        LogFrameJson(DecodeLogFrame(wrapped)).at(0),
        R"({"type":"nas","sim":2,"rat":"lte","direction":"dl","message":"Attach accept","pdu":"074200"})");
}

// Type, ARFCN with the uplink bit, frame number and sub-type of each kind of message.
TEST(Signalling, GsmtapHeaders) {
    const std::tuple<std::uint16_t, const char*, const char*> packets[] = {
        {0xB0C0, "1e112011400132001914000016ad090000000002000000004c10",
         "02040d00141900000000 0ad1 01000000"},
        {0xB0C0, "1a 0e00 0f00 01 3200 e8030100 16ad 0b 00000000 0200 4c10",
         "02040d00400000000000 0ad1 03000000"},  // EARFCN beyond 14 bits: 0
        {0x412F, "81 05 0200 a729 8d01 2000", "02040c0069a700000000 0000 01000000"},
        {0x412F, "89 00 0200 a729 8d01 1f ab", "02040c0029a700000000 0000 36000000"},
        {0xB0ED, "01090500 0741", "020412004000000000000000 00000000"},
    };
    for (const auto& [code, payload, header] : packets) {
        const DecodedLogFrame d = DecodeLogFrame(LogFrame(code, Hex(payload)));
        const auto h = SignallingGsmtapHeader(d.signalling);
        ASSERT_TRUE(h) << payload;
        EXPECT_EQ(HexOf(*h), HexOf(Hex(header))) << payload;
    }
    SignallingMessage lteOnWcdmaChannel;
    lteOnWcdmaChannel.channel = SignallingChannel::kBcchFach;
    EXPECT_FALSE(SignallingGsmtapHeader(lteOnWcdmaChannel));
}

// What the writers write reads back as it was written: LTE RRC in every version of the tables on
// each channel (a part of a message from version 30 on), the NAS log of each direction and
// protocol, WCDMA RRC with and without the cell, and a block; what has no layout is refused.
TEST(Signalling, WritersReadBack) {
    const Bytes pdu = Hex("220201009c040790");
    const Bytes emm = Hex("07410b"), esm = Hex("5202d0");
    std::vector<SignallingMessage> written;
    std::vector<Bytes> frames;
    const auto write = [&](SignallingMessage m, auto writer) {
        frames.emplace_back(300);
        frames.back().resize(writer(frames.back(), m));
        written.push_back(m);
    };
    for (const LteRrcPduNumbers& row : kLteRrcPduNumbers) {
        for (const std::uint8_t version : row.versions) {
            for (std::size_t c = 0; version != 0 && c < kLteRrcChannels.size(); ++c) {
                SignallingMessage m;
                m.channel = kLteRrcChannels[c];
                m.direction =
                    c >= 6 ? SignallingDirection::kUplink : SignallingDirection::kDownlink;
                m.earfcn = version < 8 ? 5780 : 66536;  // 16 bits before version 8
                m.pci = 0x17E;
                m.sfn = 0xAD1;
                m.subframe = 6;
                m.segment = version >= 30 ? 3 : 0;
                m.pdu = pdu;
                write(m, [&](std::span<std::uint8_t> out, const auto& w) {
                    return WriteLteRrc(out, 0, version, w);
                });
            }
        }
    }
    for (const Bytes* nas : {&emm, &esm}) {
        for (const auto direction :
             {SignallingDirection::kUplink, SignallingDirection::kDownlink}) {
            SignallingMessage m;
            m.protocol = SignallingProtocol::kNas;
            m.direction = direction;
            m.pdu = *nas;
            write(m, [](std::span<std::uint8_t> out, const auto& w) {
                return WriteLteNas(out, 0, w);
            });
        }
    }
    for (const bool cell : {false, true}) {
        for (const WcdmaBlock block : {WcdmaBlock::kNone, WcdmaBlock::kSib3}) {
            SignallingMessage m;
            m.rat = SignallingRat::kWcdma;
            m.channel =
                block == WcdmaBlock::kNone ? SignallingChannel::kDlDcch : SignallingChannel::kSib;
            m.block = block;
            m.hasUarfcn = cell;
            m.uarfcn = cell ? 10663 : 0;
            m.psc = cell ? 397 : 0;
            m.pdu = pdu;
            write(m, [](std::span<std::uint8_t> out, const auto& w) {
                return WriteWcdmaRrc(out, 0, w);
            });
        }
    }
    std::vector<std::uint16_t> nasCodes;
    for (std::size_t k = 0; k < written.size(); ++k) {
        const SignallingMessage& w = written[k];
        const DecodedLogFrame d = DecodeLogFrame(frames[k]);
        ASSERT_NE(d.kind, LogFrameKind::Other) << k;
        const SignallingMessage& r = d.signalling;
        EXPECT_EQ(std::tuple(r.protocol, r.rat, r.direction, r.channel, r.block, r.earfcn, r.pci,
                             r.sfn, r.subframe, r.segment, r.hasUarfcn, r.uarfcn, r.psc),
                  std::tuple(w.protocol, w.rat, w.direction, w.channel, w.block, w.earfcn, w.pci,
                             w.sfn, w.subframe, w.segment, w.hasUarfcn, w.uarfcn, w.psc))
            << k;
        EXPECT_EQ(HexOf(r.pdu), HexOf(w.pdu)) << k;
        if (w.protocol == SignallingProtocol::kNas) {
            nasCodes.push_back(static_cast<std::uint16_t>(LeU16(frames[k], kLogCodeOffset)));
        }
    }
    EXPECT_EQ(nasCodes, (std::vector<std::uint16_t>{0xB0ED, 0xB0EC, 0xB0E3, 0xB0E2}));
    Bytes out(300);
    SignallingMessage wcdmaOnly;
    wcdmaOnly.channel = SignallingChannel::kBcchFach;
    EXPECT_EQ(WriteLteRrc(out, 0, 26, wcdmaOnly), 0U);
    EXPECT_EQ(WriteLteRrc(out, 0, 5, written[0]), 0U);  // no PDU numbers of version 5
    EXPECT_EQ(WriteLteRrc(std::span(out).first(30), 0, 26, written[0]), 0U);
}

// A stream of messages as a view sees them: the RRC state each leaves, and the handovers (a
// reconfiguration answered on another cell; one answered on its own cell, or never, is none).
TEST(RrcTracker, StateAndHandovers) {
    using C = SignallingChannel;
    using K = RrcEvent::Kind;
    const struct {
        SignallingRat rat;
        C channel;
        std::string_view name;
        std::uint16_t pci;
        std::uint32_t earfcn;
        K event;
        RrcState state;
        std::string_view text;  // of a handover
    } steps[] = {
        {SignallingRat::kLte, C::kPcch, "Paging", 212, 1300, K::kNone, RrcState::kUnknown, ""},
        {SignallingRat::kLte, C::kDlCcch, "RRCConnectionSetup", 212, 1300, K::kConnected,
         RrcState::kConnected, ""},
        {SignallingRat::kLte, C::kDlDcch, "RRCConnectionReconfiguration", 212, 1300, K::kNone,
         RrcState::kConnected, ""},
        {SignallingRat::kLte, C::kUlDcch, "RRCConnectionReconfigurationComplete", 212, 1300,
         K::kNone, RrcState::kConnected, ""},
        {SignallingRat::kLte, C::kDlDcch, "RRCConnectionReconfiguration", 212, 1300, K::kNone,
         RrcState::kConnected, ""},
        {SignallingRat::kLte, C::kUlDcch, "MeasurementReport", 212, 1300, K::kNone,
         RrcState::kConnected, ""},
        {SignallingRat::kLte, C::kUlDcch, "RRCConnectionReconfigurationComplete", 185, 1300,
         K::kHandover, RrcState::kConnected, "Handover PCI 212 \u2192 185"},
        {SignallingRat::kLte, C::kUlDcch, "RRCConnectionReconfigurationComplete", 193, 1300,
         K::kNone, RrcState::kConnected, ""},  // answers nothing
        {SignallingRat::kLte, C::kDlDcch, "RRCConnectionReconfiguration", 185, 1300, K::kNone,
         RrcState::kConnected, ""},
        {SignallingRat::kLte, C::kUlDcch, "RRCConnectionReconfigurationComplete", 185, 3050,
         K::kHandover, RrcState::kConnected,
         "Handover PCI 185 \u2192 185, EARFCN 1300 \u2192 3050"},
        {SignallingRat::kLte, C::kDlDcch, "RRCConnectionReconfiguration", 185, 3050, K::kNone,
         RrcState::kConnected, ""},
        {SignallingRat::kLte, C::kDlDcch, "RRCConnectionRelease", 185, 3050, K::kIdle,
         RrcState::kIdle, ""},
        {SignallingRat::kLte, C::kUlDcch, "RRCConnectionReconfigurationComplete", 17, 3050,
         K::kConnected, RrcState::kConnected, ""},  // the release ended the reconfiguration
        {SignallingRat::kWcdma, C::kDlCcch, "RRCConnectionReject", 0, 0, K::kIdle, RrcState::kIdle,
         ""},
        {SignallingRat::kWcdma, C::kUlDcch, "MeasurementReport", 0, 0, K::kConnected,
         RrcState::kConnected, ""},
        {SignallingRat::kWcdma, C::kUlDcch, "RRCConnectionReleaseComplete", 0, 0, K::kIdle,
         RrcState::kIdle, ""},
    };
    RrcTracker tracker;
    int k = 0;
    for (const auto& s : steps) {
        SignallingMessage m;
        m.rat = s.rat;
        m.channel = s.channel;
        m.name = s.name;
        m.pci = s.pci;
        m.earfcn = s.earfcn;
        const RrcEvent e = tracker.Add(m);
        EXPECT_EQ(e.kind, s.event) << "step " << k;
        EXPECT_EQ(tracker.state(), s.state) << "step " << k++;
        std::array<char, 64> text{};
        EXPECT_EQ(std::string_view(text.data(), e.kind == K::kHandover ? HandoverText(e, text) : 0),
                  s.text);
    }
    std::array<char, 26> tooShort{};
    EXPECT_EQ(HandoverText({K::kHandover, 212, 185, 1300, 3050}, tooShort), 0U);
}

}  // namespace
}  // namespace norvane
