// The multi-SIM wrapper (command 0x98): a dual-SIM modem puts every packet it sends into one that
// names the radio the packet belongs to. Little-endian:
//   0      command 0x98
//   1      0x01
//   2..3   zero
//   4..7   radio id, counted from 1; 0 and 0xFFFFFFFF also mean the first radio
//   8..    the packet itself, from its command byte (no check sequence of its own)
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace norvane {

inline constexpr std::uint8_t kMultiSimCommand = 0x98;
inline constexpr std::uint8_t kMultiSimVersion = 0x01;
inline constexpr std::size_t kMultiSimRadioOffset = 4;
inline constexpr std::size_t kMultiSimHeaderSize = 8;

struct SimPacket {
    std::span<const std::uint8_t> packet;
    std::uint32_t sim = 0;  // the radio, 1-based; 0 when the packet came unwrapped
};

// The packet inside a multi-SIM wrapper and its radio; a packet that is not wrapped, as it is with
// sim 0. A wrapper that is not as above (no packet after its header, other bytes 1..3) gives an
// empty packet of sim 0.
// Pure: the packet is a view into `payload`.
SimPacket UnwrapMultiSim(std::span<const std::uint8_t> payload);

// Writes the wrapper's header for radio `radio` into `out`.
void PutMultiSimHeader(std::span<std::uint8_t, kMultiSimHeaderSize> out, std::uint32_t radio);

// Of a dual-SIM modem, the one radio a view shows: the radio of the first wrapped packet is
// chosen and the packets of any other radio are passed over. An unwrapped packet (sim 0: a
// single-SIM modem's) is always taken. Every view and the drive export follow this rule.
class FirstRadio {
  public:
    // Whether a report of radio `sim` (0: unwrapped) is taken; the first wrapped one chooses.
    bool Takes(std::uint32_t sim) {
        if (chosen_ == 0) {
            chosen_ = sim;
        }
        return sim == 0 || sim == chosen_;
    }
    // The radio chosen; 0 until a wrapped packet came.
    std::uint32_t Chosen() const { return chosen_; }
    // Chooses again from the next wrapped packet on (another port, another modem).
    void Forget() { chosen_ = 0; }

  private:
    std::uint32_t chosen_ = 0;
};

}  // namespace norvane
