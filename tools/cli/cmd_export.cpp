// norvane-cli export FILE --kml OUT.kml --csv OUT.csv: a drive's serving-cell measurements with
// their positions, for a map and a spreadsheet.
#include <cstdio>
#include <string>

#include "tools/cli/commands.h"
#include "tools/cli/drive_export.h"

namespace norvane::cli {
namespace {

constexpr const char* kExportHelp =
    "Usage: norvane-cli export FILE [--kml OUT.kml] [--csv OUT.csv]\n"
    "\n"
    "Reads a drive from FILE, a JSON-lines log as 'norvane-cli monitor' prints it (with --gps\n"
    "for positions) or a capture ('monitor --record': raw stream, pcap or pcapng), and writes\n"
    "one row per measurement of the serving cell: each serving cell of an lte_serving report,\n"
    "each lte_idle report, each serving cell of an nr_meas report and the strongest cell of a\n"
    "WCDMA cell list. A row has the last position received before it (empty before the first\n"
    "fix and after a lost fix) and the identity of the latest lte_cell, nr_cell or wcdma_cell\n"
    "report of the same channel and PCI / PSC (empty when none came). A row's time is the line's "
    "\"time\", else the modem's own\n"
    "(\"modem_time\", as a phone's log file decoded has it).\n"
    "\n"
    "Options (at least one):\n"
    "  --csv OUT.csv   a table (RFC 4180) with the header row\n"
    "                  time,lat,lon,alt,speed,rat,channel,pci_psc,level,quality,rssi,mcc,mnc,\n"
    "                  area,cell_id\n"
    "                  rat LTE, NR or WCDMA; channel the EARFCN, NR-ARFCN or UARFCN; level\n"
    "                  RSRP, SS-RSRP or RSCP in dBm, quality RSRQ, SS-RSRQ or Ec/Io in dB,\n"
    "                  rssi (LTE) in dBm; alt in metres, speed in metres a second; area is the\n"
    "                  TAC or LAC\n"
    "  --kml OUT.kml   a map (Google Earth, QGIS): one placemark per row with a position,\n"
    "                  with its time, technology, cell and level, coloured good / fair / poor\n"
    "                  by the level as in the radio window\n"
    "  -h, --help      show this text\n"
    "\n"
    "The number of rows is printed on standard error. Each output is written whole to a\n"
    "temporary file beside it and then renamed, so a failed export leaves nothing behind.\n"
    "\n"
    "Exit status: 0 when both were written, 2 on a usage error, an input that cannot be read\n"
    "or is neither a log nor a capture (one line on standard error says which line or\n"
    "packet), or an output that cannot be written.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "norvane-cli export: %s\n\n%s", problem, kExportHelp);
    return 2;
}

}  // namespace

int RunExport(std::span<const std::string_view> args) {
    DriveExportFiles files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kExportHelp, stdout);
            return 0;
        }
        if (arg == "--kml" || arg == "--csv") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                return Usage(arg == "--kml" ? "--kml needs a file" : "--csv needs a file");
            }
            (arg == "--kml" ? files.kml : files.csv) = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + std::string(arg)).c_str());
        } else if (!files.input.empty()) {
            return Usage("more than one FILE");
        } else {
            files.input = arg;
        }
    }
    if (files.input.empty()) {
        return Usage("no FILE");
    }
    if (files.kml.empty() && files.csv.empty()) {
        return Usage("nothing to write: give --kml or --csv");
    }
    DriveExportCounts counts;
    std::string error;
    if (!ExportDrive(files, counts, error)) {
        std::fprintf(stderr, "norvane-cli export: %s\n", error.c_str());
        return 2;
    }
    std::fprintf(stderr, "rows: %zu, with a position: %zu\n", counts.rows, counts.positioned);
    return 0;
}

}  // namespace norvane::cli
