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
// sim 0. A wrapper that is not as above (too short, other bytes 1..3) gives an empty packet.
// Pure: the packet is a view into `payload`.
SimPacket UnwrapMultiSim(std::span<const std::uint8_t> payload);

// Writes the wrapper's header for radio `radio` into `out`.
void PutMultiSimHeader(std::span<std::uint8_t, kMultiSimHeaderSize> out, std::uint32_t radio);

}  // namespace norvane
