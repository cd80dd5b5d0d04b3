// Arbitrary bytes through the deframer and the log decoder. Byte 0 seeds the piece sizes, the
// rest is the stream. Feeding in pieces must give what feeding the whole gives, every frame must
// come back unchanged from its own encoding, and the decoder must only accept what the frame
// really holds.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "diag/hdlc.h"
#include "diag/log_decoder.h"

namespace {

using norvane::HdlcDeframer;
using Events = std::vector<std::pair<HdlcDeframer::Status, std::vector<std::uint8_t>>>;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void CheckDecoded(std::span<const std::uint8_t> p) {
    const norvane::DecodedLogFrame d = norvane::DecodeLogFrame(p);
    const auto& r = d.cells;
    if (d.kind == norvane::LogFrameKind::CellList) {
        Check(r.version == p[16] >> 6 && r.version <= 2 && r.wcdmaCellCount <= 63);
        Check(r.version != 0 || (r.wcdmaCellCount >= 1 && r.wcdmaCellCount <= 8));
        Check(r.gsmCellsDecoded == 0 || r.gsmCellsDecoded == std::min(r.gsmCellCount, 63));
        const auto& l = norvane::kCellListLayouts[static_cast<std::size_t>(r.version)];
        Check(p.size() >= l.recordsOffset + l.wcdmaRecordSize * std::size_t(r.wcdmaCellCount) +
                              l.gsmRecordSize * std::size_t(r.gsmCellsDecoded));
        Check(p[0] == 0x10 && p[6] == 0x05 && p[7] == 0x40 && (p[2] != 0x1C || p[3] != 0));
    } else if (d.kind == norvane::LogFrameKind::SarPa) {
        Check(p.size() >= 30 && p[6] == 0x7C && p[7] == 0x11);
        Check(d.sarPa.paOverheated == (d.sarPa.paValue <= 80));
    }
}

Events Run(const std::uint8_t* data, std::size_t size, std::uint32_t seed) {
    auto d = std::make_unique<HdlcDeframer>();
    Events events;
    const bool whole = seed == 0;
    for (std::size_t at = 0, piece = 0; at < size; at += piece) {
        seed = seed * 1103515245U + 12345U;
        piece = std::min<std::size_t>(size - at, whole ? size : 1 + (seed >> 16) % 97);
        for (std::span<const std::uint8_t> in(data + at, piece); !in.empty();) {
            const HdlcDeframer::Step step = d->Feed(in);
            Check(step.consumed >= 1 && step.consumed <= in.size());
            in = in.subspan(step.consumed);
            if (step.status == HdlcDeframer::Status::kNeedMore) {
                Check(in.empty());
            } else if (step.status == HdlcDeframer::Status::kFrame) {
                Check(!d->Payload().empty() &&
                      d->Payload().size() <= norvane::kFrameBufferSize - 2);
                CheckDecoded(d->Payload());
                events.emplace_back(step.status,
                                    std::vector(d->Payload().begin(), d->Payload().end()));
            } else {
                events.emplace_back(step.status, std::vector<std::uint8_t>{});
            }
        }
    }
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const Events whole = Run(data + 1, size - 1, 0);
    Check(Run(data + 1, size - 1, data[0] | 1U) == whole);
    std::vector<std::uint8_t> wire(2 * norvane::kFrameBufferSize + 8);
    for (const auto& e : whole) {
        if (e.first == HdlcDeframer::Status::kFrame) {
            const std::size_t n = norvane::HdlcEncode(e.second, wire);
            Check(n > 0 && Run(wire.data(), n, 0) == Events{e});
        }
    }
    return 0;
}
