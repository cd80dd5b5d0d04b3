// The JSON lines of what a capture holds, as 'norvane-cli decode' prints them: each report of a
// raw stream's frames, each report of a pcap's modem frames with the packet's time first, and
// each recorded position line as it was printed. 'decode' prints them; 'export' reads them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "capture/reader.h"
#include "diag/frame_pump.h"
#include "diag/hdlc.h"
#include "diag/log_decoder.h"
#include "jsonl/report_json.h"

namespace norvane::cli {

struct CaptureLineCounts {
    std::uint64_t bytes = 0;  // of a raw stream
    FrameCounters frames;
    std::uint64_t reports = 0;
    std::uint64_t other = 0;
    std::uint64_t unknownVersion = 0;
    std::uint64_t hostFrames = 0;  // the host's commands hold no reports
    UtcSecondText utc;             // for the "time" of capture packets
};

// What reading one input carries from a packet to the next: the deframer of a raw stream and
// the joiner of the parts of RRC messages (a message with a part missing is dropped and counted
// by it). One per input; large, so kept on the heap.
struct CaptureStreams {
    HdlcDeframer deframer;
    SignallingJoiner joiner;
};

// A piece of a raw stream: its frames' reports, each a line ended by '\n', appended to `out`.
void AppendRawLines(CaptureStreams& streams, std::span<const std::uint8_t> piece, std::string& out,
                    CaptureLineCounts& counts);

// One packet that `reader` returned, as lines appended to `out`.
void AppendPacketLines(const CaptureReader& reader, const CaptureReader::Packet& packet,
                       CaptureStreams& streams, std::string& out, CaptureLineCounts& counts);

}  // namespace norvane::cli
