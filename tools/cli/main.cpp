// norvane-cli: command-line tools beside the NetMonitor window.
#include <cstdio>
#include <string_view>
#include <vector>

#include "tools/cli/commands.h"

namespace {

constexpr const char* kUsage =
    "Usage: norvane-cli COMMAND [OPTIONS] [ARGS]\n"
    "\n"
    "Commands:\n"
    "  decode [FILE]    decode a raw byte stream from a modem's diagnostic port (FILE or\n"
    "                   standard input) or a pcap/pcapng capture, and print one JSON line\n"
    "                   per report\n"
    "  ports            list the ports the NetMonitor window offers; '* ' marks the\n"
    "                   preselected one\n"
    "  monitor [PORT]   open PORT (or the preselected port), switch cell reporting on and\n"
    "                   print every report as a JSON line until SIGINT or SIGTERM; it can\n"
    "                   record the traffic (--record) and send it to Wireshark (--gsmtap)\n"
    "  export FILE      write a drive's serving-cell measurements with their positions from\n"
    "                   a JSON-lines log or a capture as a map (--kml) and a table (--csv)\n"
    "  convert IN OUT.pcap\n"
    "                   write the DIAG frames of a raw stream or a capture into a pcap with\n"
    "                   each RRC and NAS message as a GSMTAP packet Wireshark decodes\n"
    "\n"
    "Run 'norvane-cli COMMAND --help' for the options of a command.\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string_view command = args[0];
    const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
    if (command == "decode") {
        return norvane::cli::RunDecode(rest);
    }
    if (command == "ports") {
        return norvane::cli::RunPorts(rest);
    }
    if (command == "monitor") {
        return norvane::cli::RunMonitor(rest);
    }
    if (command == "export") {
        return norvane::cli::RunExport(rest);
    }
    if (command == "convert") {
        return norvane::cli::RunConvert(rest);
    }
    std::fprintf(stderr, "norvane-cli: unknown command '%.*s'\n\n%s",
                 static_cast<int>(command.size()), command.data(), kUsage);
    return 2;
}
