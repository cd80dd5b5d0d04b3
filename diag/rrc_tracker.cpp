#include "diag/rrc_tracker.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace norvane {
namespace {

// Messages that leave the modem connected or idle, LTE and WCDMA alike (WCDMA's release is
// answered by a completion the modem sends before it goes idle).
constexpr std::array<std::string_view, 6> kToConnected = {
    "RRCConnectionSetup",           "RRCConnectionSetupComplete",
    "RRCConnectionReestablishment", "RRCConnectionReestablishmentComplete",
    "RRCConnectionResume-r13",      "RRCConnectionResumeComplete-r13"};
constexpr std::array<std::string_view, 3> kToIdle = {
    "RRCConnectionRelease", "RRCConnectionReleaseComplete", "RRCConnectionReject"};

bool Among(std::span<const std::string_view> names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Appends `text` or the decimal `value` at `at`; false when it does not fit.
bool Put(std::span<char> out, std::size_t& at, std::string_view text) {
    if (text.size() > out.size() - at) {
        return false;
    }
    at = static_cast<std::size_t>(std::copy(text.begin(), text.end(), out.begin() + at) -
                                  out.begin());
    return true;
}
bool Put(std::span<char> out, std::size_t& at, std::uint32_t value) {
    const auto [end, error] = std::to_chars(out.data() + at, out.data() + out.size(), value);
    at = static_cast<std::size_t>(end - out.data());
    return error == std::errc{};
}

}  // namespace

RrcEvent RrcTracker::Add(const SignallingMessage& m) {
    RrcEvent event;
    if (m.protocol != SignallingProtocol::kRrc) {
        return event;
    }
    const RrcState before = state_;
    if (Among(kToIdle, m.name)) {
        state_ = RrcState::kIdle;
        reconfiguring_ = false;
    } else if (Among(kToConnected, m.name) || m.channel == SignallingChannel::kDlDcch ||
               m.channel == SignallingChannel::kUlDcch) {
        state_ = RrcState::kConnected;
    }
    if (m.rat == SignallingRat::kLte && m.name == "RRCConnectionReconfiguration") {
        reconfiguring_ = true;
        pci_ = m.pci;
        earfcn_ = m.earfcn;
    } else if (m.rat == SignallingRat::kLte && reconfiguring_ &&
               m.name == "RRCConnectionReconfigurationComplete") {
        reconfiguring_ = false;
        if (m.pci != pci_ || m.earfcn != earfcn_) {
            event = {RrcEvent::Kind::kHandover, pci_, m.pci, earfcn_, m.earfcn};
            return event;
        }
    }
    if (state_ != before) {
        event.kind =
            state_ == RrcState::kConnected ? RrcEvent::Kind::kConnected : RrcEvent::Kind::kIdle;
    }
    return event;
}

std::size_t HandoverText(const RrcEvent& h, std::span<char> out) {
    std::size_t at = 0;
    const bool fits =
        Put(out, at, "Handover PCI ") && Put(out, at, h.fromPci) && Put(out, at, " \u2192 ") &&
        Put(out, at, h.toPci) &&
        (h.fromEarfcn == h.toEarfcn || (Put(out, at, ", EARFCN ") && Put(out, at, h.fromEarfcn) &&
                                        Put(out, at, " \u2192 ") && Put(out, at, h.toEarfcn)));
    return fits ? at : 0;
}

}  // namespace norvane
