#include "link/udev_ports.h"

#include <libudev.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "link/known_modems.h"
#include "link/port_text.h"

namespace norvane::discovery {

namespace {

// Longest cleaned text kept of each name part.
constexpr std::size_t kMaxVendorBytes = 48;
constexpr std::size_t kMaxModelBytes = 64;
constexpr std::size_t kMaxInterfaceBytes = 64;
constexpr std::size_t kMaxKernelNameBytes = 32;
constexpr std::size_t kMaxDriverBytes = 64;

// ---------------------------------------------------------------------------------------------
// libudev handles. Every call may return null: each step is checked.

struct UdevUnref {
    void operator()(udev* u) const { udev_unref(u); }
};
struct EnumerateUnref {
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};
struct DeviceUnref {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, EnumerateUnref>;
using DevicePtr = std::unique_ptr<udev_device, DeviceUnref>;

std::optional<std::string_view> Property(udev_device* dev, const char* key) {
    return dev ? Raw(udev_device_get_property_value(dev, key)) : std::nullopt;
}

std::optional<std::string_view> Sysattr(udev_device* dev, const char* key) {
    return dev ? Raw(udev_device_get_sysattr_value(dev, key)) : std::nullopt;
}

bool PropertyIs(udev_device* dev, const char* key, std::string_view value) {
    const auto v = Property(dev, key);
    return v && *v == value;
}

std::optional<std::string_view> Driver(udev_device* dev) {
    return dev ? Raw(udev_device_get_driver(dev)) : std::nullopt;
}

// Calls visit(device) for every device of the tty class, as libudev lists them.
template <typename Visit>
void ForEachTty(Visit&& visit) {
    const UdevPtr u(udev_new());
    if (!u) {
        return;
    }
    const EnumeratePtr e(udev_enumerate_new(u.get()));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        return;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get())) {
        const char* syspath = udev_list_entry_get_name(entry);
        if (syspath == nullptr) {
            continue;
        }
        const DevicePtr dev(udev_device_new_from_syspath(u.get(), syspath));
        if (dev) {
            visit(dev.get());
        }
    }
}

// A device path fit to open: absolute, printable, and not holding the entry separator.
std::optional<std::string> DevicePath(std::optional<std::string_view> raw) {
    if (!raw || raw->empty() || raw->front() != '/' ||
        raw->find(kPortEntrySeparator) != std::string_view::npos) {
        return std::nullopt;
    }
    for (const char ch : *raw) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            return std::nullopt;
        }
    }
    return std::string(*raw);
}

std::optional<std::string> FirstDevlink(udev_device* dev) {
    udev_list_entry* link = udev_device_get_devlinks_list_entry(dev);
    return link ? DevicePath(Raw(udev_list_entry_get_name(link))) : std::nullopt;
}

std::string KernelName(udev_device* dev) {
    return CleanValue(Raw(udev_device_get_sysname(dev)), kMaxKernelNameBytes);
}

// ---------------------------------------------------------------------------------------------
// Sources 1 and 2: USB serial ports.

udev_device* UsbInterfaceOf(udev_device* tty) {
    return udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
}

udev_device* UsbDeviceOf(udev_device* tty) {
    return udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
}

bool IsCdcAcm(udev_device* tty, udev_device* intf) {
    if (const auto driver = Driver(intf)) {
        return *driver == "cdc_acm";
    }
    return PropertyIs(tty, "ID_USB_DRIVER", "cdc_acm");
}

// A USB interface string that names the diagnostic port ("... Diagnostics", "... DM").
bool InterfaceNamesDiagnostics(std::string_view interfaceString) {
    if (ContainsNoCase(interfaceString, "diag")) {
        return true;
    }
    std::size_t pos = 0;
    while (pos < interfaceString.size()) {
        const std::size_t end = std::min(interfaceString.find(' ', pos), interfaceString.size());
        const std::string_view word = interfaceString.substr(pos, end - pos);
        if (word == "DM" || word == "QCDM") {
            return true;
        }
        pos = end + 1;
    }
    return false;
}

// The hso driver names each of its ports in the tty's "hsotype" attribute ("Diagnostic",
// "Diagnostic2", "Modem", "Application", "Control", "GPS", ...).
bool HsoTypeIs(udev_device* tty, std::string_view type) {
    const auto value = Sysattr(tty, "hsotype");
    return value && StartsWithNoCase(*value, type);
}

std::string_view PortRole(udev_device* tty, const UsbIds& ids, std::string_view interfaceString) {
    if (PropertyIs(tty, "ID_MM_PORT_TYPE_QCDM", "1") || HsoTypeIs(tty, "Diagnostic") ||
        InterfaceNamesDiagnostics(interfaceString)) {
        return kRoleDiagnostics;
    }
    if (ids.vendor == kHuaweiVendor && (PropertyIs(tty, "ID_MM_HUAWEI_AT_PORT", "1") ||
                                        ContainsNoCase(interfaceString, "PC UI"))) {
        return kRolePcUi;
    }
    if (const auto known = KnownRole(ids)) {
        return *known;
    }
    if (PropertyIs(tty, "ID_MM_PORT_TYPE_AT_PPP", "1") || HsoTypeIs(tty, "Modem")) {
        return kRoleModem;
    }
    if (PropertyIs(tty, "ID_MM_PORT_TYPE_GPS", "1")) {
        return kRoleNmea;
    }
    return {};
}

// The first of the named values that is not empty once cleaned; udev's ID_VENDOR and ID_MODEL
// carry '_' for blanks.
std::string FirstName(udev_device* tty, udev_device* usb, const char* fromDatabase,
                      const char* udevName, const char* usbAttribute, std::size_t maxBytes) {
    for (udev_device* dev : {tty, usb}) {
        if (std::string s = CleanValue(Property(dev, fromDatabase), maxBytes); !s.empty()) {
            return s;
        }
    }
    if (const auto raw = Property(tty, udevName)) {
        std::string blanks(*raw);
        std::replace(blanks.begin(), blanks.end(), '_', ' ');
        if (std::string s = CleanText(blanks, maxBytes); !s.empty()) {
            return s;
        }
    }
    return CleanValue(Sysattr(usb, usbAttribute), maxBytes);
}

// "Huawei Technologies Co., Ltd." -> "Huawei": the maker's name without its company form.
std::string ShortVendor(std::string vendor) {
    static constexpr std::string_view kCompanyWords[] = {
        "co.",  "co",          "ltd.",    "ltd",          "inc.", "inc",          "corp.",
        "corp", "corporation", "limited", "incorporated", "gmbh", "ag",           "llc",
        "plc",  "bv",          "b.v.",    "nv",           "n.v.", "technologies", "technology"};
    vendor = vendor.substr(0, vendor.find(','));
    while (true) {
        const std::size_t blank = vendor.rfind(' ');
        if (blank == std::string::npos) {
            break;
        }
        std::string last = vendor.substr(blank + 1);
        std::transform(last.begin(), last.end(), last.begin(), LowerAscii);
        if (std::find(std::begin(kCompanyWords), std::end(kCompanyWords), last) ==
            std::end(kCompanyWords)) {
            break;
        }
        vendor.resize(blank);
    }
    while (!vendor.empty() && vendor.back() == ' ') {
        vendor.pop_back();
    }
    return vendor;
}

// The hardware database lists alternatives as "E220 HSDPA Modem / E230/E270 ...": the first.
std::string ShortModel(std::string model) {
    model = model.substr(0, model.find(" / "));
    return model;
}

std::string ProductNameOf(udev_device* tty, udev_device* usb, const UsbIds& ids) {
    const std::string vendor = ShortVendor(FirstName(tty, usb, "ID_VENDOR_FROM_DATABASE",
                                                     "ID_VENDOR", "manufacturer", kMaxVendorBytes));
    const std::string model = ShortModel(
        FirstName(tty, usb, "ID_MODEL_FROM_DATABASE", "ID_MODEL", "product", kMaxModelBytes));
    return ProductName(vendor, model, ids);
}

// "Huawei E220 HSDPA Modem - Diagnostics (ttyUSB1)".
std::string FriendlyName(std::string_view product, std::string_view role,
                         std::string_view interfaceString, std::string_view kernelName) {
    std::string description(role);
    if (!interfaceString.empty() && (role.empty() || !ContainsNoCase(interfaceString, role))) {
        if (!description.empty()) {
            description += ", ";
        }
        description += interfaceString;
    }
    std::string name(product);
    if (!description.empty()) {
        name += kPortEntrySeparator;
        name += description;
    }
    name += " (";
    name += kernelName;
    name += ')';
    return name;
}

PortCandidate DescribeUsbPort(udev_device* tty, udev_device* intf, udev_device* usb) {
    UsbIds ids;
    ids.vendor = ParseHex(Sysattr(usb, "idVendor"), 4);
    ids.product = ParseHex(Sysattr(usb, "idProduct"), 4);
    ids.interfaceNumber = ParseHex(Sysattr(intf, "bInterfaceNumber"), 2);
    if (!ids.interfaceNumber) {
        ids.interfaceNumber = ParseHex(Property(tty, "ID_USB_INTERFACE_NUM"), 2);
    }
    const std::string interfaceString = CleanValue(Sysattr(intf, "interface"), kMaxInterfaceBytes);
    PortCandidate c;
    c.portName = DevicePath(Raw(udev_device_get_devnode(tty)));
    c.symbolicName = FirstDevlink(tty);
    c.friendlyName = FriendlyName(ProductNameOf(tty, usb, ids), PortRole(tty, ids, interfaceString),
                                  interfaceString, KernelName(tty));
    return c;
}

std::string SortKey(const PortCandidate& c) {
    if (c.portName) {
        return *c.portName;
    }
    return c.symbolicName.value_or(std::string());
}

// ---------------------------------------------------------------------------------------------
// Source 4: ttys with hardware behind them.

bool IsSerial8250Name(std::string_view kernelName) {
    return kernelName.size() > 4 && kernelName.substr(0, 4) == "ttyS" && kernelName[4] >= '0' &&
           kernelName[4] <= '9';
}

// The driver of the hardware behind a tty: its parent's, past the serial core's own
// "serial-base" port and controller devices. Nothing when that device has no driver bound.
std::optional<std::string> DriverBehind(udev_device* tty) {
    for (udev_device* p = udev_device_get_parent(tty); p != nullptr;
         p = udev_device_get_parent(p)) {
        const auto subsystem = Raw(udev_device_get_subsystem(p));
        if (subsystem && *subsystem == "serial-base") {
            continue;
        }
        std::string driver = CleanValue(Driver(p), kMaxDriverBytes);
        if (driver.empty()) {
            return std::nullopt;
        }
        return driver;
    }
    return std::nullopt;
}

// The kernel registers ttyS0..N whether or not a UART is there; the serial core's "type"
// attribute is the UART type it found, 0 (PORT_UNKNOWN) when none answered.
bool UartAnswers(udev_device* tty) {
    const auto type = ParseDecimal(Sysattr(tty, "type"));
    return type && *type != 0;
}

std::optional<SerialCommValue> HardwarePort(udev_device* tty) {
    const auto syspath = Raw(udev_device_get_syspath(tty));
    if (!syspath || syspath->find("/devices/virtual/") != std::string_view::npos) {
        return std::nullopt;
    }
    auto devnode = DevicePath(Raw(udev_device_get_devnode(tty)));
    if (!devnode) {
        return std::nullopt;
    }
    if (IsSerial8250Name(KernelName(tty)) && !UartAnswers(tty)) {
        return std::nullopt;
    }
    auto driver = DriverBehind(tty);
    if (!driver) {
        return std::nullopt;
    }
    return SerialCommValue{std::move(*devnode), std::move(*driver)};
}

}  // namespace

std::string ProductName(std::string_view vendor, std::string_view model, const UsbIds& ids) {
    if (vendor.empty() && model.empty()) {
        if (ids.vendor && ids.product) {
            char text[32];
            std::snprintf(text, sizeof text, "USB device %04x:%04x", *ids.vendor, *ids.product);
            return text;
        }
        return "USB device";
    }
    if (model.empty()) {
        return std::string(vendor);
    }
    if (vendor.empty() || (StartsWithNoCase(model, vendor) &&
                           (model.size() == vendor.size() || model[vendor.size()] == ' '))) {
        return std::string(model);
    }
    return std::string(vendor) + ' ' + std::string(model);
}

TtyScan ScanTtys() {
    TtyScan scan;
    ForEachTty([&](udev_device* tty) {
        if (udev_device* usb = UsbDeviceOf(tty)) {
            udev_device* intf = UsbInterfaceOf(tty);
            auto& ports = IsCdcAcm(tty, intf) ? scan.acmPorts : scan.usbPorts;
            ports.push_back(DescribeUsbPort(tty, intf, usb));
        }
        if (auto port = HardwarePort(tty)) {
            scan.hardwarePorts.push_back(std::move(*port));
        }
    });
    const auto byNode = [](const PortCandidate& a, const PortCandidate& b) {
        return NaturalLess(SortKey(a), SortKey(b));
    };
    std::stable_sort(scan.usbPorts.begin(), scan.usbPorts.end(), byNode);
    std::stable_sort(scan.acmPorts.begin(), scan.acmPorts.end(), byNode);
    std::stable_sort(scan.hardwarePorts.begin(), scan.hardwarePorts.end(),
                     [](const SerialCommValue& a, const SerialCommValue& b) {
                         return NaturalLess(a.devnode, b.devnode);
                     });
    return scan;
}

}  // namespace norvane::discovery
