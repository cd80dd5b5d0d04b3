#include "diag/hdlc.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "diag/log_decoder.h"
#include "tests/support/frames.h"
#include "tests/unit/alloc_counter.h"

namespace norvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::AppendFrame;

TEST(Crc16X25, CheckValueOfStandardString) {
    const std::string s = "123456789";
    const Bytes bytes(s.begin(), s.end());
    EXPECT_EQ(Crc16X25(bytes), 0x906E);
    EXPECT_EQ(Crc16X25({}), 0x0000);
    // Lengths around the eight-byte steps agree with the bitwise definition.
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

TEST(HdlcEncode, EscapesAndRefusesWhatDoesNotFit) {
    const Bytes payload{0x7E, 0x01, 0x7D};
    std::array<std::uint8_t, 16> out{};
    const std::size_t n = HdlcEncode(payload, out);
    ASSERT_GE(n, 8U);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), (Bytes{0x7D, 0x5E, 0x01, 0x7D, 0x5D}));
    EXPECT_EQ(out[n - 1], kHdlcFlag);
    std::array<std::uint8_t, 7> small{};
    EXPECT_EQ(HdlcEncode(payload, small), 0U);
}

// What a deframer hands on from a stream, in order.
struct Result {
    std::vector<Bytes> frames;
    int badFcs = 0;
    int overflows = 0;
    bool operator==(const Result&) const = default;
};

void FeedAll(HdlcDeframer& d, std::span<const std::uint8_t> in, Result& r) {
    while (!in.empty()) {
        const HdlcDeframer::Step step = d.Feed(in);
        ASSERT_GE(step.consumed, 1U);
        ASSERT_LE(step.consumed, in.size());
        switch (step.status) {
            case HdlcDeframer::Status::kFrame:
                r.frames.emplace_back(d.Payload().begin(), d.Payload().end());
                break;
            case HdlcDeframer::Status::kBadFcs:
                ++r.badFcs;
                break;
            case HdlcDeframer::Status::kOverflow:
                ++r.overflows;
                break;
            case HdlcDeframer::Status::kNeedMore:
                ASSERT_EQ(step.consumed, in.size());
                break;
        }
        in = in.subspan(step.consumed);
    }
}

// Feeds `stream` in pieces of the given sizes (cycled) through a fresh deframer.
Result Deframe(const Bytes& stream, const std::vector<std::size_t>& pieces = {SIZE_MAX}) {
    auto d = std::make_unique<HdlcDeframer>();
    Result r;
    std::size_t at = 0;
    for (std::size_t k = 0; at < stream.size(); ++k) {
        const std::size_t n = std::min(pieces[k % pieces.size()], stream.size() - at);
        FeedAll(*d, {stream.data() + at, n}, r);
        at += n;
    }
    return r;
}

Bytes Wire(const std::vector<Bytes>& payloads) {
    Bytes stream;
    for (const Bytes& p : payloads) {
        AppendFrame(stream, p);
    }
    return stream;
}

// A payload whose CRC itself needs escaping, found by search so the test does not depend on
// knowing one by heart.
Bytes PayloadWithEscapedCrc() {
    for (std::uint32_t v = 0;; ++v) {
        const Bytes p{0x10, static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
        const std::uint16_t crc = Crc16X25(p);
        if ((crc & 0xFF) == 0x7E || (crc >> 8) == 0x7D) {
            return p;
        }
    }
}

const std::vector<Bytes>& SomePayloads() {
    static const std::vector<Bytes> payloads = {
        test::CellList(0, 52400 * 1000, {test::Cell()}),
        Bytes{0x7E, 0x7D, 0x7E, 0x5E, 0x5D, 0x7D},  // escapes everywhere
        test::SarPaPayload(3, 0x7E),
        PayloadWithEscapedCrc(),
        Bytes{0x00},
        test::OtherLogPayload(300, 7),
    };
    return payloads;
}

TEST(HdlcDeframer, WholeStreamGivesEveryFrameInOrder) {
    const Result r = Deframe(Wire(SomePayloads()));
    EXPECT_EQ(r.frames, SomePayloads());
    EXPECT_EQ(r.badFcs, 0);
    EXPECT_EQ(r.overflows, 0);
}

TEST(HdlcDeframer, ByteByByteAndOddPiecesGiveTheSame) {
    const Bytes stream = Wire(SomePayloads());
    const Result whole = Deframe(stream);
    EXPECT_EQ(Deframe(stream, {1}), whole);
    EXPECT_EQ(Deframe(stream, {2}), whole);
    EXPECT_EQ(Deframe(stream, {3, 1, 7, 64, 5, 9, 1, 1}), whole);
    EXPECT_EQ(Deframe(stream, {4096}), whole);
}

TEST(HdlcDeframer, SplitAtEveryOffset) {
    const Bytes stream = Wire(SomePayloads());
    const Result whole = Deframe(stream);
    for (std::size_t k = 1; k < stream.size(); ++k) {
        ASSERT_EQ(Deframe(stream, {k, SIZE_MAX}), whole) << "split at " << k;
    }
}

TEST(HdlcDeframer, EscapedBytesInsideDecodedFields) {
    const WcdmaCellRecord c = test::Cell(10737, 0x7E, 0x7D, 0xFF, 0x7E);
    Bytes payload = test::CellListV0(0x7E7D, std::span(&c, 1), 0x7D);
    const Result r = Deframe(Wire({payload}), {1});
    ASSERT_EQ(r.frames.size(), 1U);
    const DecodedLogFrame d = DecodeLogFrame(r.frames[0]);
    ASSERT_EQ(d.kind, LogFrameKind::CellList);
    EXPECT_EQ(d.cells.gsmCellCount, 0x7D);
    EXPECT_EQ(d.cells.cells[0].psc, 0x7E);
    EXPECT_EQ(d.cells.cells[0].rscp, 0x7D - 276);
    EXPECT_EQ(d.cells.cells[0].ecIo, 0x7E - 256);
}

TEST(HdlcDeframer, BadCheckSequenceIsDroppedAndTheNextFrameSurvives) {
    Bytes stream = Wire({SomePayloads()[0]});
    stream[20] ^= 0x01;
    const Bytes good = Wire({SomePayloads()[2]});
    stream.insert(stream.end(), good.begin(), good.end());
    const Result r = Deframe(stream);
    EXPECT_EQ(r.badFcs, 1);
    EXPECT_EQ(r.frames, std::vector<Bytes>{SomePayloads()[2]});

    // Frames too short to hold a CRC, and an escape right before the flag.
    EXPECT_EQ(Deframe(Bytes{0x01, 0x7E}).badFcs, 1);
    EXPECT_EQ(Deframe(Bytes{0x01, 0x02, 0x7E}).badFcs, 1);
    Bytes dangling = Wire({Bytes{0x10, 0x20}});
    dangling.insert(dangling.end() - 1, kHdlcEscape);
    const Result d = Deframe(dangling);
    EXPECT_EQ(d.badFcs, 0);
    EXPECT_EQ(d.frames, std::vector<Bytes>{(Bytes{0x10, 0x20})}) << "the lone escape is dropped";
}

TEST(HdlcDeframer, LeadingAndRepeatedFlagsAreBoundariesOnly) {
    Bytes stream{0x7E};
    for (const Bytes& p : SomePayloads()) {
        AppendFrame(stream, p);
        stream.push_back(0x7E);  // some modems open every frame with a flag too
    }
    const Result r = Deframe(stream);
    EXPECT_EQ(r.frames, SomePayloads());
    EXPECT_EQ(r.badFcs, 0);
    EXPECT_EQ(Deframe(Bytes(10, 0x7E)), Result{});
}

TEST(HdlcDeframer, OverlongGarbageWithoutFlagIsDroppedUpToTheNextFlag) {
    Bytes stream(3 * kFrameBufferSize, 0x55);
    stream[100] = 0x7D;           // escapes in the garbage change nothing
    stream.push_back(kHdlcFlag);  // ends the garbage: everything before it is lost
    const Bytes good = Wire({SomePayloads()[0]});
    stream.insert(stream.end(), good.begin(), good.end());
    for (const std::vector<std::size_t>& pieces :
         {std::vector<std::size_t>{SIZE_MAX}, {4096}, {1}, {kFrameBufferSize}}) {
        const Result r = Deframe(stream, pieces);
        EXPECT_EQ(r.overflows, 1);
        EXPECT_EQ(r.badFcs, 0) << "the tail of the overlong frame is not a second error";
        EXPECT_EQ(r.frames, std::vector<Bytes>{SomePayloads()[0]});
    }
}

TEST(HdlcDeframer, LargestFrameFitsOneMoreByteOverflows) {
    const Bytes largest = test::OtherLogPayload(kFrameBufferSize - 2, 1);
    Bytes plain = largest;
    for (auto& b : plain) {
        b = static_cast<std::uint8_t>(b == 0x7E || b == 0x7D ? 0x11 : b);  // no escapes
    }
    const Result fits = Deframe(Wire({plain}), {SIZE_MAX});
    ASSERT_EQ(fits.frames.size(), 1U);
    EXPECT_EQ(fits.frames[0], plain);
    EXPECT_EQ(Deframe(Wire({largest}), {333}).frames, std::vector<Bytes>{largest});

    plain.push_back(0x22);
    const Result over = Deframe(Wire({plain}));
    EXPECT_EQ(over.overflows, 1);
    EXPECT_TRUE(over.frames.empty());
}

TEST(HdlcDeframer, ResetDropsAnUnfinishedFrame) {
    const Bytes stream = Wire({SomePayloads()[0]});
    auto d = std::make_unique<HdlcDeframer>();
    Result r;
    FeedAll(*d, {stream.data(), 10}, r);
    d->Reset();
    FeedAll(*d, stream, r);
    EXPECT_EQ(r.frames, std::vector<Bytes>{SomePayloads()[0]});
    EXPECT_EQ(r.badFcs, 0);
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
            if (step.status == HdlcDeframer::Status::kFrame) {
                ++frames;
                reports += DecodeLogFrame(d->Payload()).kind != LogFrameKind::Other;
            }
        }
    }
    const std::size_t allocations = test::AllocationCount() - before;
    EXPECT_EQ(frames, 500U);
    EXPECT_GT(reports, 250U);
    EXPECT_EQ(allocations, 0U);
}

}  // namespace
}  // namespace norvane
