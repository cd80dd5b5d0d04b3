#include "tools/sim/options.h"

#include "link/port_discovery.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <string_view>
#include <utility>

namespace norvane::sim {

const char* const kSimUsage =
    R"(Usage: norvane-sim [OPTION]...
A simulated UMTS modem on a pseudo terminal, for trying and testing Norvane NetMonitor
without hardware. It prints the terminal's path and publishes it as a symbolic link that
the monitor lists as "Simulated UMTS modem Diagnostics"; the link is removed on exit
(Ctrl+C, SIGTERM).

The modem speaks DIAG: it answers the 0x7B loopback probe and the 0x73 log-config
operations as a modem does (operation 1 with its item count per equipment id: 4095 for
id 1, 4087 for ids 4 and 5, 521 for LTE id 11, or 2561 (0xA01) for id 11 on --rat nr and
lte-nr, a modem with NR; operation 3 with status, equipment id, the count in force and the
mask now set), acknowledges 0x4B subsystem commands, and streams what the masks switch on.
On WCDMA (--rat wcdma, the default):
  log 0x4005  WCDMA cell list: 1 to 14 cells on real band I and band VIII channels,
              RSCP and Ec/Io (-26.5 to -3 dB, in half-dB steps) drifting, ranked as real
              modems rank them, cells appearing and fading, up to six GSM neighbours,
              and the modem's up-time in
              the time stamp (52400 per millisecond, as the monitor reads it);
  log 0x4127  the WCDMA serving cell's identity (its channel and PSC, LAC, MCC/MNC
              262/02), once a second;
  log 0x117C  SAR/PA report, from the ON_AGC3 mask until OFF_AGC: the SAR level changes,
              the PA value swings across 80;
  log 0x412F  WCDMA RRC on the serving cell, in cycles of 3 s idle (system information,
              paging) and 9 s connected (connection set-up, security, measurement
              control, a measurement report a second, an active set update every 4 s,
              release).
On LTE (--rat lte), cycles of 3 s idle and 9 s connected on a band 3 cell (EARFCN 1300,
PCI 212, 262/01), its RSRP and RSRQ drifting:
  log 0xB0C2  the LTE serving cell's identity (version 3), once a second;
  log 0xB17F  idle: the serving cell's RSRP/RSRQ/RSSI (version 5);
  log 0xB180  idle: up to six neighbours on its channel, appearing and fading (version 5);
  log 0xB193  connected: one packet (subpacket 0x19, sub-version 36) per serving cell, the
              primary and one or two aggregated cells (band 7, band 20) in turn;
  log 0xB179  connected: the primary cell's filtered RSRP/RSRQ and its neighbours
              (version 4);
  log 0xB195  connected: the neighbours on the primary cell's channel (subpacket 31,
              version 4);
  log 0xB0C0  LTE RRC (version 26) and logs 0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED the plain NAS
              messages, following the cycles: SIB1, system information and paging
              while idle; the connection set-up (a service request, every third time a
              tracking area update) as it connects; a measurement report a second and
              reconfigurations while connected; in every other connected phase, the
              first on, a handover: a reconfiguration with mobility answered by its
              completion on the new cell (PCI 168 or 26), which then serves; the
              release as it goes idle. The messages are real ones of a phone's capture;
  log 0x117C  as on WCDMA.
On 5G NR standalone (--rat nr), a band n78 cell (NR-ARFCN 632628, PCI 393, 262/01,
100 MHz), its SS-RSRP and SS-RSRQ drifting and its best beam (SSB index) moving:
  log 0xB823  the NR serving cell's identity (version 3.0), once a second;
  log 0xB97F  the measurement database (version 3.0): the serving cell and up to four
              NR neighbours on its channel, each on a beam of its own, appearing and
              fading;
  log 0x117C  as on WCDMA.
On LTE with NR (--rat lte-nr, non-standalone), the LTE cell of --rat lte as the anchor,
with the NR cell added in each connected phase and released with it: the LTE reports
as on --rat lte, and while the NR cell is there 0xB823 as on --rat nr and 0xB97F in
version 2.7 (none in the idle phases).

Options:
  --at-mode        start in AT mode: ignore DIAG until "AT$QCDMG\r\n" arrives, answer
                   "OK\r\n", then speak DIAG
  --rate HZ        report periods per second (default 1; 0.1 to 1000)
  --burst N        send N frames of each report back to back per period (default 1, up to 64)
  --noise          put line garbage and frames with a bad check sequence between real ones
  --numbered       the GSM count of the n-th cell list is n mod 256 (to check for loss;
                   n mod 64, with as many GSM records, in packet versions 1 and 2)
  --rat wcdma|lte|nr|lte-nr
                   the radio the modem is on (default wcdma)
  --packet-version V
                   layout of the cell list: 0 (default, the oldest), 1 or 2
  --record FILE    write every byte received from the host to FILE
  --replay FILE    instead of the simulated radio scene, play back the modem's log packets
                   of a capture (pcap or pcapng, as 'norvane-cli monitor --record' writes,
                   with their original timing; or a raw DIAG stream such as a phone's
                   .qmdl or .mi2log file, timed by the packets' own time stamps, a pause
                   longer than a second cut to a second) while the host has any log
                   switched on; probe and log-mask commands are still answered live, and
                   frames the host sent in the capture are not replayed
  --speed X        replay X times as fast (default 1; 0.01 to 1000)
  --loop           replay from the start again after the last packet
  --seed N         seed of the radio scene and the noise (default: from the clock); the
                   seed in use is printed, and the same seed gives the same run
  --link PATH      publish the terminal as PATH instead of the default link
  --verbose        print what the host asks for on standard error
  --help           show this text

Default link: $XDG_RUNTIME_DIR/norvane-sim, or /tmp/norvane-sim-<uid> without
XDG_RUNTIME_DIR.
)";

namespace {

bool ParseDouble(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0';
}

bool ParseUnsigned(const char* text, unsigned long long& out) {
    char* end = nullptr;
    errno = 0;
    if (*text == '-') {
        return false;
    }
    out = std::strtoull(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

}  // namespace

std::string DefaultLinkPath() {
    return SimulatorLinkPath();
}

std::optional<SimOptions> ParseSimOptions(int argc, char** argv, std::string& error) {
    SimOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        unsigned long long n = 0;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--at-mode") {
            o.modem.atMode = true;
        } else if (arg == "--noise") {
            o.modem.noise = true;
        } else if (arg == "--numbered") {
            o.modem.numbered = true;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--loop") {
            o.loop = true;
        } else if (arg == "--speed") {
            const char* v = value();
            if (v == nullptr || !ParseDouble(v, o.speed) || !(o.speed >= 0.01) ||
                !(o.speed <= 1000)) {
                error = error.empty() ? "--speed takes a number from 0.01 to 1000" : error;
                return std::nullopt;
            }
        } else if (arg == "--rate") {
            const char* v = value();
            if (v == nullptr || !ParseDouble(v, o.rateHz) || !(o.rateHz >= 0.1) ||
                !(o.rateHz <= 1000)) {
                error = error.empty() ? "--rate takes a number from 0.1 to 1000" : error;
                return std::nullopt;
            }
        } else if (arg == "--burst") {
            const char* v = value();
            if (v == nullptr || !ParseUnsigned(v, n) || n < 1 || n > 64) {
                error = error.empty() ? "--burst takes a whole number from 1 to 64" : error;
                return std::nullopt;
            }
            o.modem.burst = static_cast<int>(n);
        } else if (arg == "--rat") {
            const char* v = value();
            const std::string_view rat = v != nullptr ? v : "";
            constexpr std::pair<std::string_view, Rat> kRats[] = {{"wcdma", Rat::kWcdma},
                                                                  {"lte", Rat::kLte},
                                                                  {"nr", Rat::kNr},
                                                                  {"lte-nr", Rat::kLteNr}};
            const auto* known = std::find_if(std::begin(kRats), std::end(kRats),
                                             [&](const auto& r) { return r.first == rat; });
            if (known == std::end(kRats)) {
                error = error.empty() ? "--rat takes wcdma, lte, nr or lte-nr" : error;
                return std::nullopt;
            }
            o.modem.rat = known->second;
        } else if (arg == "--packet-version") {
            const char* v = value();
            if (v == nullptr || !ParseUnsigned(v, n) || n > 2) {
                error = error.empty() ? "--packet-version takes 0, 1 or 2" : error;
                return std::nullopt;
            }
            o.modem.packetVersion = static_cast<unsigned>(n);
        } else if (arg == "--seed") {
            const char* v = value();
            if (v == nullptr || !ParseUnsigned(v, n) || n > 0xFFFFFFFFull) {
                error = error.empty() ? "--seed takes a whole number below 2^32" : error;
                return std::nullopt;
            }
            o.modem.seed = static_cast<std::uint32_t>(n);
            o.seedGiven = true;
        } else if (arg == "--record" || arg == "--link" || arg == "--replay") {
            const char* v = value();
            if (v == nullptr || *v == '\0') {
                error = error.empty() ? std::string(arg) + " needs a file name" : error;
                return std::nullopt;
            }
            (arg == "--record" ? o.recordPath : arg == "--link" ? o.linkPath : o.replayPath) = v;
        } else {
            error = "unknown option " + std::string(arg) + " (see --help)";
            return std::nullopt;
        }
    }
    return o;
}

}  // namespace norvane::sim
