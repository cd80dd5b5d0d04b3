#include "link/modem_identity.h"

#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "link/port_text.h"

namespace norvane {
namespace {

using discovery::ParseHex;

// Serial numbers and interface numbers come from the device's descriptors; a value longer than
// any real one, or holding control characters, is treated as absent.
constexpr std::size_t kMaxSerialBytes = 126;  // a USB string descriptor holds 126 UTF-16 units
constexpr std::size_t kMaxPortPathBytes = 64;
constexpr std::size_t kMaxPathBytes = 4096;

std::string_view Bounded(const char* value, std::size_t maxBytes) {
    if (value == nullptr) {
        return {};
    }
    const std::size_t n = strnlen(value, maxBytes + 1);
    return n > maxBytes ? std::string_view() : std::string_view(value, n);
}

// Trims blanks and the newline sysfs adds; empty when a control character remains.
std::string Printable(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return {};
        }
    }
    return std::string(text);
}

std::optional<std::uint16_t> ParseId(const char* text) {
    const auto value = ParseHex(Bounded(text, 8), 4);
    return value ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*value)) : std::nullopt;
}

// The kernel names a USB device by bus and hub ports, "1-1.2"; nothing else is a port path.
bool IsPortPath(std::string_view name) {
    const std::size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == name.size()) {
        return false;
    }
    for (const char c : name) {
        if (!((c >= '0' && c <= '9') || c == '-' || c == '.')) {
            return false;
        }
    }
    return true;
}

struct UdevEnumerateUnref {
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};

bool NodeOrLinkIs(udev_device* tty, std::string_view devnode) {
    if (Bounded(udev_device_get_devnode(tty), kMaxPathBytes) == devnode) {
        return true;
    }
    for (udev_list_entry* e = udev_device_get_devlinks_list_entry(tty); e != nullptr;
         e = udev_list_entry_get_next(e)) {
        if (Bounded(udev_list_entry_get_name(e), kMaxPathBytes) == devnode) {
            return true;
        }
    }
    return false;
}

}  // namespace

ModemIdentity IdentityOf(udev_device* tty) {
    ModemIdentity id;
    if (tty == nullptr) {
        return id;
    }
    id.devnode = std::string(Bounded(udev_device_get_devnode(tty), kMaxPathBytes));
    id.syspath = std::string(Bounded(udev_device_get_syspath(tty), kMaxPathBytes));
    id.initialized =
        Printable(Bounded(udev_device_get_property_value(tty, "USEC_INITIALIZED"), 32));
    udev_device* intf = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (usb == nullptr) {
        return id;
    }
    const std::string_view sysname = Bounded(udev_device_get_sysname(usb), kMaxPortPathBytes);
    if (IsPortPath(sysname)) {
        id.usbPortPath = std::string(sysname);
    }
    id.serial = Printable(Bounded(udev_device_get_sysattr_value(usb, "serial"), kMaxSerialBytes));
    if (id.serial.empty()) {
        id.serial = Printable(
            Bounded(udev_device_get_property_value(tty, "ID_SERIAL_SHORT"), kMaxSerialBytes));
    }
    if (intf != nullptr) {
        id.interfaceNumber =
            ParseHex(Bounded(udev_device_get_sysattr_value(intf, "bInterfaceNumber"), 8), 2);
    }
    if (!id.interfaceNumber) {
        id.interfaceNumber =
            ParseHex(Bounded(udev_device_get_property_value(tty, "ID_USB_INTERFACE_NUM"), 8), 2);
    }
    id.vendor = ParseId(udev_device_get_sysattr_value(usb, "idVendor"));
    id.product = ParseId(udev_device_get_sysattr_value(usb, "idProduct"));
    return id;
}

ModemIdentity IdentityOfNode(udev* context, std::string_view devnode) {
    ModemIdentity found;
    found.devnode = std::string(devnode);
    if (context == nullptr) {
        return found;
    }
    std::unique_ptr<udev_enumerate, UdevEnumerateUnref> e(udev_enumerate_new(context));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        return found;
    }
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(e.get()); entry != nullptr;
         entry = udev_list_entry_get_next(entry)) {
        udev_device* tty = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (tty == nullptr) {
            continue;
        }
        if (NodeOrLinkIs(tty, devnode)) {
            found = IdentityOf(tty);
            // Opened through a udev link (/dev/serial/by-id/...): that is the node to compare.
            found.devnode = std::string(devnode);
            udev_device_unref(tty);
            break;
        }
        udev_device_unref(tty);
    }
    return found;
}

ModemIdentity IdentityOfNode(std::string_view devnode) {
    udev* context = udev_new();
    ModemIdentity found = IdentityOfNode(context, devnode);
    if (context != nullptr) {
        udev_unref(context);
    }
    return found;
}

bool SameModem(const ModemIdentity& lost, const ModemIdentity& candidate) {
    if (!lost.devnode.empty() && lost.devnode == candidate.devnode) {
        return true;
    }
    if (!lost.interfaceNumber || lost.interfaceNumber != candidate.interfaceNumber) {
        return false;
    }
    return (!lost.serial.empty() && lost.serial == candidate.serial) ||
           (!lost.usbPortPath.empty() && lost.usbPortPath == candidate.usbPortPath);
}

bool SameRecord(const ModemIdentity& a, const ModemIdentity& b) {
    return !a.syspath.empty() && a.syspath == b.syspath && a.initialized == b.initialized;
}

std::optional<std::string> LivePtyOfLink(const std::string& linkPath) {
    static constexpr std::string_view kPtsPrefix = "/dev/pts/";
    // Only a link of our own: anyone can plant a name under /tmp.
    struct stat linkStat {};
    if (lstat(linkPath.c_str(), &linkStat) != 0 || !S_ISLNK(linkStat.st_mode) ||
        linkStat.st_uid != getuid()) {
        return std::nullopt;
    }
    char target[64];
    const ssize_t n = readlink(linkPath.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) {
        return std::nullopt;
    }
    std::string path(target, static_cast<std::size_t>(n));
    if (!path.starts_with(kPtsPrefix) ||
        !discovery::ParseDecimal(std::string_view(path).substr(kPtsPrefix.size()))) {
        return std::nullopt;
    }
    // A pty's slave node exists only while its master is open.
    struct stat ptsStat {};
    if (stat(path.c_str(), &ptsStat) != 0 || !S_ISCHR(ptsStat.st_mode)) {
        return std::nullopt;
    }
    return path;
}

}  // namespace norvane
