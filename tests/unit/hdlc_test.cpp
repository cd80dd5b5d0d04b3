#include "diag/hdlc.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace norvane {
namespace {

TEST(Crc16X25, CheckValueOfStandardString) {
    const std::string s = "123456789";
    const std::vector<std::uint8_t> bytes(s.begin(), s.end());
    EXPECT_EQ(Crc16X25(bytes), 0x906E);
}

TEST(HdlcEncode, VersionCommandIsTheStoredFrame) {
    const std::array<std::uint8_t, 1> payload{0x00};
    std::array<std::uint8_t, 8> out{};
    ASSERT_EQ(HdlcEncode(payload, out), 4U);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0x78);
    EXPECT_EQ(out[2], 0xF0);
    EXPECT_EQ(out[3], 0x7E);
}

}  // namespace
}  // namespace norvane
