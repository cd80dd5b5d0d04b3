#include "tools/sim/replay.h"

#include <algorithm>

#include "capture/reader.h"
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
    if (reader->format() == CaptureFormat::kRaw) {
        error = "cannot replay " + path +
                ": not a pcap or pcapng capture (a raw stream has no "
                "packet times)";
        return std::nullopt;
    }
    Replay replay;
    replay.speed_ = speed;
    replay.loop_ = loop;
    std::vector<std::uint8_t> frame(2 * kFrameBufferSize + 8);  // every byte escaped, CRC, flag
    CaptureReader::Packet packet;
    std::optional<CaptureTime> first;
    std::chrono::nanoseconds last{0};
    for (;;) {
        const CaptureReader::Status status = reader->Next(packet, failure);
        if (status == CaptureReader::Status::kError) {
            error = "cannot replay " + failure.message;
            return std::nullopt;
        }
        if (status == CaptureReader::Status::kEnd) {
            break;
        }
        // Only the modem's log packets, also a dual-SIM modem's wrapped ones: the replies to
        // the host's commands are given live.
        const std::span<const std::uint8_t> inner = UnwrapMultiSim(packet.bytes).packet;
        if (packet.direction != FrameDirection::kFromModem || inner.empty() ||
            inner[0] != kLogCommand) {
            continue;
        }
        const std::size_t length = HdlcEncode(packet.bytes, frame);
        if (length == 0) {
            continue;  // longer than any frame the monitor would take
        }
        if (!first) {
            first = packet.time;
        }
        // A capture's clock may step back (the host's clock was set): never play backwards.
        last = std::max(last,
                        std::chrono::duration_cast<std::chrono::nanoseconds>(packet.time - *first));
        replay.packets_.push_back({last, replay.wire_.size(), replay.wire_.size() + length});
        replay.wire_.insert(replay.wire_.end(), frame.begin(),
                            frame.begin() + static_cast<std::ptrdiff_t>(length));
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
