#include "link/port_discovery.h"

#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace norvane {

int PortList::AddString(std::string_view entry) {
    entries.emplace_back(entry);
    return static_cast<int>(entries.size()) - 1;
}

void PortList::SetCurSel(int index) {
    // Like a drop-down list: an index outside the list leaves nothing selected.
    selected = (index >= 0 && static_cast<std::size_t>(index) < entries.size()) ? index : -1;
}

namespace {

// ---------------------------------------------------------------------------------------------
// Text from sysfs, the udev database and USB string descriptors is written by the device or its
// firmware: every value is length-checked and cleaned before it becomes part of a name.

constexpr std::size_t kMaxRawValue = 4096;  // longer than any name; such a value is ignored
constexpr std::size_t kMaxVendorBytes = 48;
constexpr std::size_t kMaxModelBytes = 64;
constexpr std::size_t kMaxInterfaceBytes = 64;
constexpr std::size_t kMaxKernelNameBytes = 32;
constexpr std::size_t kMaxDriverBytes = 64;

std::optional<std::string_view> Raw(const char* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    const std::size_t n = strnlen(value, kMaxRawValue + 1);
    if (n > kMaxRawValue) {
        return std::nullopt;
    }
    return std::string_view(value, n);
}

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 when it is malformed (overlong
// forms, surrogates and values past U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char c = at(0);
    const std::size_t left = text.size() - i;
    if (c < 0x80) {
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        return (left >= 2 && IsContinuation(at(1))) ? 2 : 0;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (left < 3 || !IsContinuation(at(1)) || !IsContinuation(at(2))) {
            return 0;
        }
        if ((c == 0xE0 && at(1) < 0xA0) || (c == 0xED && at(1) > 0x9F)) {
            return 0;
        }
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (left < 4 || !IsContinuation(at(1)) || !IsContinuation(at(2)) ||
            !IsContinuation(at(3))) {
            return 0;
        }
        if ((c == 0xF0 && at(1) < 0x90) || (c == 0xF4 && at(1) > 0x8F)) {
            return 0;
        }
        return 4;
    }
    return 0;
}

// Keeps well-formed UTF-8, turns control characters and runs of blanks into one blank and
// malformed bytes into '?', trims, and cuts at a character boundary within maxBytes.
std::string CleanText(std::string_view raw, std::size_t maxBytes) {
    std::string out;
    bool blankPending = false;
    std::size_t i = 0;
    while (i < raw.size()) {
        const auto c = static_cast<unsigned char>(raw[i]);
        const std::size_t len = Utf8SequenceLength(raw, i);
        if (len == 1 && (c <= 0x20 || c == 0x7F)) {
            blankPending = !out.empty();
            ++i;
            continue;
        }
        const std::string_view piece = (len == 0) ? std::string_view("?") : raw.substr(i, len);
        i += (len == 0) ? 1 : len;
        if (out.size() + piece.size() + (blankPending ? 1 : 0) > maxBytes) {
            break;
        }
        if (blankPending) {
            out += ' ';
            blankPending = false;
        }
        out += piece;
    }
    return out;
}

std::string CleanValue(std::optional<std::string_view> raw, std::size_t maxBytes) {
    return raw ? CleanText(*raw, maxBytes) : std::string();
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    const auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                                [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
    return !part.empty() && it != text.end();
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

// A hexadecimal sysfs number such as idVendor "12d1" or bInterfaceNumber "01".
std::optional<unsigned> ParseHex(std::optional<std::string_view> text, std::size_t maxDigits) {
    if (!text || text->empty() || text->size() > maxDigits) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char ch : *text) {
        const char c = LowerAscii(ch);
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

std::optional<unsigned> ParseDecimal(std::optional<std::string_view> text) {
    if (!text || text->empty() || text->size() > 9) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : *text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

// Device node order with numbers compared by value: ttyUSB2 before ttyUSB10.
bool NaturalLess(std::string_view a, std::string_view b) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && isDigit(a[ie])) {
                ++ie;
            }
            while (je < b.size() && isDigit(b[je])) {
                ++je;
            }
            std::string_view na = a.substr(i, ie - i);
            std::string_view nb = b.substr(j, je - j);
            na.remove_prefix(std::min(na.find_first_not_of('0'), na.size()));
            nb.remove_prefix(std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) {
                return na.size() < nb.size();
            }
            if (na != nb) {
                return na < nb;
            }
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) {
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            }
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j)) {
        return (a.size() - i) < (b.size() - j);
    }
    return a < b;  // equal by value ("01" and "1"): keep the order strict
}

// ---------------------------------------------------------------------------------------------
// Ports whose role is known from the device's USB layout, for sticks that ModemManager's rules
// do not tag. One block per device; the interface number is bInterfaceNumber.

struct KnownPort {
    std::uint16_t vendor;
    std::uint16_t product;
    std::uint8_t interfaceNumber;
    std::string_view role;
};

constexpr KnownPort kKnownPorts[] = {
    // Huawei E169 / E620 / E800 / E1550 in modem mode (12d1:1001), served by the option driver
    // as three ports: modem (PPP), diagnostics (DM, the port its Windows driver calls the
    // "Application Interface"), and the PC UI AT port that stays usable while the modem port
    // carries PPP. From the sticks' Windows driver port names and the option driver's layout.
    {0x12d1, 0x1001, 0, kRoleModem},
    {0x12d1, 0x1001, 1, kRoleDiagnostics},
    {0x12d1, 0x1001, 2, kRolePcUi},
    // Huawei E220 / E270 (12d1:1003): two ports, modem and PC UI (the one that sends the
    // ^RSSI and ^BOOT status lines). From its Windows driver's "3G Modem" and "3G PC UI
    // Interface" ports.
    {0x12d1, 0x1003, 0, kRoleModem},
    {0x12d1, 0x1003, 1, kRolePcUi},
    // Qualcomm Gobi 1000 in the HP un2400 (03f0:1f1d), Linux qcserial's "Gobi 1K" layout:
    // 0 DM/DIAG, 2 AT-capable modem port.
    {0x03f0, 0x1f1d, 0, kRoleDiagnostics},
    {0x03f0, 0x1f1d, 2, kRoleModem},
    // Qualcomm Gobi 2000 in the HP un2420 (03f0:251d), qcserial's "Gobi 2K+" layout:
    // 1 DM/DIAG, 2 AT-capable modem port, 3 NMEA.
    {0x03f0, 0x251d, 1, kRoleDiagnostics},
    {0x03f0, 0x251d, 2, kRoleModem},
    {0x03f0, 0x251d, 3, kRoleNmea},
    // Sierra Wireless MC7710 (1199:68a2), qcserial's Sierra layout: 0 DM/DIAG, 2 NMEA,
    // 3 AT-capable modem port (8 is QMI, not a tty).
    {0x1199, 0x68a2, 0, kRoleDiagnostics},
    {0x1199, 0x68a2, 2, kRoleNmea},
    {0x1199, 0x68a2, 3, kRoleModem},
    // Sierra Wireless MC74xx (1199:9071), the same qcserial Sierra layout.
    {0x1199, 0x9071, 0, kRoleDiagnostics},
    {0x1199, 0x9071, 2, kRoleNmea},
    {0x1199, 0x9071, 3, kRoleModem},
    // ZTE sticks change their layout with the firmware; ModemManager's rules tag their
    // diagnostic ports with ID_MM_PORT_TYPE_QCDM, which PortRole reads first.
};

constexpr std::uint16_t kHuaweiVendor = 0x12d1;

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

struct UsbIds {
    std::optional<unsigned> vendor;
    std::optional<unsigned> product;
    std::optional<unsigned> interfaceNumber;
};

std::optional<std::string_view> KnownRole(const UsbIds& ids) {
    if (!ids.vendor || !ids.product || !ids.interfaceNumber) {
        return std::nullopt;
    }
    for (const KnownPort& row : kKnownPorts) {
        if (row.vendor == *ids.vendor && row.product == *ids.product &&
            row.interfaceNumber == *ids.interfaceNumber) {
            return row.role;
        }
    }
    return std::nullopt;
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

std::string ProductName(udev_device* tty, udev_device* usb, const UsbIds& ids) {
    const std::string vendor = ShortVendor(FirstName(tty, usb, "ID_VENDOR_FROM_DATABASE",
                                                     "ID_VENDOR", "manufacturer", kMaxVendorBytes));
    const std::string model = ShortModel(
        FirstName(tty, usb, "ID_MODEL_FROM_DATABASE", "ID_MODEL", "product", kMaxModelBytes));
    if (vendor.empty() && model.empty()) {
        if (ids.vendor && ids.product) {
            char text[32];
            std::snprintf(text, sizeof text, "USB device %04x:%04x", *ids.vendor, *ids.product);
            return text;
        }
        return "USB device";
    }
    if (model.empty()) {
        return vendor;
    }
    if (vendor.empty() || (StartsWithNoCase(model, vendor) &&
                           (model.size() == vendor.size() || model[vendor.size()] == ' '))) {
        return model;
    }
    return vendor + ' ' + model;
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
    c.friendlyName = FriendlyName(ProductName(tty, usb, ids), PortRole(tty, ids, interfaceString),
                                  interfaceString, KernelName(tty));
    return c;
}

std::string SortKey(const PortCandidate& c) {
    if (c.portName) {
        return *c.portName;
    }
    return c.symbolicName.value_or(std::string());
}

std::vector<PortCandidate> UsbPortCandidates(PortClass source) {
    std::vector<PortCandidate> found;
    ForEachTty([&](udev_device* tty) {
        udev_device* usb = UsbDeviceOf(tty);
        if (usb == nullptr) {
            return;
        }
        udev_device* intf = UsbInterfaceOf(tty);
        if (IsCdcAcm(tty, intf) != (source == PortClass::kModem)) {
            return;
        }
        found.push_back(DescribeUsbPort(tty, intf, usb));
    });
    std::stable_sort(found.begin(), found.end(),
                     [](const PortCandidate& a, const PortCandidate& b) {
                         return NaturalLess(SortKey(a), SortKey(b));
                     });
    return found;
}

// ---------------------------------------------------------------------------------------------
// Source 4: ttys with hardware behind them.

struct SerialCommValue {
    std::string devnode;
    std::string driver;
};

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

std::vector<SerialCommValue> HardwareSerialPorts() {
    std::vector<SerialCommValue> found;
    ForEachTty([&](udev_device* tty) {
        const auto syspath = Raw(udev_device_get_syspath(tty));
        if (!syspath || syspath->find("/devices/virtual/") != std::string_view::npos) {
            return;
        }
        auto devnode = DevicePath(Raw(udev_device_get_devnode(tty)));
        if (!devnode) {
            return;
        }
        if (IsSerial8250Name(KernelName(tty)) && !UartAnswers(tty)) {
            return;
        }
        auto driver = DriverBehind(tty);
        if (!driver) {
            return;
        }
        found.push_back({std::move(*devnode), std::move(*driver)});
    });
    std::stable_sort(found.begin(), found.end(),
                     [](const SerialCommValue& a, const SerialCommValue& b) {
                         return NaturalLess(a.devnode, b.devnode);
                     });
    return found;
}

bool FitsPortName(const std::optional<std::string>& name) {
    return name && name->size() < kPortNameBufferSize;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

constexpr std::string_view kSimulatorLinkName = "norvane-sim";
constexpr std::string_view kPtsPrefix = "/dev/pts/";

}  // namespace

// ---------------------------------------------------------------------------------------------

void AddPortCandidates(PortListView& list, std::span<const PortCandidate> candidates,
                       bool preselect) {
    int newest = -1;  // this call's newest entry
    for (const PortCandidate& c : candidates) {
        if (!c.friendlyName || c.friendlyName->size() >= kFriendlyNameBufferSize) {
            continue;
        }
        const std::string* port = FitsPortName(c.portName)       ? &*c.portName
                                  : FitsPortName(c.symbolicName) ? &*c.symbolicName
                                                                 : nullptr;
        if (port == nullptr) {
            continue;
        }
        if (*port != "LPT1") {
            std::string entry = *port;
            entry += kPortEntrySeparator;
            entry += *c.friendlyName;
            newest = list.AddString(entry);
        }
        // Made even when this device added nothing: the match then selects the entry before.
        if (preselect && newest >= 0) {
            if (Contains(*c.friendlyName, kDiagnosMark)) {
                list.SetCurSel(newest);
            }
            if (Contains(*c.friendlyName, kPcUiMark)) {
                list.SetCurSel(newest);
            }
        }
    }
}

void AddClassPorts(PortListView& list, PortClass source, bool preselect) {
    std::vector<PortCandidate> candidates = UsbPortCandidates(source);
    if (source == PortClass::kPorts) {
        if (auto simulator = RunningSimulatorCandidate()) {
            candidates.push_back(std::move(*simulator));
        }
    }
    AddPortCandidates(list, candidates, preselect);
}

bool ReadSerialCommValue(int index, std::string& data, std::string& name) {
    if (index < 0) {
        return false;
    }
    // The list is read afresh for every index, as a registry key opened per value would be.
    std::vector<SerialCommValue> ports = HardwareSerialPorts();
    if (static_cast<std::size_t>(index) >= ports.size()) {
        return false;
    }
    SerialCommValue& port = ports[static_cast<std::size_t>(index)];
    if (port.devnode.size() >= kSerialCommTextBufferSize ||
        port.driver.size() >= kSerialCommTextBufferSize) {
        return false;
    }
    data = std::move(port.devnode);
    name = std::move(port.driver);
    return true;
}

void FillPortList(PortListView& list) {
    AddClassPorts(list, PortClass::kPorts, true);
    AddClassPorts(list, PortClass::kModem, false);
    list.AddString(SimulatorLinkPath() + std::string(kPortEntrySeparator) + "Simulated modem");
    std::string data;
    std::string name;
    for (int index = 0; index < kMaxSerialCommValues; ++index) {
        if (!ReadSerialCommValue(index, data, name)) {
            break;
        }
        list.AddString(data + std::string(kPortEntrySeparator) + name);
    }
}

std::string SimulatorLinkPath() {
    // A runtime directory holding " - " would be cut there when the entry is opened.
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] == '/' &&
        std::strstr(runtimeDir, " - ") == nullptr) {
        std::string path(runtimeDir);
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        if (path.back() != '/') {
            path += '/';
        }
        return path + std::string(kSimulatorLinkName);
    }
    return "/tmp/" + std::string(kSimulatorLinkName) + '-' + std::to_string(getuid());
}

std::optional<PortCandidate> RunningSimulatorCandidate() {
    const std::string link = SimulatorLinkPath();
    // Only a link of our own: anyone can plant a name under /tmp.
    struct stat linkStat {};
    if (lstat(link.c_str(), &linkStat) != 0 || !S_ISLNK(linkStat.st_mode) ||
        linkStat.st_uid != getuid()) {
        return std::nullopt;
    }
    char target[64];
    const ssize_t n = readlink(link.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) {
        return std::nullopt;
    }
    const std::string_view path(target, static_cast<std::size_t>(n));
    if (path.substr(0, kPtsPrefix.size()) != kPtsPrefix) {
        return std::nullopt;
    }
    const std::string_view number = path.substr(kPtsPrefix.size());
    if (!ParseDecimal(number)) {
        return std::nullopt;
    }
    // A pty's slave node exists only while its master is open, that is while the simulator runs.
    struct stat ptsStat {};
    if (stat(std::string(path).c_str(), &ptsStat) != 0 || !S_ISCHR(ptsStat.st_mode)) {
        return std::nullopt;
    }
    PortCandidate c;
    c.portName = link;
    c.friendlyName = "Simulated UMTS modem Diagnostics (pts/" + std::string(number) + ")";
    return c;
}

}  // namespace norvane
