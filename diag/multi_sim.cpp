#include "diag/multi_sim.h"

namespace norvane {

SimPacket UnwrapMultiSim(std::span<const std::uint8_t> payload) {
    if (payload.empty() || payload[0] != kMultiSimCommand) {
        return {payload, 0};
    }
    // A wrapper holds a packet, at least its command byte: one that ends with its header holds
    // nothing to decode and is refused like any other that is not as it must be.
    if (payload.size() <= kMultiSimHeaderSize || payload[1] != kMultiSimVersion ||
        payload[2] != 0x00 || payload[3] != 0x00) {
        return {};
    }
    std::uint32_t radio = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        radio |= static_cast<std::uint32_t>(payload[kMultiSimRadioOffset + i]) << (8 * i);
    }
    return {payload.subspan(kMultiSimHeaderSize), radio == 0 || radio == 0xFFFFFFFFu ? 1 : radio};
}

void PutMultiSimHeader(std::span<std::uint8_t, kMultiSimHeaderSize> out, std::uint32_t radio) {
    out[0] = kMultiSimCommand;
    out[1] = kMultiSimVersion;
    out[2] = 0x00;
    out[3] = 0x00;
    for (std::size_t i = 0; i < 4; ++i) {
        out[kMultiSimRadioOffset + i] = static_cast<std::uint8_t>(radio >> (8 * i));
    }
}

}  // namespace norvane
