// Arbitrary bytes, fed in arbitrary pieces, through the deframer and the log decoder.
// Input: byte 0 seeds the piece sizes, the rest is the stream. Checks that feeding in pieces
// gives the same frames as feeding the whole, that every frame survives an encode/deframe round
// trip, and that the decoder only accepts what the frame really holds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "diag/hdlc.h"
#include "diag/log_decoder.h"

namespace {

using norvane::HdlcDeframer;

struct Event {
    HdlcDeframer::Status status;
    std::vector<std::uint8_t> payload;
    bool operator==(const Event&) const = default;
};

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void CheckDecoded(std::span<const std::uint8_t> p) {
    const norvane::DecodedLogFrame d = norvane::DecodeLogFrame(p);
    if (d.kind == norvane::LogFrameKind::CellList) {
        const auto& r = d.cells;
        Check(r.version >= 0 && r.version <= 2 && r.version == p[16] >> 6);
        Check(r.version != 0 || (r.wcdmaCellCount >= 1 && r.wcdmaCellCount <= 8));
        Check(r.wcdmaCellCount <= 63 && r.gsmCellsDecoded <= 63);
        Check(r.gsmCellsDecoded == 0 || r.gsmCellsDecoded == std::min(r.gsmCellCount, 63));
        const auto& l = norvane::kCellListLayouts[static_cast<std::size_t>(r.version)];
        Check(p.size() >= l.recordsOffset +
                              l.wcdmaRecordSize * static_cast<std::size_t>(r.wcdmaCellCount) +
                              l.gsmRecordSize * static_cast<std::size_t>(r.gsmCellsDecoded));
        Check(p[0] == 0x10 && p[6] == 0x05 && p[7] == 0x40 && (p[2] != 0x1C || p[3] != 0));
    } else if (d.kind == norvane::LogFrameKind::SarPa) {
        Check(p.size() >= 30 && p[6] == 0x7C && p[7] == 0x11);
        Check(d.sarPa.paOverheated == (d.sarPa.paValue <= 80));
    }
}

std::vector<Event> Run(HdlcDeframer& d, const std::uint8_t* data, std::size_t size,
                       std::uint32_t seed) {
    std::vector<Event> events;
    std::size_t at = 0;
    while (at < size) {
        std::size_t piece = size - at;
        if (seed != 0) {
            seed = seed * 1103515245U + 12345U;
            piece = std::min<std::size_t>(piece, 1 + (seed >> 16) % 97);
        }
        std::span<const std::uint8_t> in(data + at, piece);
        at += piece;
        while (!in.empty()) {
            const HdlcDeframer::Step step = d.Feed(in);
            Check(step.consumed >= 1 && step.consumed <= in.size());
            in = in.subspan(step.consumed);
            if (step.status == HdlcDeframer::Status::kNeedMore) {
                Check(in.empty());
                continue;
            }
            Event e{step.status, {}};
            if (step.status == HdlcDeframer::Status::kFrame) {
                const auto p = d.Payload();
                Check(p.size() >= 1 && p.size() <= norvane::kFrameBufferSize - 2);
                e.payload.assign(p.begin(), p.end());
                CheckDecoded(p);
            }
            events.push_back(std::move(e));
        }
    }
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint32_t seed = data[0] | 1U;
    auto whole = std::make_unique<HdlcDeframer>();
    auto pieces = std::make_unique<HdlcDeframer>();
    const std::vector<Event> a = Run(*whole, data + 1, size - 1, 0);
    const std::vector<Event> b = Run(*pieces, data + 1, size - 1, seed);
    Check(a == b);

    // Every frame handed on comes back unchanged from its own encoding.
    std::vector<std::uint8_t> wire(2 * norvane::kFrameBufferSize + 8);
    for (const Event& e : a) {
        if (e.status != HdlcDeframer::Status::kFrame) {
            continue;
        }
        const std::size_t n = norvane::HdlcEncode(e.payload, wire);
        Check(n > 0);
        auto again = std::make_unique<HdlcDeframer>();
        const std::vector<Event> r = Run(*again, wire.data(), n, 0);
        Check(r.size() == 1 && r[0] == e);
    }
    return 0;
}
