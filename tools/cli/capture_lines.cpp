#include "tools/cli/capture_lines.h"

#include "diag/log_decoder.h"

namespace norvane::cli {
namespace {

// One frame's report, if it holds one, as a line of `out`; with a time when the input has them.
void AppendFrameLine(std::span<const std::uint8_t> payload, const CaptureTime* time,
                     std::string& out, CaptureLineCounts& counts) {
    const DecodedLogFrame d = DecodeLogFrame(payload);
    if (d.kind == LogFrameKind::Other) {
        ++(d.reason == OtherReason::UnknownVersion ? counts.unknownVersion : counts.other);
        return;
    }
    if (d.kind == LogFrameKind::RrcSegment) {
        ++counts.other;  // a part of an RRC message
        return;
    }
    for (const std::string& json : LogFrameJson(d)) {
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

void AppendRawLines(HdlcDeframer& deframer, std::span<const std::uint8_t> piece, std::string& out,
                    CaptureLineCounts& counts) {
    counts.bytes += piece.size();
    PumpFrames(deframer, piece, counts.frames,
               [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                   if (status == HdlcDeframer::Status::kFrame) {
                       AppendFrameLine(payload, nullptr, out, counts);
                   }
               });
}

void AppendPacketLines(const CaptureReader& reader, const CaptureReader::Packet& packet,
                       HdlcDeframer& deframer, std::string& out, CaptureLineCounts& counts) {
    if (reader.format() == CaptureFormat::kRaw) {
        AppendRawLines(deframer, packet.bytes, out, counts);
    } else if (packet.position) {
        out.append(packet.bytes.begin(), packet.bytes.end());  // the line as it was printed
        out += '\n';
    } else if (packet.direction == FrameDirection::kToModem) {
        ++counts.hostFrames;
    } else {
        ++counts.frames.frames;
        AppendFrameLine(packet.bytes, packet.hasTime ? &packet.time : nullptr, out, counts);
    }
}

}  // namespace norvane::cli
