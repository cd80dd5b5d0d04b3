// Arbitrary bytes through the deframer and the log decoder; byte 0 seeds the piece sizes. Pieces
// must give what the whole gives, and the decoder must accept only what the frame holds.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "diag/hdlc.h"
#include "diag/log_decoder.h"

using namespace norvane;

// Frames and drops of the stream fed whole (seed 0) or in pieces of 1 to 97 bytes.
static std::vector<std::vector<std::uint8_t>> Run(std::span<const std::uint8_t> in, unsigned seed) {
    auto d = std::make_unique<HdlcDeframer>();
    std::vector<std::vector<std::uint8_t>> events;
    for (std::size_t at = 0, n = 0; at < in.size(); at += n) {
        n = seed == 0 ? in.size() : 1 + ((seed = seed * 1103515245U + 12345U) >> 16) % 97;
        for (auto piece = in.subspan(at, std::min(n, in.size() - at)); !piece.empty();) {
            const auto [status, consumed] = d->Feed(piece);
            const bool frame = status == HdlcDeframer::Status::kFrame;
            const auto p = frame ? d->Payload() : piece.first(0);
            const DecodedLogFrame f = DecodeLogFrame(p);
            const auto& l = kCellListLayouts[f.cells.version];
            const std::size_t end = l.recordsOffset + l.wcdmaRecordSize * f.cells.wcdmaCellCount +
                                    l.gsmRecordSize * f.cells.gsmCellsDecoded;
            if (consumed < 1 || consumed > piece.size() ||
                (status == HdlcDeframer::Status::kNeedMore && consumed != piece.size()) ||
                (f.kind == LogFrameKind::CellList && (p.size() < end || p[6] != 0x05)) ||
                (f.kind == LogFrameKind::SarPa &&
                 (p.size() < 30 || f.sarPa.paOverheated != (f.sarPa.paValue <= 80))) ||
                (f.kind == LogFrameKind::LteServing && f.lteServing.count > kLteMaxServingCells) ||
                (f.kind == LogFrameKind::LteIdleNeighbours &&
                 p.size() < kLogHeaderSize + 8 + kLteNeighbourCellSize * f.lteNeighbours.count) ||
                (f.kind == LogFrameKind::LteIntraMeas &&
                 p.size() < kLogHeaderSize + 24 + kLteIntraNeighbourSize * f.lteIntra.count +
                                kLteIntraDetectedSize * f.lteIntra.detectedCount) ||
                (f.kind == LogFrameKind::LteNeighbourMeas &&
                 (f.lteNeighbourMeas.count > kLteMaxNeighbourLayers ||
                  p.size() < kLogHeaderSize + 4 + 12 * f.lteNeighbourMeas.count)) ||
                (f.kind == LogFrameKind::NrMeas &&
                 (f.nrMeas.count > kNrMaxCells ||
                  p.size() < kLogHeaderSize + 8 + kNrCellSize * f.nrMeas.count)) ||
                (f.kind == LogFrameKind::NrCell &&
                 p.size() < kLogHeaderSize + kNrCellInfoLayouts[0].size) ||
                ((f.kind == LogFrameKind::Rrc || f.kind == LogFrameKind::RrcSegment ||
                  f.kind == LogFrameKind::Nas) &&
                 (f.signalling.pdu.data() < p.data() + kLogHeaderSize ||
                  f.signalling.pdu.data() + f.signalling.pdu.size() > p.data() + p.size()))) {
                std::abort();
            }
            if (status != HdlcDeframer::Status::kNeedMore) {
                events.emplace_back(p.begin(), p.end());
                events.back().push_back(static_cast<std::uint8_t>(status));  // and how it ended
            }
            piece = piece.subspan(consumed);
        }
    }
    return events;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0 && Run({data + 1, size - 1}, data[0] | 1U) != Run({data + 1, size - 1}, 0)) {
        std::abort();
    }
    return 0;
}
