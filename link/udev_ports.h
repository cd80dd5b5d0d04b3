// Reading udev: the tty devices, the USB device and interface behind each, and the names the
// list shows for them. One read of the tty list serves every source that comes from udev.
#pragma once

#include <string>
#include <vector>

#include "link/known_modems.h"
#include "link/port_discovery.h"

namespace norvane::discovery {

// A source-4 value: a tty with hardware behind it and the kernel driver of that hardware.
struct SerialCommValue {
    std::string devnode;
    std::string driver;
};

// The tty devices as one read of udev's list found them, each source in device node order.
struct TtyScan {
    std::vector<PortCandidate> usbPorts;         // source 1: USB serial ports other than CDC-ACM
    std::vector<PortCandidate> acmPorts;         // source 2: CDC-ACM ports
    std::vector<SerialCommValue> hardwarePorts;  // source 4: ttys with hardware behind them

    const std::vector<PortCandidate>& Of(PortClass source) const {
        return source == PortClass::kModem ? acmPorts : usbPorts;
    }
};

// Reads udev's tty list once. Empty where udev cannot be read.
TtyScan ScanTtys();

// The product part of a USB port's name from the cleaned vendor and model names: both (the model
// alone when it begins with the vendor), the one there is, or, when both are missing,
// "USB device vvvv:pppp" ("USB device" unless both ids are known).
std::string ProductName(std::string_view vendor, std::string_view model, const UsbIds& ids);

}  // namespace norvane::discovery
