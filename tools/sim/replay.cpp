#include "tools/sim/replay.h"

#include <algorithm>

#include "capture/reader.h"
#include "diag/frame_pump.h"
#include "diag/hdlc.h"
#include "diag/log_packets.h"
#include "diag/multi_sim.h"

namespace norvane::sim {

std::optional<Replay> Replay::Load(const std::string& path, double speed, bool loop,
                                   std::string& error) {
    CaptureError failure;
    const auto reader = CaptureReader::Open(path, failure);
    if (reader == nullptr) {
        error = "cannot replay " + failure.message;
        return std::nullopt;
    }
    const bool raw = reader->format() == CaptureFormat::kRaw;
    Replay replay;
    replay.speed_ = speed;
    replay.loop_ = loop;
    std::vector<std::uint8_t> frame(2 * kFrameBufferSize + 8);  // every byte escaped, CRC, flag
    CaptureReader::Packet packet;
    std::optional<CaptureTime> first;
    std::chrono::nanoseconds last{0};
    HdlcDeframer deframer;
    FrameCounters counters;
    std::optional<std::int64_t> previousStamp;
    // A log packet of the modem (also a dual-SIM modem's wrapped one) at `at` since the first;
    // the replies to the host's commands are given live.
    const auto add = [&](std::span<const std::uint8_t> bytes, std::chrono::nanoseconds at) {
        const std::span<const std::uint8_t> inner = UnwrapMultiSim(bytes).packet;
        if (inner.size() < kLogHeaderSize || inner[0] != kLogCommand) {
            return;
        }
        const std::size_t length = HdlcEncode(bytes, frame);
        if (length == 0) {
            return;  // longer than any frame the monitor would take
        }
        // A capture's clock may step back (the host's clock was set): never play backwards.
        last = std::max(last, at);
        replay.packets_.push_back({last, replay.wire_.size(), replay.wire_.size() + length});
        replay.wire_.insert(replay.wire_.end(), frame.begin(),
                            frame.begin() + static_cast<std::ptrdiff_t>(length));
    };
    // A raw stream has no capture times: the packets' own stamps (1.25 ms units above bit 16)
    // time it, a gap longer than a second (the phone's logging paused) cut to a second.
    const auto addRaw = [&](std::span<const std::uint8_t> bytes) {
        const std::span<const std::uint8_t> inner = UnwrapMultiSim(bytes).packet;
        if (inner.size() < kLogHeaderSize) {
            return;
        }
        std::int64_t stamp = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            stamp |= static_cast<std::int64_t>(inner[kLogTimeStampOffset + i]) << (8 * i);
        }
        const std::int64_t step = previousStamp ? ((stamp >> 16) - (*previousStamp >> 16)) : 0;
        previousStamp = stamp;
        add(bytes,
            last + std::clamp(std::chrono::microseconds(step * 1250), std::chrono::microseconds(0),
                              std::chrono::microseconds(1'000'000)));
    };
    for (;;) {
        const CaptureReader::Status status = reader->Next(packet, failure);
        if (status == CaptureReader::Status::kError) {
            error = "cannot replay " + failure.message;
            return std::nullopt;
        }
        if (status == CaptureReader::Status::kEnd) {
            break;
        }
        if (raw) {
            PumpFrames(deframer, packet.bytes, counters,
                       [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                           if (status == HdlcDeframer::Status::kFrame) {
                               addRaw(payload);
                           }
                       });
            continue;
        }
        if (packet.direction != FrameDirection::kFromModem) {
            continue;
        }
        if (!first) {
            first = packet.time;
        }
        add(packet.bytes,
            std::chrono::duration_cast<std::chrono::nanoseconds>(packet.time - *first));
    }
    if (replay.packets_.empty()) {
        error = "cannot replay " + path + ": it holds no log packets of the modem";
        return std::nullopt;
    }
    return replay;
}

Replay::Clock::duration Replay::Scaled(std::chrono::nanoseconds offset) const {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::nano>(static_cast<double>(offset.count()) / speed_));
}

void Replay::Advance(Clock::time_point now, bool on, Bytes& out) {
    if (!on) {
        playing_ = false;
        return;
    }
    if (next_ == packets_.size()) {
        return;
    }
    if (!playing_) {
        playing_ = true;
        base_ = now - Scaled(packets_[next_].offset);  // the next packet goes out now
    }
    while (next_ < packets_.size() && now >= base_ + Scaled(packets_[next_].offset)) {
        const Packet& p = packets_[next_++];
        out.insert(out.end(), wire_.begin() + static_cast<std::ptrdiff_t>(p.begin),
                   wire_.begin() + static_cast<std::ptrdiff_t>(p.end));
        ++played_;
        if (next_ == packets_.size() && loop_) {
            // Again from the start, one mean packet interval after the last (a second for a
            // capture of one packet).
            const auto span = packets_.back().offset;
            // At least a millisecond, and one pass per call: a capture whose packets all carry
            // one time must not fill the line at once.
            const auto gap = std::max<std::chrono::nanoseconds>(
                std::chrono::milliseconds(1),
                packets_.size() > 1 ? span / static_cast<std::int64_t>(packets_.size() - 1)
                                    : std::chrono::nanoseconds(std::chrono::seconds(1)));
            base_ += Scaled(span + gap);
            next_ = 0;
            break;
        }
    }
}

std::optional<Replay::Clock::time_point> Replay::NextDue() const {
    if (!playing_ || next_ == packets_.size()) {
        return std::nullopt;
    }
    return base_ + Scaled(packets_[next_].offset);
}

}  // namespace norvane::sim
