#include "session/receive_loop.h"

#include <array>
#include <span>

#include "diag/frame_pump.h"
#include "diag/hdlc.h"
#include "session/log_masks.h"
#include "session/recorder.h"
#include "session/texts.h"

namespace norvane {
namespace {

void Add(ReceiveStats* stats, std::atomic<std::uint64_t> ReceiveStats::*counter) {
    if (stats != nullptr) {
        (stats->*counter).fetch_add(1, std::memory_order_relaxed);
    }
}

void HandOn(std::span<const std::uint8_t> payload, ReportSink& reports, ReceiveStats* stats,
            LogConfigAnswers* answers) {
    const DecodedLogFrame frame = DecodeLogFrame(payload);
    if (frame.kind != LogFrameKind::Other) {
        reports.ShowLogFrame(frame);
        Add(stats, &ReceiveStats::reports);
        return;
    }
    Add(stats, frame.reason == OtherReason::UnknownVersion ? &ReceiveStats::unknownVersion
                                                           : &ReceiveStats::other);
    if (answers != nullptr && !payload.empty() && payload[0] == kLogConfigCommand) {
        answers->Offer(payload);
    }
}

}  // namespace

std::uint32_t RunReceiveLoop(const SerialPort& port, const std::atomic<bool>& reading,
                             ReportSink& reports, MessageSink& messages, ReceiveStats* stats,
                             FrameRecorder* recorder, LogConfigAnswers* answers,
                             std::mutex* order) {
    // The loop's own receive buffer and deframer, for the whole life of the loop.
    std::array<std::uint8_t, kFrameBufferSize> buffer{};
    HdlcDeframer deframer;
    FrameCounters counters;

    if (!port.IsOpen()) {
        messages.MessageBox(kNoPortText, kNoPortCaption);
        return kLoopNoPort;
    }
    while (reading.load()) {
        // The port paces the loop: the read returns as soon as bytes have come.
        const ReadResult got = port.Read(buffer);
        Add(stats, &ReceiveStats::reads);
        if (got.status == ReadStatus::kGone) {
            return kLoopPortGone;  // nothing more will come on this descriptor
        }
        if (got.status != ReadStatus::kData) {
            continue;  // silence, or woken to look at the run flag
        }
        const std::span<const std::uint8_t> read(buffer.data(), got.length);
        if (stats != nullptr) {
            stats->bytes.fetch_add(read.size(), std::memory_order_relaxed);
        }
        const CaptureTime readAt = recorder != nullptr ? CaptureClock::now() : CaptureTime{};
        if (recorder != nullptr) {
            recorder->OnRead(readAt, read);
        }
        // One read may hold several frames, and its last frame may be finished by the next.
        PumpFrames(deframer, read, counters,
                   [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                       if (status != HdlcDeframer::Status::kFrame) {
                           return;
                       }
                       const std::unique_lock lock = order != nullptr
                                                         ? std::unique_lock(*order)
                                                         : std::unique_lock<std::mutex>();
                       if (recorder != nullptr) {
                           recorder->OnFrame(readAt, FrameDirection::kFromModem, payload);
                       }
                       HandOn(payload, reports, stats, answers);
                   });
        if (stats != nullptr) {
            stats->frames.store(counters.frames, std::memory_order_relaxed);
            stats->badFcs.store(counters.badFcs, std::memory_order_relaxed);
            stats->overflow.store(counters.overflow, std::memory_order_relaxed);
        }
    }
    return kLoopStopped;
}

}  // namespace norvane
