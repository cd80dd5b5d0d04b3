#include "link/known_modems.h"

#include "link/port_discovery.h"

namespace norvane::discovery {

namespace {

// One block per device; the interface number is bInterfaceNumber.
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

}  // namespace

std::optional<std::string_view> KnownRole(const UsbIds& ids) {
    for (const KnownPort& row : kKnownPorts) {
        // Compared as optionals: an id that is missing equals no row's.
        if (ids.vendor == row.vendor && ids.product == row.product &&
            ids.interfaceNumber == row.interfaceNumber) {
            return row.role;
        }
    }
    return std::nullopt;
}

}  // namespace norvane::discovery
