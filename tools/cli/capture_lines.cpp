#include "tools/cli/capture_lines.h"

#include "diag/log_decoder.h"

namespace norvane::cli {
namespace {

// One frame's report, if it holds one, as a line of `out`; with a time when the input has them.
void AppendFrameLine(std::span<const std::uint8_t> payload, const CaptureTime* time,
                     SignallingJoiner& joiner, std::string& out, CaptureLineCounts& counts) {
    const DecodedLogFrame d = DecodeLogFrame(payload);
    if (d.kind == LogFrameKind::Other) {
        ++(d.reason == OtherReason::UnknownVersion ? counts.unknownVersion : counts.other);
        return;
    }
    std::vector<std::string> lines;
    if (d.kind == LogFrameKind::Rrc || d.kind == LogFrameKind::RrcSegment ||
        d.kind == LogFrameKind::Nas) {
        if (const std::optional<SignallingMessage> m = joiner.Add(d)) {
            lines.push_back(SignallingJson(*m, d));
        }
    } else {
        lines = LogFrameJson(d);
    }
    for (const std::string& json : lines) {
        ++counts.reports;
        if (time != nullptr) {
            AppendWithTime(out, *time, json, counts.utc);
        } else {
            out += json;
        }
        out += '\n';
    }
}

}  // namespace

void AppendRawLines(CaptureStreams& streams, std::span<const std::uint8_t> piece, std::string& out,
                    CaptureLineCounts& counts) {
    counts.bytes += piece.size();
    PumpFrames(streams.deframer, piece, counts.frames,
               [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                   if (status == HdlcDeframer::Status::kFrame) {
                       AppendFrameLine(payload, nullptr, streams.joiner, out, counts);
                   }
               });
}

void AppendPacketLines(const CaptureReader& reader, const CaptureReader::Packet& packet,
                       CaptureStreams& streams, std::string& out, CaptureLineCounts& counts) {
    if (reader.format() == CaptureFormat::kRaw) {
        AppendRawLines(streams, packet.bytes, out, counts);
    } else if (packet.position) {
        out.append(packet.bytes.begin(), packet.bytes.end());  // the line as it was printed
        out += '\n';
    } else if (packet.direction == FrameDirection::kToModem) {
        ++counts.hostFrames;
    } else {
        ++counts.frames.frames;
        AppendFrameLine(packet.bytes, packet.hasTime ? &packet.time : nullptr, streams.joiner, out,
                        counts);
    }
}

}  // namespace norvane::cli
