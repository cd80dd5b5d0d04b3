// Reading udev: the tty devices, the USB device and interface behind each, and the names the
// list shows for them. One read of the tty list serves every source that comes from udev.
#pragma once

#include <string>
#include <vector>

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

}  // namespace norvane::discovery
