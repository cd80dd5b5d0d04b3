// Arbitrary texts and capacities through the hex codec and the preparing of stored texts.
// Byte 0 is a mode, bytes 1-2 the capacity (little-endian, below 20,100), the rest the text; with
// mode bit 0 set the text is repeated to 19,990 + (mode >> 1) characters, across the codec's
// 19,998-digit limit. Buffers are exactly the capacity, so AddressSanitizer sees any write past.
#include <cstdlib>
#include <memory>
#include <string>

#include "diag/command_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::size_t capacity = (data[1] | (data[2] << 8)) % 20100U;
    std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
    for (const std::string unit = text;
         (data[0] & 1) != 0 && !unit.empty() && text.size() < 19990U + (data[0] >> 1);) {
        text.append(unit, 0, 19990U + (data[0] >> 1) - text.size());
    }
    auto buffer = std::make_unique<std::uint8_t[]>(capacity);
    std::size_t length = text.size();
    norvane::HexTextToBytes(text.data(), length, buffer.get(), capacity);
    const std::size_t n = text.size() / 2;
    const bool fits = n <= norvane::kHexCodecMaxBytes && n < capacity;
    if (fits ? length != n || buffer[n] != 0 : length != 0 || (capacity > 0 && buffer[0] != 0)) {
        std::abort();
    }
    auto prepared = std::make_unique<char[]>(capacity);
    const std::size_t chars = norvane::PrepareFrameText(text, {prepared.get(), capacity});
    if (chars > capacity ||
        std::string_view(prepared.get(), chars).find(' ') != std::string::npos) {
        std::abort();
    }
    const std::size_t bytes = norvane::StoredFrameToBytes(text, {buffer.get(), capacity});
    if (bytes != 0 && (bytes >= capacity || buffer[bytes] != 0)) {
        std::abort();
    }
    return 0;
}
