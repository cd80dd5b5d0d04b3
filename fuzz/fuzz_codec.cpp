// Arbitrary texts and capacities through the hex codec and the preparing of stored texts.
// Input: byte 0 is a mode, bytes 1-2 the capacity (little-endian, below 20,100), the rest the
// text. With mode bit 0 set, the text is repeated up to 19,990 + (mode >> 1) characters, which
// straddles the codec's 19,998-digit limit. Buffers are exactly as large as the capacity, so
// AddressSanitizer reports any write past it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "diag/command_table.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const std::size_t capacity = (data[1] | (data[2] << 8)) % 20100U;
    std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
    if ((mode & 1) != 0 && !text.empty()) {
        const std::size_t target = 19990 + (mode >> 1);
        const std::string unit = text;
        while (text.size() < target) {
            text.append(unit, 0, std::min(unit.size(), target - text.size()));
        }
    }

    auto buffer = std::make_unique<std::uint8_t[]>(capacity);
    std::size_t length = text.size();
    norvane::HexTextToBytes(text.data(), length, buffer.get(), capacity);
    const std::size_t n = text.size() / 2;
    if (n <= norvane::kHexCodecMaxBytes && n < capacity) {
        Check(length == n && buffer[n] == 0);
    } else {
        Check(length == 0 && (capacity == 0 || buffer[0] == 0));
    }

    auto prepared = std::make_unique<char[]>(capacity);
    const std::size_t chars = norvane::PrepareFrameText(text, {prepared.get(), capacity});
    Check(chars <= capacity);
    for (std::size_t i = 0; i < chars; ++i) {
        Check(prepared[i] != ' ');
    }

    const std::size_t bytes = norvane::StoredFrameToBytes(text, {buffer.get(), capacity});
    Check(bytes == 0 || (bytes < capacity && buffer[bytes] == 0));
    return 0;
}
