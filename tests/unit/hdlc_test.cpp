#include "diag/hdlc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "diag/log_decoder.h"
#include "tests/support/frames.h"
#include "tests/unit/alloc_counter.h"

namespace norvane {
namespace {

using test::Bytes;
using Status = HdlcDeframer::Status;

TEST(Crc16X25, CheckValueAndBitwiseDefinitionAroundTheEightByteSteps) {
    const std::string s = "123456789";
    EXPECT_EQ(Crc16X25(Bytes(s.begin(), s.end())), 0x906E);
    Bytes data;
    for (int len = 0; len < 40; ++len) {
        std::uint16_t crc = 0xFFFF;
        for (std::uint8_t b : data) {
            crc ^= b;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
            }
        }
        EXPECT_EQ(Crc16X25(data), crc ^ 0xFFFF) << len;
        data.push_back(static_cast<std::uint8_t>(len * 37 + 0x7D));
    }
}

TEST(HdlcEncode, EscapesAndNeedsRoomForEveryByte) {
    const Bytes payload{0x7E, 0x01, 0x7D};
    const Bytes wire = test::EncodeFrame(payload);
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 5), (Bytes{0x7D, 0x5E, 0x01, 0x7D, 0x5D}));
    EXPECT_EQ(wire.back(), kHdlcFlag);
    Bytes out(wire.size());
    EXPECT_EQ(HdlcEncode(payload, out), wire.size());
    out.pop_back();
    EXPECT_EQ(HdlcEncode(payload, out), 0U);
}

struct Event {
    Status status;
    Bytes payload;
    bool operator==(const Event&) const = default;
};
using Events = std::vector<Event>;
Event F(Bytes p) {
    return {Status::kFrame, std::move(p)};
}
const Event kBad{Status::kBadFcs, {}};
const Event kOver{Status::kOverflow, {}};

// Feeds `stream` through a fresh deframer in pieces of `first` bytes, then `rest` bytes each.
Events Deframe(const Bytes& stream, std::size_t first, std::size_t rest = SIZE_MAX) {
    auto d = std::make_unique<HdlcDeframer>();
    Events r;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min(at == 0 ? first : rest, stream.size() - at);
        for (std::span<const std::uint8_t> in(stream.data() + at, n); !in.empty();) {
            const HdlcDeframer::Step step = d->Feed(in);
            EXPECT_TRUE(step.consumed >= 1 && step.consumed <= in.size());
            EXPECT_TRUE(step.status != Status::kNeedMore || step.consumed == in.size());
            if (step.status != Status::kNeedMore) {
                r.push_back({step.status, step.status == Status::kFrame
                                              ? Bytes(d->Payload().begin(), d->Payload().end())
                                              : Bytes{}});
            }
            in = in.subspan(step.consumed);
        }
        at += n;
    }
    return r;
}

// `p` with bytes 1 and 2 chosen so that the high byte of its CRC, the last byte before the flag,
// is escaped on the wire; or so that neither they nor the CRC bytes are.
Bytes WithCrc(Bytes p, bool escapedLast) {
    const auto special = [](unsigned b) { return b == kHdlcFlag || b == kHdlcEscape; };
    for (unsigned v = 0;; ++v) {
        p[1] = static_cast<std::uint8_t>(v);
        p[2] = static_cast<std::uint8_t>(v >> 8);
        const unsigned crc = Crc16X25(p);
        if (escapedLast
                ? special(crc >> 8)
                : !special(p[1]) && !special(p[2]) && !special(crc & 0xFF) && !special(crc >> 8)) {
            return p;
        }
    }
}

Bytes Plain(std::size_t size) {
    Bytes p = test::OtherLogPayload(size, 1);
    std::replace(p.begin(), p.end(), std::uint8_t{0x7E}, std::uint8_t{0x11});
    std::replace(p.begin(), p.end(), std::uint8_t{0x7D}, std::uint8_t{0x11});
    return p;
}

TEST(HdlcDeframer, StreamsGiveTheSameEventsInEveryPieceSize) {
    const Bytes cell = test::CellList(0, 52400 * 1000, {test::Cell()});
    const Bytes escapes{0x7E, 0x7D, 0x7E, 0x5E, 0x5D, 0x7D};
    const Bytes other = test::OtherLogPayload(300, 7);
    const Bytes shortCrc = WithCrc({0x10, 0, 0}, true);
    Bytes corrupt = test::EncodeFrame(cell);
    corrupt[20] ^= 0x01;
    Bytes dangling = test::EncodeFrame({0x10, 0x20});  // an escape right before the flag
    dangling.insert(dangling.end() - 1, kHdlcEscape);
    const Bytes mixed = test::Concat({{0x7E},
                                      test::EncodeFrame(cell),
                                      {0x7E, 0x7E},
                                      test::EncodeFrame(escapes),
                                      corrupt,
                                      test::EncodeFrame(other),
                                      {0x01, 0x7E, 0x00, 0x00, 0x7E},
                                      test::EncodeFrame(shortCrc),
                                      dangling,
                                      test::EncodeFrame({0x00})});
    Bytes garbage(3 * kFrameBufferSize, 0x55);
    garbage[100] = kHdlcEscape;
    garbage.push_back(kHdlcFlag);
    const Bytes largest = WithCrc(Plain(kFrameBufferSize - 2), false);
    const Bytes largestEscaped = WithCrc(Plain(kFrameBufferSize - 2), true);

    const struct {
        Bytes stream;
        Events want;
    } cases[] = {
        {mixed,
         {F(cell), F(escapes), kBad, F(other), kBad, kBad, F(shortCrc), F({0x10, 0x20}),
          F({0x00})}},
        {Bytes(10, 0x7E), {}},
        {test::Concat({garbage, test::EncodeFrame(cell)}), {kOver, F(cell)}},
        {test::Concat({test::EncodeFrame(largest), test::EncodeFrame(largestEscaped)}),
         {F(largest), F(largestEscaped)}},
        {test::Concat({test::EncodeFrame(Plain(kFrameBufferSize - 1)), test::EncodeFrame(cell)}),
         {kOver, F(cell)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stream.size());
        for (const std::size_t piece :
             {SIZE_MAX, std::size_t{1}, std::size_t{333}, kFrameBufferSize}) {
            ASSERT_EQ(Deframe(c.stream, piece, piece), c.want) << "pieces of " << piece;
        }
        for (std::size_t k = 1; c.stream.size() < 2000 && k < c.stream.size(); ++k) {
            ASSERT_EQ(Deframe(c.stream, k), c.want) << "split at " << k;
        }
    }
}

TEST(HdlcDeframer, ResetDropsAnUnfinishedFrame) {
    const Bytes wire = test::EncodeFrame({0x10, 0x7D, 0x20, 0x30});
    auto d = std::make_unique<HdlcDeframer>();
    EXPECT_EQ(d->Feed({wire.data(), 3}).status, Status::kNeedMore);
    d->Reset();
    EXPECT_EQ(d->Feed(wire).status, Status::kFrame);
    EXPECT_EQ(d->Payload().size(), 4U);
}

TEST(HdlcDeframer, RealisticStreamInReadSizedPiecesWithoutAllocating) {
    const Bytes stream = test::RealisticStream(500);
    auto d = std::make_unique<HdlcDeframer>();
    std::size_t frames = 0;
    std::size_t reports = 0;
    const std::size_t before = test::AllocationCount();
    for (std::size_t at = 0; at < stream.size(); at += 4096) {
        std::span<const std::uint8_t> in(stream.data() + at,
                                         std::min<std::size_t>(4096, stream.size() - at));
        while (!in.empty()) {
            const HdlcDeframer::Step step = d->Feed(in);
            in = in.subspan(step.consumed);
            if (step.status == Status::kFrame) {
                ++frames;
                reports += DecodeLogFrame(d->Payload()).kind != LogFrameKind::Other;
            }
        }
    }
    EXPECT_EQ(test::AllocationCount() - before, 0U);
    EXPECT_EQ(frames, 500U);
    EXPECT_GT(reports, 250U);
}

}  // namespace
}  // namespace norvane
