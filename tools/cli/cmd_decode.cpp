// norvane-cli decode [--stats] [FILE]: decodes a raw byte stream as received from a modem's
// diagnostic port and prints one JSON line per report.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "diag/frame_pump.h"
#include "diag/hdlc.h"
#include "diag/log_decoder.h"
#include "tools/cli/commands.h"
#include "tools/cli/report_json.h"

namespace norvane::cli {
namespace {

constexpr const char* kDecodeUsage =
    "Usage: norvane-cli decode [--stats] [FILE]\n"
    "\n"
    "Reads a raw byte stream as received from a modem's diagnostic (DIAG) port from FILE, or\n"
    "from standard input when FILE is absent or '-'. Splits it into HDLC frames (closing flag\n"
    "0x7E, 0x7D escapes, CRC-16/X.25 check sequence), decodes the WCDMA cell lists (log code\n"
    "0x4005) and SAR/PA reports (log code 0x117C) and prints one JSON object per report, one a\n"
    "line, in stream order:\n"
    "\n"
    "  "
    "{\"type\":\"cells\",\"hours\":1,\"minutes\":2,\"seconds\":3,\"milliseconds\":4,\"wcdma\":1,\n"
    "   \"gsm\":0,\"cells\":[{\"uarfcn\":10737,\"freq_mhz\":2147,\"psc\":50,\"rscp\":-96,\n"
    "   \"rscp_bar\":-96,\"ecio\":-10}],\"version\":0,\"gsm_cells\":[]}\n"
    "  {\"type\":\"sar_pa\",\"sar\":\"High\",\"pa\":90,\"pa_overheated\":false}\n"
    "\n"
    "The up-time is the modem's, from the packet's time stamp; freq_mhz is the downlink\n"
    "frequency of the channel (uarfcn); rscp is in dBm and rscp_bar the position of the RSCP\n"
    "bar; ecio is in dB. \"sar\" is Low, Normal, Medium, High, or null when the report carries\n"
    "no level; pa_overheated is true for PA values of 80 and below. \"version\" is the cell\n"
    "list's packet version (0, 1 or 2) and gsm_cells the GSM neighbours it carries (arfcn,\n"
    "bsic, rssi in dBm).\n"
    "Frames with a bad check sequence and all other packets are skipped silently.\n"
    "\n"
    "Options:\n"
    "  --stats     at the end, print to standard error the number of frames, of reports, of\n"
    "              frames dropped for a bad check sequence, of overlong frames dropped\n"
    "              (overflow), of other frames and of cell lists of an unknown packet\n"
    "              version\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status: 0 when the whole input was read, 2 on a usage error or when FILE cannot be\n"
    "read.\n";

struct Counts {
    FrameCounters frames;
    std::uint64_t reports = 0;
    std::uint64_t other = 0;
    std::uint64_t unknownVersion = 0;
};

void DecodePiece(HdlcDeframer& deframer, std::span<const std::uint8_t> in, std::string& out,
                 Counts& counts) {
    PumpFrames(deframer, in, counts.frames,
               [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                   if (status != HdlcDeframer::Status::kFrame) {
                       return;
                   }
                   const DecodedLogFrame d = DecodeLogFrame(payload);
                   if (d.kind == LogFrameKind::CellList) {
                       ++counts.reports;
                       out += CellReportJson(d.cells);
                       out += '\n';
                   } else if (d.kind == LogFrameKind::SarPa) {
                       ++counts.reports;
                       out += SarPaReportJson(d.sarPa);
                       out += '\n';
                   } else if (d.reason == OtherReason::UnknownVersion) {
                       ++counts.unknownVersion;
                   } else {
                       ++counts.other;
                   }
               });
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

    const bool fromStdin = file == nullptr || *file == "-";
    const std::string name = fromStdin ? "standard input" : std::string(*file);
    const int fd = fromStdin ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "norvane-cli decode: cannot read %s: %s\n", name.c_str(),
                     std::strerror(errno));
        return 2;
    }

    auto deframer = std::make_unique<HdlcDeframer>();
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::string out;
    Counts counts;
    int status = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            std::fprintf(stderr, "norvane-cli decode: cannot read %s: %s\n", name.c_str(),
                         std::strerror(errno));
            status = 2;
            break;
        }
        if (n == 0) {
            break;
        }
        out.clear();
        DecodePiece(*deframer, {buffer.data(), static_cast<std::size_t>(n)}, out, counts);
        // Flushed per read, so a live stream on standard input shows its reports at once.
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    }
    if (!fromStdin) {
        ::close(fd);
    }
    if (stats) {
        // "frames" counts every frame that ended, good or not, and every overlong one.
        const FrameCounters& f = counts.frames;
        std::fprintf(stderr,
                     "frames: %llu, reports: %llu, bad check sequence: %llu, overflow: %llu, "
                     "other: %llu, unknown version: %llu\n",
                     static_cast<unsigned long long>(f.frames + f.badFcs + f.overflow),
                     static_cast<unsigned long long>(counts.reports),
                     static_cast<unsigned long long>(f.badFcs),
                     static_cast<unsigned long long>(f.overflow),
                     static_cast<unsigned long long>(counts.other),
                     static_cast<unsigned long long>(counts.unknownVersion));
    }
    return status;
}

}  // namespace norvane::cli
