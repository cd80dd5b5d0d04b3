// Ports whose role is known from the device's USB layout, for sticks that ModemManager's rules
// do not tag.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace norvane::discovery {

// What identifies a port of a USB device; each part may be missing or unreadable.
struct UsbIds {
    std::optional<unsigned> vendor;
    std::optional<unsigned> product;
    std::optional<unsigned> interfaceNumber;  // bInterfaceNumber
};

inline constexpr std::uint16_t kHuaweiVendor = 0x12d1;

// The role (kRoleDiagnostics, kRoleModem, ...) the table gives this port; nothing for a device
// or interface it does not list, or when any of the ids is missing.
std::optional<std::string_view> KnownRole(const UsbIds& ids);

}  // namespace norvane::discovery
