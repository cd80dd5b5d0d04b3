// The RRC state and the handovers a stream of signalling messages shows, for a view that lists
// them. Connected: from a connection set-up or re-establishment, or any message on a dedicated
// channel (DL-DCCH, UL-DCCH), which only a connected modem has; idle: from a connection release
// or reject. A handover (LTE): an RRCConnectionReconfiguration answered by its
// RRCConnectionReconfigurationComplete on another cell (PCI or EARFCN): the modem logs each
// message with the cell it went on, so the completion names the cell the modem moved to.
//
// Pure: no allocation, no I/O. Messages are taken by their names (diag/signalling_names.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "diag/signalling.h"

namespace norvane {

enum class RrcState : std::uint8_t { kUnknown, kIdle, kConnected };

// What one message changed.
struct RrcEvent {
    enum class Kind : std::uint8_t { kNone, kConnected, kIdle, kHandover };
    Kind kind = Kind::kNone;
    // kHandover: the cell the reconfiguration came on and the one its completion went on.
    std::uint16_t fromPci = 0;
    std::uint16_t toPci = 0;
    std::uint32_t fromEarfcn = 0;
    std::uint32_t toEarfcn = 0;
};

class RrcTracker {
  public:
    // The next message of the stream (NAS messages change nothing).
    RrcEvent Add(const SignallingMessage& m);
    RrcState state() const { return state_; }

  private:
    RrcState state_ = RrcState::kUnknown;
    bool reconfiguring_ = false;  // a reconfiguration not yet answered, on the cell below
    std::uint16_t pci_ = 0;
    std::uint32_t earfcn_ = 0;
};

// "Handover PCI 185 → 193", with ", EARFCN 1300 → 3050" when the EARFCN changed, into `out`
// (UTF-8, not terminated); its length, or 0 when it does not fit.
std::size_t HandoverText(const RrcEvent& handover, std::span<char> out);

}  // namespace norvane
