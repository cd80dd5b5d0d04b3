// The bytes on the wire: CRC, HDLC framing, the stored command frames and the hex codec.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "diag/log_decoder.h"
#include "tests/support/frames.h"
#include "tests/unit/alloc_counter.h"

namespace norvane {
namespace {

using test::Bytes;
using test::EncodeFrame;
using Status = HdlcDeframer::Status;
using Events = std::vector<std::pair<Status, Bytes>>;
const Events::value_type kBad{Status::kBadFcs, {}}, kOver{Status::kOverflow, {}};

Events::value_type F(Bytes p) {
    return {Status::kFrame, std::move(p)};
}

// Feeds `stream` through a fresh deframer in pieces of `first` bytes, then `rest` bytes each.
Events Deframe(const Bytes& stream, std::size_t first, std::size_t rest) {
    auto d = std::make_unique<HdlcDeframer>();
    Events r;
    for (std::size_t at = 0, n = first; at < stream.size(); at += n, n = rest) {
        n = std::min(n, stream.size() - at);
        for (auto in = std::span(stream).subspan(at, n); !in.empty();) {
            const auto [status, consumed] = d->Feed(in);
            EXPECT_TRUE(consumed >= 1 && consumed <= in.size());
            EXPECT_TRUE(status != Status::kNeedMore || consumed == in.size());
            if (status != Status::kNeedMore) {
                const auto p = status == Status::kFrame ? d->Payload() : std::span<std::uint8_t>{};
                r.emplace_back(status, Bytes(p.begin(), p.end()));
            }
            in = in.subspan(consumed);
        }
    }
    return r;
}

// `p` with its first two bytes changed until the last byte before the flag, the high byte of its
// CRC, is escaped on the wire.
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
    const Bytes shortCrc = EscapedCrc({0, 0, 0x10});
    const Bytes other = test::OtherLogPayload(300, 7);
    Bytes corrupt = EncodeFrame(cell);
    corrupt[20] ^= 0x01;
    Bytes dangling = EncodeFrame({0x10, 0x20});  // an escape right before the flag is dropped
    dangling.insert(dangling.end() - 1, kHdlcEscape);
    // Flags alone, a bad CRC, frames of one byte and of two (the CRC of nothing).
    const Bytes mixed =
        test::Concat({Bytes{0x7E}, EncodeFrame(cell), Bytes{0x7E, 0x7E}, EncodeFrame(escapes),
                      corrupt, Bytes{0x01, 0x7E, 0x00, 0x00, 0x7E}, EncodeFrame(shortCrc), dangling,
                      EncodeFrame(other), EncodeFrame({0x00})});
    Bytes garbage(3 * kFrameBufferSize, 0x55);  // no flag for three buffers, an escape inside
    garbage[100] = kHdlcEscape;
    const Bytes largest(kFrameBufferSize - 2, 0x11);  // its CRC is 0x34BA: no escape
    const Bytes largestEscaped = EscapedCrc(largest);
    const struct {
        Bytes stream;
        Events want;
    } cases[] = {
        {mixed,
         {F(cell), F(escapes), kBad, kBad, kBad, F(shortCrc), F({0x10, 0x20}), F(other),
          F({0x00})}},
        {test::Concat({garbage, Bytes{0x7E}, EncodeFrame(cell)}), {kOver, F(cell)}},
        {test::Concat({EncodeFrame(largest), EncodeFrame(largestEscaped)}),
         {F(largest), F(largestEscaped)}},
        {test::Concat({EncodeFrame(Bytes(kFrameBufferSize - 1, 0x11)), EncodeFrame(cell)}),
         {kOver, F(cell)}},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {SIZE_MAX, std::size_t{1}, std::size_t{333}}) {
            ASSERT_EQ(Deframe(c.stream, piece, piece), c.want) << "pieces of " << piece;
        }
        for (std::size_t k = 1; c.stream.size() < 2000 && k < c.stream.size(); ++k) {
            ASSERT_EQ(Deframe(c.stream, k, SIZE_MAX), c.want) << "split at " << k;
        }
    }
}

TEST(HdlcDeframer, ResetDropsAnUnfinishedFrameAndReadingAllocatesNothing) {
    const Bytes wire = EncodeFrame({0x10, 0x7D, 0x20, 0x30});
    auto d = std::make_unique<HdlcDeframer>();
    EXPECT_EQ(d->Feed({wire.data(), 3}).status, Status::kNeedMore);
    d->Reset();
    EXPECT_EQ(d->Feed(wire).status, Status::kFrame);
    EXPECT_EQ(d->Payload().size(), 4U);

    const Bytes stream = test::RealisticStream(500);
    std::size_t frames = 0, reports = 0;
    const std::size_t before = test::AllocationCount();
    for (auto in = std::span(stream); !in.empty();) {
        const auto [status, consumed] = d->Feed(in.first(std::min<std::size_t>(4096, in.size())));
        in = in.subspan(consumed);
        frames += status == Status::kFrame;
        reports +=
            status == Status::kFrame && DecodeLogFrame(d->Payload()).kind != LogFrameKind::Other;
    }
    EXPECT_EQ(test::AllocationCount() - before, 0U);
    EXPECT_EQ(frames, 500U);
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

// Wire size, payload size and CRC of each stored row, then of the probe: a wrong byte anywhere
// changes one of them; and each is its payload as the encoder frames it.
TEST(DiagCommandTable, EveryFrameIsItsPayloadEncodedWithTheRightCrc) {
    const unsigned rows[kDiagCommandCount + 1][3] = {
        {4, 1, 0xF078},     {4, 1, 0xF078},     {4, 1, 0xF078},     {7, 4, 0xD30D},
        {15, 12, 0x4BF5},   {23, 20, 0x3900},   {75, 72, 0xE8E0},   {140, 137, 0xB938},
        {140, 137, 0x3E0B}, {260, 256, 0xC32C}, {260, 256, 0x3119}, {535, 524, 0x18E8},
        {538, 524, 0xCEB4}, {542, 524, 0xE076}, {11, 8, 0x5034},    {14, 11, 0x5F9D}};
    for (std::size_t r = 0; r <= kDiagCommandCount; ++r) {
        const auto text = r < kDiagCommandCount ? DiagCommandTable[r].strFrame : DiagProbeFrame;
        const Bytes wire = test::StoredBytes(text), payload = PayloadOf(text);
        EXPECT_EQ((std::vector<unsigned>{unsigned(wire.size()), unsigned(payload.size()),
                                         Crc16X25(payload)}),
                  (std::vector<unsigned>(rows[r], rows[r] + 3)))
            << "row " << r;
        EXPECT_EQ(EncodeFrame(payload), wire) << "row " << r;
        Bytes out(wire.size() - 1);  // the encoder needs room for every byte
        EXPECT_EQ(HdlcEncode(payload, out), 0U);
    }
    EXPECT_EQ(PayloadOf(DiagProbeFrame), (Bytes{0x7B, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(Crc16X25(Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x906E);
    EXPECT_EQ(FindCommandRow("ON Cell RSSI"), &DiagCommandTable[10]);
    EXPECT_EQ(FindCommandRow("on cell rssi"), nullptr);
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
}

// A text into `capacity` bytes and a guard: the length given and the first bytes (terminating
// zero and untouched 0xAA included).
TEST(HexTextToBytes, PairsLimitsAndTheCallersCapacity) {
    const std::string longest(2 * kHexCodecMaxBytes + 1, 'F');  // an odd last digit is dropped
    const struct {
        std::string text;
        std::size_t capacity, length;
        Bytes start;
    } cases[] = {
        {"0078F07E", 16, 4, {0x00, 0x78, 0xF0, 0x7E, 0x00, 0xAA}},
        {"7E5", 16, 1, {0x7E, 0x00, 0xAA}},
        {"", 4, 0, {0x00, 0xAA}},
        {"7GG7ZZffa1 1", 16, 6, {0x07, 0x00, 0x00, 0xFF, 0xA1, 0x00, 0x00}},  // leading digits
        {"0078F07E", 5, 4, {0x00, 0x78, 0xF0, 0x7E, 0x00}},
        {"0078F07E", 4, 0, {0x00, 0xAA, 0xAA, 0xAA}},  // no room for the zero: refused whole
        {"0078F07E", 0, 0, {}},
        {longest, kFrameBufferSize, kHexCodecMaxBytes, {0xFF}},
        {longest + "F", kFrameBufferSize, 0, {0x00, 0xAA}},  // 10,000 bytes: refused whole
    };
    for (const auto& c : cases) {
        Bytes area(c.capacity + 16, 0xAA);
        std::size_t length = c.text.size();
        HexTextToBytes(c.text.data(), length, area.data(), c.capacity);
        EXPECT_EQ(length, c.length) << c.text.substr(0, 12) << " into " << c.capacity;
        EXPECT_TRUE(std::equal(c.start.begin(), c.start.end(), area.begin())) << c.text;
        EXPECT_EQ(area[c.length], c.capacity > 0 ? 0x00 : 0xAA);
        EXPECT_EQ(std::count(area.begin() + c.capacity, area.end(), 0xAA), 16);
    }
    std::array<char, 8> text{};
    EXPECT_EQ(PrepareFrameText(" 00 78F0 7E ", text), 8U);
    EXPECT_EQ(std::string_view(text.data(), 8), "0078F07E");
    EXPECT_EQ(PrepareFrameText("00 78 F0 7E 00", text), 0U);  // a cut text is no frame
    std::array<std::uint8_t, kFrameBufferSize> out{0x55};
    EXPECT_EQ(StoredFrameToBytes(std::string(30000, 'A'), out), 0U);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(StoredFrameToBytes(DiagCommandTable[3].strFrame, std::span(out).first(4)), 0U);
}

}  // namespace
}  // namespace norvane
