// Arbitrary texts and capacities through the hex codec and the preparing of stored texts. Byte 0
// is a mode, bytes 1-2 the capacity, the rest the text; with mode bit 0 set the text is repeated
// across the codec's 19,998-digit limit. Buffers are exactly the capacity, for AddressSanitizer.
#include <cstdlib>
#include <memory>
#include <string>

#include "diag/command_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::size_t capacity = (data[1] | (data[2] << 8)) % 20100U, to = 19990U + (data[0] >> 1);
    std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
    for (const std::string unit = text; (data[0] & 1) != 0 && !unit.empty() && text.size() < to;) {
        text.append(unit, 0, to - text.size());
    }
    auto buffer = std::make_unique<std::uint8_t[]>(capacity);
    std::size_t length = text.size(), n = text.size() / 2;
    norvane::HexTextToBytes(text.data(), length, buffer.get(), capacity);
    const bool fits = n <= norvane::kHexCodecMaxBytes && n < capacity;
    if (fits ? length != n || buffer[n] != 0 : length != 0 || (capacity > 0 && buffer[0] != 0)) {
        std::abort();
    }
    n = norvane::StoredFrameToBytes(text, {buffer.get(), capacity});
    if (n != 0 && (n >= capacity || buffer[n] != 0)) {
        std::abort();
    }
    return 0;
}
