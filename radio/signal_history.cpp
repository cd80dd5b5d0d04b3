#include "radio/signal_history.h"

#include <algorithm>

namespace norvane {
namespace {

std::size_t Slot(std::int64_t second) {
    return static_cast<std::size_t>(((second % kHistorySeconds) + kHistorySeconds) %
                                    kHistorySeconds);
}

}  // namespace

void SignalHistory::MarkHandover(std::int64_t second) {
    newest_ = std::max(newest_, second);
    handovers_[Slot(second)] = second + 1;
}

void SignalHistory::Take(std::int64_t second, const HistoryValue* serving,
                         std::span<const HistoryValue> neighbours) {
    newest_ = std::max(newest_, second);
    if (serving != nullptr) {
        if (hasServing_ && !(serving->cell == serving_)) {
            handovers_[Slot(second)] = second + 1;  // 0 stays "none"
        }
        hasServing_ = true;
        serving_ = serving->cell;
        Put(*serving, second, true);
    }
    // The strongest neighbours first, without sorting (or copying) what the caller holds.
    std::array<const HistoryValue*, kHistoryNeighbours> strongest{};
    std::size_t kept = 0;
    for (const HistoryValue& n : neighbours) {
        if (serving != nullptr && n.cell == serving->cell) {
            continue;
        }
        std::size_t at = kept;
        while (at > 0 && strongest[at - 1]->level < n.level) {
            --at;
        }
        if (at == kHistoryNeighbours) {
            continue;
        }
        const std::size_t last = std::min(kept, kHistoryNeighbours - 1);
        for (std::size_t k = last; k > at; --k) {
            strongest[k] = strongest[k - 1];
        }
        strongest[at] = &n;
        kept = std::min(kept + 1, kHistoryNeighbours);
    }
    for (std::size_t k = 0; k < kept; ++k) {
        Put(*strongest[k], second, false);
    }
}

SignalHistory::Track& SignalHistory::TrackFor(const HistoryCell& cell, std::int64_t second) {
    Track* free = nullptr;
    Track* weakest = nullptr;
    float weakestLevel = 0;
    for (Track& t : tracks_) {
        if (t.used && t.cell == cell) {
            return t;
        }
        const bool expired = !t.used || second - t.lastSecond >= kHistorySeconds;
        if (expired && free == nullptr) {
            free = &t;
        }
        // The weakest neighbour of this second: the serving cell's track is never taken.
        const Sample* s = t.used ? At(t, t.lastSecond) : nullptr;
        if (s != nullptr && !(hasServing_ && t.cell == serving_) &&
            (weakest == nullptr || s->level < weakestLevel)) {
            weakest = &t;
            weakestLevel = s->level;
        }
    }
    Track& t = free != nullptr ? *free : weakest != nullptr ? *weakest : tracks_.back();
    t.used = true;
    t.cell = cell;
    t.lastSecond = -1;
    for (Sample& s : t.ring) {
        s.second = -1;
    }
    return t;
}

void SignalHistory::Put(const HistoryValue& value, std::int64_t second, bool serving) {
    Track& t = TrackFor(value.cell, second);
    Sample& s = t.ring[Slot(second)];
    s = {second, value.level, value.quality, serving};
    t.lastSecond = std::max(t.lastSecond, second);
}

const SignalHistory::Sample* SignalHistory::At(const Track& track, std::int64_t second) const {
    const Sample& s = track.ring[Slot(second)];
    return s.second == second && second >= 0 ? &s : nullptr;
}

bool SignalHistory::HandoverAt(std::int64_t second) const {
    return handovers_[Slot(second)] == second + 1 && newest_ - second < kHistorySeconds;
}

}  // namespace norvane
