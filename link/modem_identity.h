// What makes a tty "the same modem" after it has gone and come back.
//
// A USB modem that drops off the bus (a car's power dip, a hub, a reset after a mode switch)
// returns with new tty names: ttyUSB2 may come back as ttyUSB3. What survives is the USB
// device's serial number (when it has one), the hub port it sits in (its sysfs name, e.g.
// "1-1.2") and the interface the tty belongs to (bInterfaceNumber). A tty is the same modem when
// it has the same device node, or the same interface number and either the same non-empty
// serial number or the same USB port path.
//
// The simulator is not a USB device: it publishes its pty as a symbolic link, and it is back
// when that link leads to a live /dev/pts/N again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct udev;
struct udev_device;

namespace norvane {

struct ModemIdentity {
    std::string devnode;      // "/dev/ttyUSB2", or the path the port was opened by
    std::string serial;       // USB serial number; empty when the device has none
    std::string usbPortPath;  // the USB device's sysfs name ("1-1.2"); empty when not USB
    std::optional<unsigned> interfaceNumber;  // bInterfaceNumber of the tty's USB interface
    std::optional<std::uint16_t> vendor;
    std::optional<std::uint16_t> product;
    // The udev record of this very tty (sysfs path, initialisation time): tells the tty that
    // is still being torn down from one that has been added again under the same path.
    std::string syspath;
    std::string initialized;
};

// The identity of a tty as udev describes it. USB details stay empty for a tty without a USB
// parent, and for a tty whose parents are already gone (a "remove" event).
ModemIdentity IdentityOf(udev_device* tty);

// The identity of the tty whose device node (or one of its udev links) is `devnode`, read from
// the udev database; only `devnode` is set when udev knows no such tty (the simulator's link,
// a pty). Taken while the port is open, so it is known once the device has gone.
ModemIdentity IdentityOfNode(udev* context, std::string_view devnode);
// The same with a udev context of its own, for a caller that holds none.
ModemIdentity IdentityOfNode(std::string_view devnode);

// True when `candidate` is the modem `lost` was: the same device node, or the same interface
// number and the same non-empty serial number or the same non-empty USB port path.
bool SameModem(const ModemIdentity& lost, const ModemIdentity& candidate);

// True when both describe the same udev record: the same sysfs path, added at the same time.
bool SameRecord(const ModemIdentity& a, const ModemIdentity& b);

// The pty slave ("/dev/pts/N") that `linkPath` leads to, when `linkPath` is a symbolic link of
// ours and that slave exists, that is, while its master (the simulator) is open; nullopt
// otherwise. The one check of the simulator's link: the port list and the watch for its return
// both ask it.
std::optional<std::string> LivePtyOfLink(const std::string& linkPath);

}  // namespace norvane
