#include "session/log_masks.h"

#include <algorithm>
#include <iterator>

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

// An NR code (equipment 11 from item 0x800 on) of a modem without NR: never asked.
bool NrWithoutNr(std::uint16_t code, std::uint32_t items) {
    return code >= 0xB800 && code <= 0xBFFF && !NrLogCodesExist(items);
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
            if (EquipmentOf(c) == equipment && (c & 0xFFFu) < items && !NrWithoutNr(c, items)) {
                out.push_back(c);
            }
        }
    }
    SortUnique(out);
    return out;
}

std::vector<std::uint16_t> LogMasks::BeyondMonitor(std::uint32_t equipment,
                                                   std::uint32_t items) const {
    std::vector<std::uint16_t> out;
    for (std::size_t v = 1; v < kLogViewCount; ++v) {
        std::copy_if(
            codes_[v].begin(), codes_[v].end(), std::back_inserter(out),
            [&](std::uint16_t c) { return EquipmentOf(c) == equipment && !NrWithoutNr(c, items); });
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
        return;
    }
    if (LogConfigOperation(payload) != kLogConfigOpSetMask) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        if (maskAnswer_ != MaskAnswer::kAwaited) {
            return;  // not ours, or a mask already answered
        }
        const std::optional<LogMask> inForce = ParseLogMaskSetAnswer(payload);
        if (inForce && inForce->equipment == maskEquipment_) {
            const std::size_t bytes = std::min(inForce->mask.size(), inForce_.size());
            std::fill(std::copy_n(inForce->mask.begin(), bytes, inForce_.begin()), inForce_.end(),
                      std::uint8_t{0});
            inForceBits_ = std::min<std::uint32_t>(inForce->bits, 0x1000);
            maskAnswer_ = MaskAnswer::kInForce;
        } else if (LogConfigStatus(payload).value_or(0) != 0) {
            maskAnswer_ = MaskAnswer::kRefused;  // a refusal need not echo the equipment id
        } else {
            return;  // an answer of another id, or cut short: nothing known
        }
    }
    arrived_.notify_all();
}

void LogConfigAnswers::Reset() {
    const std::lock_guard lock(mutex_);
    counts_.reset();
    maskAnswer_ = MaskAnswer::kNotExpected;
}

void LogConfigAnswers::ExpectMask(std::uint32_t equipment) {
    const std::lock_guard lock(mutex_);
    maskAnswer_ = MaskAnswer::kAwaited;
    maskEquipment_ = equipment;
}

std::optional<std::vector<std::uint16_t>> LogConfigAnswers::WaitForMask(
    std::span<const std::uint16_t> wanted, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    const bool answered =
        arrived_.wait_for(lock, limit, [this] { return maskAnswer_ != MaskAnswer::kAwaited; });
    const MaskAnswer answer = maskAnswer_;
    maskAnswer_ = MaskAnswer::kNotExpected;
    if (!answered || answer == MaskAnswer::kNotExpected) {
        return std::nullopt;
    }
    std::vector<std::uint16_t> off;
    for (const std::uint16_t code : wanted) {
        const std::uint32_t item = code & 0xFFFu;
        const bool on = answer == MaskAnswer::kInForce && item < inForceBits_ &&
                        (inForce_[item / 8] >> (item % 8) & 1) != 0;
        if (!on) {
            off.push_back(code);
        }
    }
    return off;
}

std::optional<LogItemCounts> LogConfigAnswers::WaitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, limit, [this] { return counts_.has_value(); });
    return counts_;
}

}  // namespace norvane
