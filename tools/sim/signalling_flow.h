// The signalling the simulated modem logs: on LTE, system information and paging while the
// scene is idle, the connection set-up (with its NAS message) as it connects, measurement reports
// and reconfigurations while connected, in every other connected phase (the first on) a handover to
// another cell, and the release as it goes idle; on WCDMA the same course in phases of its own, a
// soft handover (active set update) now and then. LTE RRC goes as 0xB0C0 version 26, NAS as the
// plain NAS logs, WCDMA RRC as 0x412F with the serving cell; each only while its log is on.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>

#include "diag/signalling.h"
#include "tools/sim/lte_radio.h"
#include "tools/sim/radio.h"

namespace norvane::sim {

class SignallingFlow {
  public:
    using LogOn = std::function<bool(std::uint16_t code)>;
    // Takes each log frame (header included) that is due.
    using Emit = std::function<void(std::span<const std::uint8_t> frame)>;

    SignallingFlow(LogOn on, Emit out) : on_(std::move(on)), emit_(std::move(out)) {}

    // The messages due at `uptimeMs`, stamped `stamp`. A handover moves the scene's serving cell.
    void Lte(LteScene& scene, std::uint64_t uptimeMs, std::int64_t stamp);
    void Wcdma(const SimCell& serving, std::uint64_t uptimeMs, std::int64_t stamp);

  private:
    // Whether the phase changed (set-up or release due; not when the flow begins idle), and
    // whether a second has passed since the last periodic messages.
    bool PhaseChanged(bool connected, std::uint64_t uptimeMs);
    bool SecondDue(std::uint64_t uptimeMs);
    void LteRrc(SignallingChannel channel, std::span<const std::uint8_t> pdu);
    void LteNas(SignallingDirection direction, std::span<const std::uint8_t> pdu);
    void WcdmaRrc(SignallingChannel channel, std::span<const std::uint8_t> pdu);
    void Send(std::size_t length);

    LogOn on_;
    Emit emit_;
    SignallingMessage m_;  // the cell and time of the messages being written
    std::int64_t stamp_ = 0;
    bool known_ = false;  // the phase below has been seen
    bool connected_ = false;
    std::optional<std::uint64_t> wcdmaOriginMs_;  // the first WCDMA cycle's start
    std::uint64_t nextMs_ = 0;                    // the next periodic messages
    unsigned seconds_ = 0;                        // periodic rounds in this phase
    unsigned cycles_ = 0;                         // connected phases begun
    std::array<std::uint8_t, 512> frame_{};
};

}  // namespace norvane::sim
