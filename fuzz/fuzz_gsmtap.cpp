// Arbitrary bytes as a capture packet and as a live datagram. A packet that parses must give a
// payload inside the input, and building that payload again must parse to the same frame.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "diag/gsmtap.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

std::array<std::uint8_t, 0x10000> g_rebuilt;

void CheckFrame(const norvane::GsmtapFrame& frame, std::span<const std::uint8_t> in) {
    if (frame.check != norvane::GsmtapCheck::kOk) {
        Check(frame.payload.empty());
        return;
    }
    Check(frame.payload.data() >= in.data() &&
          frame.payload.data() + frame.payload.size() <= in.data() + in.size());
    const std::size_t n = norvane::BuildGsmtapPacket(frame.direction, frame.payload, g_rebuilt);
    Check(n == norvane::kGsmtapPacketOverhead + frame.payload.size());
    const norvane::GsmtapFrame again = norvane::ParseGsmtapPacket(std::span(g_rebuilt).first(n));
    Check(again.check == norvane::GsmtapCheck::kOk && again.direction == frame.direction &&
          std::equal(again.payload.begin(), again.payload.end(), frame.payload.begin(),
                     frame.payload.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> in(data, size);
    CheckFrame(norvane::ParseGsmtapPacket(in), in);
    CheckFrame(norvane::ParseGsmtapDatagram(in), in);
    return 0;
}
