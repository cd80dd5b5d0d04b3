// norvane-cli ports: the port list as the NetMonitor window offers it.
#include <cstdio>
#include <string>

#include "link/port_discovery.h"
#include "tools/cli/commands.h"

namespace norvane::cli {

namespace {

constexpr const char* kPortsUsage =
    "Usage: norvane-cli ports [--help]\n"
    "\n"
    "Lists the serial ports the NetMonitor window offers, one entry a line and in the\n"
    "window's order: USB serial ports and the running simulator, CDC-ACM modems, the\n"
    "simulator's link while no simulator runs (the simulator is listed once), then every\n"
    "serial port with hardware behind it. The entry the window\n"
    "preselects is marked with '* ', the others are indented by two blanks. The device\n"
    "opened for an entry is the text before its first \" - \".\n"
    "\n"
    "Discovery only reads sysfs and the udev database; no port is opened.\n"
    "\n"
    "Exit status: 0, or 2 for a usage error.\n";

}  // namespace

int RunPorts(std::span<const std::string_view> args) {
    for (const std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kPortsUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "norvane-cli ports: unexpected argument '%.*s'\n\n%s",
                     static_cast<int>(arg.size()), arg.data(), kPortsUsage);
        return 2;
    }
    PortList list;
    FillPortList(list);
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const bool selected = static_cast<int>(i) == list.selected;
        std::printf("%s%s\n", selected ? "* " : "  ", list.entries[i].c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace norvane::cli
