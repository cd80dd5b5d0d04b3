// norvane-cli decode [--stats] [FILE]: decodes a raw byte stream as received from a modem's
// diagnostic port, or a pcap/pcapng capture of GSMTAP DIAG packets, and prints one JSON line
// per report.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture/reader.h"
#include "diag/frame_pump.h"
#include "diag/hdlc.h"
#include "jsonl/report_json.h"
#include "tools/cli/capture_lines.h"
#include "tools/cli/commands.h"

namespace norvane::cli {
namespace {

constexpr const char* kDecodeUsage =
    "Usage: norvane-cli decode [--stats] [FILE]\n"
    "\n"
    "Reads a raw byte stream as received from a modem's diagnostic (DIAG) port from FILE, or\n"
    "from standard input when FILE is absent or '-'. FILE may also be a capture written by\n"
    "'norvane-cli monitor --record' or Wireshark (pcap or pcapng, told apart by their first\n"
    "bytes): the modem's frames of its GSMTAP DIAG packets are decoded in order, each line\n"
    "then begins with the packet's \"time\" (UTC, ISO 8601 with milliseconds); frames the\n"
    "host sent and packets that are not GSMTAP DIAG are skipped. Positions recorded with\n"
    "'monitor --gps' are printed as the position lines the monitor printed.\n"
    "A raw stream is split into HDLC frames (closing flag\n"
    "0x7E, 0x7D escapes, CRC-16/X.25 check sequence). The WCDMA cell lists (log code 0x4005),\n"
    "SAR/PA reports (0x117C), the serving cell's identity (WCDMA 0x4127, LTE 0xB0C2) and the\n"
    "LTE measurements (idle serving cell 0xB17F, idle neighbours 0xB180, connected serving\n"
    "cells 0xB193, connected-mode intra-frequency results 0xB179, neighbours by layer in\n"
    "connected 0xB195 and idle mode 0xB192) and the signalling messages (LTE RRC 0xB0C0, the\n"
    "parts of a message the modem logs in parts joined into one; the plain LTE NAS logs\n"
    "0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED; WCDMA RRC 0x412F) are decoded and printed as one JSON\n"
    "object per report (0xB195 and 0xB192: one per layer), one a line, in stream order:\n"
    "\n"
    "  "
    "{\"type\":\"cells\",\"hours\":1,\"minutes\":2,\"seconds\":3,\"milliseconds\":4,\"wcdma\":1,\n"
    "   \"gsm\":0,\"cells\":[{\"uarfcn\":10737,\"freq_mhz\":2147,\"psc\":50,\"rscp\":-96,\n"
    "   \"rscp_bar\":-96,\"ecio\":-8.5}],\"version\":0,\"gsm_cells\":[]}\n"
    "  {\"type\":\"sar_pa\",\"sar\":\"High\",\"pa\":90,\"pa_overheated\":false}\n"
    "  {\"type\":\"wcdma_cell\",\"uarfcn_dl\":10663,\"uarfcn_ul\":9713,\"psc\":397,\n"
    "   \"cell_id\":137200961,\"lac\":40093,\"rac\":1,\"mcc\":\"262\",\"mnc\":\"03\"}\n"
    "  {\"type\":\"lte_cell\",\"pci\":405,\"earfcn_dl\":5780,\"earfcn_ul\":23780,\"band\":17,\n"
    "   \"bandwidth_dl_rb\":50,\"bandwidth_ul_rb\":50,\"cell_id\":143281423,\"tac\":34624,\n"
    "   \"mcc\":\"310\",\"mnc\":\"410\"}\n"
    "  {\"type\":\"lte_idle\",\"earfcn\":5780,\"pci\":405,\"rsrp\":-96.5625,\"rsrq\":-11.5625,\n"
    "   \"rssi\":-68.0}\n"
    "  {\"type\":\"lte_idle_neighbours\",\"earfcn\":6300,\"cells\":[{\"pci\":131,\n"
    "   \"rsrp\":-102.125,\"rsrq\":-17.3125,\"rssi\":-75.75}]}\n"
    "  {\"type\":\"lte_serving\",\"cells\":[{\"earfcn\":1600,\"pci\":416,\"serving_index\":0,\n"
    "   \"is_serving\":true,\"rsrp\":-104.875,\"rsrq\":-14.125,\"rssi\":-67.9375}]}\n"
    "  {\"type\":\"lte_intra_meas\",\"earfcn\":6300,\"pci\":278,\"serving_index\":0,\n"
    "   \"rsrp\":-115.625,\"rsrq\":-14.5625,\"cells\":[{\"pci\":116,\"rsrp\":-118.625,\n"
    "   \"rsrq\":-17.9375}],\"detected\":[311]}\n"
    "  {\"type\":\"lte_neighbour_meas\",\"mode\":\"connected\",\"earfcn\":5780,\n"
    "   \"serving_index\":0,\"cells\":[{\"pci\":154,\"rsrp\":-110.6875,\"rsrq\":-24.375}]}\n"
    "  {\"type\":\"rrc\",\"rat\":\"lte\",\"direction\":\"dl\",\"channel\":\"DL-DCCH\",\n"
    "   "
    "\"message\":\"RRCConnectionReconfiguration\",\"earfcn\":5780,\"pci\":185,\"pdu\":\"2412a0\"}\n"
    "  {\"type\":\"nas\",\"rat\":\"lte\",\"direction\":\"ul\",\"message\":\"Service request\",\n"
    "   \"pdu\":\"c7011600\"}\n"
    "\n"
    "Every report but the cell list and SAR/PA has \"modem_time\" after \"type\" (and \"sim\")\n"
    "when the modem stamps its packets with the time of day. In lte_intra_meas pci, rsrp\n"
    "and rsrq are the serving cell's filtered values, cells the neighbours measured and\n"
    "detected the PCIs of newly detected cells; lte_neighbour_meas is \"idle\" (0xB192,\n"
    "without serving_index) or \"connected\".\n"
    "\n"
    "The up-time is the modem's, from the packet's time stamp; when the modem stamps its\n"
    "packets with the time of day, \"modem_time\" follows \"milliseconds\" with that time\n"
    "(UTC, e.g. \"2015-08-18T21:27:06.542Z\"). freq_mhz is the downlink frequency of the\n"
    "channel (uarfcn); rscp is in dBm and rscp_bar the position of the RSCP bar (the RSCP);\n"
    "ecio is in dB, in half-dB steps (-8.5, -8). A dual-SIM modem wraps every packet with the\n"
    "number of its radio: the report then has \"sim\" (1, 2, ...) right after \"type\".\n"
    "\"sar\" is Low, Normal, Medium, High, or null when the report carries\n"
    "no level; pa_overheated is true for PA values of 80 and below. \"version\" is the cell\n"
    "list's packet version (0, 1 or 2) and gsm_cells the GSM neighbours it carries (arfcn,\n"
    "bsic, rssi in dBm). A signalling message's \"message\" is its name as Wireshark shows it\n"
    "(\"\" where Wireshark has none), \"pdu\" its bytes in hex; WCDMA RRC has \"uarfcn\" and\n"
    "\"psc\" where the packet holds them, and channel \"SIB\" for one system information block.\n"
    "The GSMTAP packets of signalling messages in a capture ('norvane-cli convert') are skipped:\n"
    "the messages are read from the DIAG frames, each once.\n"
    "rsrp and rssi are in dBm, rsrq in dB, exact to 1/16; mcc and mnc are the digits the\n"
    "packet holds (left out when it holds none). In lte_serving, serving_index is 0 for the\n"
    "primary cell and 1 on for aggregated cells; is_serving is left out for the oldest packet\n"
    "versions, which do not carry it.\n"
    "Frames with a bad check sequence and all other packets are skipped silently.\n"
    "\n"
    "Options:\n"
    "  --stats     at the end, print to standard error the number of bytes read (of a raw\n"
    "              stream), of frames, of reports, of frames dropped for a bad check\n"
    "              sequence, of overlong frames dropped (overflow), of other frames and of\n"
    "              known packets of a version that is not decoded (unknown version); for a\n"
    "              capture also the number of packets that are not GSMTAP DIAG and of\n"
    "              frames the host sent; last, the RRC messages logged in parts that were\n"
    "              dropped because a part was missing (rrc parts dropped)\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status: 0 when the whole input was read, 2 on a usage error or when FILE cannot be\n"
    "read.\n";

struct Counts {
    CaptureLineCounts lines;
    bool capture = false;       // a packet capture (pcap, pcapng), not a raw stream
    std::uint64_t skipped = 0;  // its packets that are not GSMTAP DIAG
};

void Emit(std::string& out) {
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    out.clear();
}

// A file, raw or capture, packet by packet. Returns the exit status.
int DecodeFile(const std::string& name, CaptureStreams& streams, Counts& counts) {
    CaptureError error;
    const std::unique_ptr<CaptureReader> reader = CaptureReader::Open(name, error);
    if (reader == nullptr) {
        std::fprintf(stderr, "norvane-cli decode: %s%s\n",
                     error.kind == CaptureError::Kind::kCannotOpen ? "cannot read " : "",
                     error.message.c_str());
        return 2;
    }
    reader->KeepPositions();
    std::string out;
    CaptureReader::Packet packet;
    int status = 0;
    for (;;) {
        const CaptureReader::Status got = reader->Next(packet, error);
        if (got != CaptureReader::Status::kPacket) {
            if (got == CaptureReader::Status::kError) {
                Emit(out);  // the reports before the damage are good
                std::fprintf(stderr, "norvane-cli decode: %s\n", error.message.c_str());
                status = 2;
            }
            break;
        }
        AppendPacketLines(*reader, packet, streams, out, counts.lines);
        // A raw stream is shown as each piece is read; a capture's lines a block at a time.
        if (reader->format() == CaptureFormat::kRaw || out.size() >= 64 * 1024) {
            Emit(out);
        }
    }
    Emit(out);
    counts.capture = reader->format() != CaptureFormat::kRaw;
    counts.skipped = reader->skipped();
    return status;
}

// Standard input is a raw stream, possibly live: its reports are shown as each read ends.
int DecodeStdin(CaptureStreams& streams, Counts& counts) {
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::string out;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            std::fprintf(stderr, "norvane-cli decode: cannot read standard input: %s\n",
                         std::strerror(errno));
            return 2;
        }
        if (n == 0) {
            return 0;
        }
        AppendRawLines(streams, {buffer.data(), static_cast<std::size_t>(n)}, out, counts.lines);
        Emit(out);
    }
}

int Usage(const char* problem) {
    std::fprintf(stderr, "norvane-cli decode: %s\n\n%s", problem, kDecodeUsage);
    return 2;
}

}  // namespace

int RunDecode(std::span<const std::string_view> args) {
    bool stats = false;
    const std::string_view* file = nullptr;
    for (const std::string_view& arg : args) {
        if (arg == "-h" || arg == "--help") {
            std::fputs(kDecodeUsage, stdout);
            return 0;
        }
        if (arg == "--stats") {
            stats = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + std::string(arg)).c_str());
        } else if (file != nullptr) {
            return Usage("more than one FILE");
        } else {
            file = &arg;
        }
    }

    auto streams = std::make_unique<CaptureStreams>();
    Counts counts;
    const int status = file != nullptr && *file != "-"
                           ? DecodeFile(std::string(*file), *streams, counts)
                           : DecodeStdin(*streams, counts);
    if (stats) {
        // "frames" counts every frame that ended, good or not, and every overlong one.
        const CaptureLineCounts& c = counts.lines;
        const FrameCounters& f = c.frames;
        std::fprintf(
            stderr,
            "bytes read: %llu, frames: %llu, reports: %llu, bad check sequence: %llu, "
            "overflow: %llu, other: %llu, unknown version: %llu",
            static_cast<unsigned long long>(c.bytes),
            static_cast<unsigned long long>(f.frames + f.badFcs + f.overflow),
            static_cast<unsigned long long>(c.reports), static_cast<unsigned long long>(f.badFcs),
            static_cast<unsigned long long>(f.overflow), static_cast<unsigned long long>(c.other),
            static_cast<unsigned long long>(c.unknownVersion));
        if (counts.capture) {
            std::fprintf(stderr, ", not GSMTAP DIAG: %llu, host frames: %llu",
                         static_cast<unsigned long long>(counts.skipped),
                         static_cast<unsigned long long>(c.hostFrames));
        }
        std::fprintf(stderr, ", rrc parts dropped: %llu\n",
                     static_cast<unsigned long long>(streams->joiner.dropped()));
    }
    return status;
}

}  // namespace norvane::cli
