// The bytes on the wire: CRC, HDLC framing, the stored command frames and the hex codec.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>

#include "diag/log_decoder.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/frames.h"

namespace norvane {
namespace {

using test::Bytes, test::EncodeFrame;
using Status = HdlcDeframer::Status;
using Events = std::vector<std::pair<Status, Bytes>>;
const Events::value_type kBad{Status::kBadFcs, {}}, kOver{Status::kOverflow, {}};
const auto F = [](Bytes p) { return Events::value_type{Status::kFrame, std::move(p)}; };

// Feeds `stream` through a fresh deframer in pieces of `first` bytes, then `rest` bytes each.
Events Deframe(const Bytes& stream, std::size_t first, std::size_t rest) {
    auto d = std::make_unique<HdlcDeframer>();
    Events r;
    for (std::size_t at = 0, n = first; at < stream.size(); at += n, n = rest) {
        n = std::min(n, stream.size() - at);
        for (auto in = std::span(stream).subspan(at, n); !in.empty();) {
            const auto [status, consumed] = d->Feed(in);
            if (status != Status::kNeedMore) {
                const auto p = status == Status::kFrame ? d->Payload() : in.first(0);
                r.emplace_back(status, Bytes(p.begin(), p.end()));
            }
            in = in.subspan(consumed);
        }
    }
    return r;
}

// `p` changed until the high byte of its CRC, the last before the flag, is escaped on the wire.
Bytes EscapedCrc(Bytes p) {
    for (unsigned v = 0; (Crc16X25(p) >> 8) != kHdlcEscape; ++v) {
        p[0] = v & 0xFF;
        p[1] = v >> 8;
    }
    return p;
}

TEST(HdlcDeframer, StreamsGiveTheSameEventsInEveryPieceSize) {
    const Bytes cell = test::CellList(0, 52400 * 1000, {test::Cell()});
    const Bytes escapes{0x7E, 0x7D, 0x7E, 0x5E, 0x5D, 0x7D};
    const Bytes other = test::OtherLogPayload(300, 7);
    Bytes corrupt = EncodeFrame(cell);
    corrupt[20] ^= 0x01;
    Bytes dangling = EncodeFrame({0x10, 0x20});  // an escape right before the flag is dropped
    dangling.insert(dangling.end() - 1, kHdlcEscape);
    // Flags alone, a bad CRC, frames of one byte and of two (the CRC of nothing).
    const Bytes mixed = test::Concat(
        {Bytes{0x7E}, EncodeFrame(cell), Bytes{0x7E, 0x7E}, EncodeFrame(escapes), corrupt,
         Bytes{0x01, 0x7E, 0x00, 0x00, 0x7E}, dangling, EncodeFrame(other), EncodeFrame({0x00})});
    Bytes garbage(3 * kFrameBufferSize, 0x55);  // no flag for three buffers, an escape inside
    garbage[100] = kHdlcEscape;
    const Bytes largest(kFrameBufferSize - 2, 0x11);  // its CRC is 0x34BA: no escape
    const Bytes largestEscaped = EscapedCrc(largest);
    const std::pair<Bytes, Events> cases[] = {
        {mixed, {F(cell), F(escapes), kBad, kBad, kBad, F({0x10, 0x20}), F(other), F({0x00})}},
        {test::Concat({garbage, Bytes{0x7E}, EncodeFrame(cell)}), {kOver, F(cell)}},
        {test::Concat({EncodeFrame(largest), EncodeFrame(largestEscaped)}),
         {F(largest), F(largestEscaped)}},
        {test::Concat({EncodeFrame(Bytes(kFrameBufferSize - 1, 0x11)), EncodeFrame(cell)}),
         {kOver, F(cell)}}};
    for (const auto& [stream, want] : cases) {
        for (const std::size_t piece : {SIZE_MAX, std::size_t{1}, std::size_t{333}}) {
            ASSERT_EQ(Deframe(stream, piece, piece), want) << "pieces of " << piece;
        }
        for (std::size_t k = 1; stream.size() < 2000 && k < stream.size(); ++k) {
            ASSERT_EQ(Deframe(stream, k, SIZE_MAX), want) << "split at " << k;
        }
    }
}

TEST(HdlcDeframer, ReadingAndDecodingAllocateNothing) {
    const Bytes stream = test::RealisticStream(500);
    auto d = std::make_unique<HdlcDeframer>();
    std::size_t reports = 0;
    const std::size_t before = test::AllocationCount();
    for (auto in = std::span(stream); !in.empty();) {
        const auto [status, consumed] = d->Feed(in.first(std::min<std::size_t>(4096, in.size())));
        in = in.subspan(consumed);
        reports +=
            status == Status::kFrame && DecodeLogFrame(d->Payload()).kind != LogFrameKind::Other;
    }
    EXPECT_EQ(test::AllocationCount() - before, 0U);
    EXPECT_GT(reports, 250U);
}

// The payload of a stored frame, read back with the deframer (so its CRC and escapes are right).
Bytes PayloadOf(std::string_view stored) {
    const Bytes wire = test::StoredBytes(stored);
    auto d = std::make_unique<HdlcDeframer>();
    const HdlcDeframer::Step step = d->Feed(wire);
    EXPECT_TRUE(step.status == Status::kFrame && step.consumed == wire.size()) << "one flag, last";
    return Bytes(d->Payload().begin(), d->Payload().end());
}

// Each stored row and the probe is its payload framed with the right check sequence (the
// encoder's CRC, pinned by the standard check value) and fits no smaller buffer.
TEST(DiagCommandTable, EveryFrameIsItsPayloadEncodedWithTheRightCrc) {
    for (std::size_t r = 0; r <= kDiagCommandCount; ++r) {
        const auto text = r < kDiagCommandCount ? DiagCommandTable[r].strFrame : DiagProbeFrame;
        const Bytes wire = test::StoredBytes(text), payload = PayloadOf(text);
        EXPECT_EQ(EncodeFrame(payload), wire) << "row " << r;
        Bytes out(wire.size() - 1);
        EXPECT_EQ(HdlcEncode(payload, out), 0U);
    }
    EXPECT_EQ(PayloadOf(DiagProbeFrame), (Bytes{0x7B, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(Crc16X25(Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x906E);
}

// The codes a log-mask payload selects, read with the shared parser.
std::vector<unsigned> MaskedLogCodes(const Bytes& payload) {
    const std::optional<LogMask> mask = ParseLogMaskSet(payload);
    EXPECT_TRUE(mask && payload.size() == kLogConfigMaskOffset + mask->mask.size());
    std::vector<unsigned> codes;
    for (unsigned code = 0; mask && code < 0x10000; ++code) {
        if (mask->Selects(code)) {
            codes.push_back(code);
        }
    }
    return codes;
}

TEST(DiagCommandTable, LogMaskRowsSelectTheTwoDecodedPackets) {
    const Bytes sarPa = PayloadOf(DiagCommandTable[8].strFrame);
    Bytes cells = PayloadOf(DiagCommandTable[10].strFrame);
    EXPECT_EQ(MaskedLogCodes(sarPa), std::vector<unsigned>{0x117C});
    EXPECT_EQ(MaskedLogCodes(PayloadOf(DiagCommandTable[9].strFrame)), std::vector<unsigned>{});
    EXPECT_EQ(MaskedLogCodes(cells), std::vector<unsigned>{0x4005});
    // The builder makes the stored rows again, and refuses a code beyond its mask.
    Bytes built(300);
    EXPECT_EQ(BuildLogMaskSet(4, 5, std::span(&kCellListLogCode, 1), built), 0U);
    built.resize(BuildLogMaskSet(1, 0x03C1, std::span(&kSarPaLogCode, 1), built));
    EXPECT_EQ(built, sarPa);
    built.resize(300);
    built.resize(BuildLogMaskSet(4, 0x077D, std::span(&kCellListLogCode, 1), built));
    EXPECT_EQ(built, cells);
    cells.back() |= 0xE0;  // bits past the count (0x077D) select nothing
    EXPECT_EQ(MaskedLogCodes(cells), std::vector<unsigned>{0x4005});
    cells.pop_back();  // a mask shorter than its bit count
    EXPECT_FALSE(ParseLogMaskSet(cells).has_value());
    // The shortest: a set-mask of no bits (16 bytes), an operation-1 request or answer (8 bytes).
    built.resize(BuildLogMaskSet(1, 0, {}, built));
    EXPECT_EQ(MaskedLogCodes(built), std::vector<unsigned>{});
    EXPECT_FALSE(ParseLogMaskSet(std::span(built).first(15)));
    const Bytes op1{kLogConfigCommand, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(LogConfigOperation(op1), 1U);
    EXPECT_FALSE(LogConfigOperation(std::span(op1).first(7)));
}

// A text into `capacity` bytes and a guard: the length given and the first bytes. An odd last
// digit is dropped, a pair reads its leading hex digits, what does not fit is refused whole.
TEST(HexTextToBytes, PairsLimitsAndTheCallersCapacity) {
    const std::string longest(2 * kHexCodecMaxBytes + 1, 'F');
    const std::tuple<std::string, std::size_t, std::size_t, Bytes> cases[] = {
        {"0078F07E", 16, 4, {0x00, 0x78, 0xF0, 0x7E, 0x00, 0xAA}},
        {"", 4, 0, {0x00, 0xAA}},
        {"7GG7ZZffa1 1", 16, 6, {0x07, 0x00, 0x00, 0xFF, 0xA1, 0x00, 0x00}},
        {"0078F07E", 5, 4, {0x00, 0x78, 0xF0, 0x7E, 0x00}},
        {"0078F07E", 4, 0, {0x00, 0xAA, 0xAA, 0xAA}},
        {"0078F07E", 0, 0, {}},
        {longest, kFrameBufferSize, kHexCodecMaxBytes, {0xFF}},
        {longest + "F", kFrameBufferSize, 0, {0x00, 0xAA}}};
    for (const auto& [text, capacity, bytes, start] : cases) {
        Bytes area(capacity + 16, 0xAA);
        std::size_t length = text.size();
        HexTextToBytes(text.data(), length, area.data(), capacity);
        EXPECT_EQ(length, bytes) << text.substr(0, 12) << " into " << capacity;
        EXPECT_TRUE(std::equal(start.begin(), start.end(), area.begin())) << capacity;
        EXPECT_EQ(area[bytes], capacity > 0 ? 0x00 : 0xAA);
        EXPECT_EQ(std::count(area.begin() + capacity, area.end(), 0xAA), 16);
    }
    Bytes out{0x55, 0x55, 0x55, 0x55};  // stored texts too long for the buffer or for the codec
    EXPECT_EQ(StoredFrameToBytes(DiagCommandTable[3].strFrame, out), 0U);
    EXPECT_EQ(out, (Bytes{0x00, 0x55, 0x55, 0x55}));
    out.resize(kFrameBufferSize, 0x55);
    out[0] = 0x55;
    EXPECT_EQ(StoredFrameToBytes(std::string(30000, 'A'), out), 0U);
    EXPECT_EQ(out[0], 0x00);
}

}  // namespace
}  // namespace norvane
