#include "session/log_masks.h"

#include <algorithm>

namespace norvane {
namespace {

std::uint32_t EquipmentOf(std::uint16_t code) {
    return code >> 12;
}

void AddEquipment(std::span<const std::uint16_t> codes, std::vector<std::uint32_t>& out) {
    for (const std::uint16_t code : codes) {
        out.push_back(EquipmentOf(code));
    }
}

void SortUnique(auto& v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}

}  // namespace

std::vector<std::uint32_t> LogMasks::Set(LogView view, std::span<const std::uint16_t> codes) {
    auto& mine = codes_[static_cast<std::size_t>(view)];
    std::vector<std::uint32_t> touched;
    AddEquipment(mine, touched);
    AddEquipment(codes, touched);
    mine.assign(codes.begin(), codes.end());
    SortUnique(touched);
    return touched;
}

bool LogMasks::OthersNeed(LogView view, std::uint32_t equipment) const {
    for (std::size_t v = 0; v < kLogViewCount; ++v) {
        if (v != static_cast<std::size_t>(view) &&
            std::any_of(codes_[v].begin(), codes_[v].end(),
                        [&](std::uint16_t c) { return EquipmentOf(c) == equipment; })) {
            return true;
        }
    }
    return false;
}

bool LogMasks::AnyBeyondMonitor() const {
    return !EquipmentBeyondMonitor().empty();
}

std::vector<std::uint16_t> LogMasks::Union(std::uint32_t equipment, std::uint32_t items) const {
    std::vector<std::uint16_t> out;
    for (const auto& codes : codes_) {
        for (const std::uint16_t c : codes) {
            if (EquipmentOf(c) == equipment && (c & 0xFFFu) < items) {
                out.push_back(c);
            }
        }
    }
    SortUnique(out);
    return out;
}

std::vector<std::uint32_t> LogMasks::EquipmentBeyondMonitor() const {
    std::vector<std::uint32_t> out;
    for (std::size_t v = 1; v < kLogViewCount; ++v) {
        AddEquipment(codes_[v], out);
    }
    SortUnique(out);
    return out;
}

void LogConfigAnswers::Offer(std::span<const std::uint8_t> payload) {
    if (const std::optional<LogItemCounts> counts = ParseLogItemCounts(payload)) {
        {
            const std::lock_guard lock(mutex_);
            counts_ = counts;
        }
        arrived_.notify_all();
    }
}

void LogConfigAnswers::Reset() {
    const std::lock_guard lock(mutex_);
    counts_.reset();
}

std::optional<LogItemCounts> LogConfigAnswers::WaitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, limit, [this] { return counts_.has_value(); });
    return counts_;
}

}  // namespace norvane
