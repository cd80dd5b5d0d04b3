// The one loop that turns a stream of bytes into frames: every piece read (a port's delivery,
// a block of a file, the host's bytes at the simulated modem) goes through PumpFrames.
#pragma once

#include <cstdint>
#include <span>

#include "diag/hdlc.h"

namespace norvane {

// What the deframer has handed on so far. Overlong frames are counted apart from frames with a
// bad check sequence: the first is a frame that never ended, the second one that ended wrong.
struct FrameCounters {
    std::uint64_t frames = 0;    // valid frames
    std::uint64_t badFcs = 0;    // ended with a bad check sequence, or too short to hold one
    std::uint64_t overflow = 0;  // grew past kFrameBufferSize bytes without a flag
};

// Feeds all of `bytes` to `deframer` and calls `onEvent(status, payload)` for each frame that
// ends (kFrame, with its payload), each bad frame (kBadFcs) and each overflow (kOverflow), the
// last two with an empty payload. The payload is valid only during the call. The last frame of
// a piece may be finished by the next piece: the deframer keeps what is left over.
template <typename OnEvent>
void PumpFrames(HdlcDeframer& deframer, std::span<const std::uint8_t> bytes,
                FrameCounters& counters, OnEvent&& onEvent) {
    while (!bytes.empty()) {
        const HdlcDeframer::Step step = deframer.Feed(bytes);
        bytes = bytes.subspan(step.consumed);
        switch (step.status) {
            case HdlcDeframer::Status::kFrame:
                ++counters.frames;
                onEvent(step.status, deframer.Payload());
                break;
            case HdlcDeframer::Status::kBadFcs:
                ++counters.badFcs;
                onEvent(step.status, std::span<const std::uint8_t>{});
                break;
            case HdlcDeframer::Status::kOverflow:
                ++counters.overflow;
                onEvent(step.status, std::span<const std::uint8_t>{});
                break;
            case HdlcDeframer::Status::kNeedMore:
                break;
        }
        if (step.consumed == 0) {
            break;
        }
    }
}

}  // namespace norvane
