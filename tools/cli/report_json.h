// JSON forms of decoded reports, one object per report, keys in a fixed order. `decode` prints
// them as they are; `monitor` puts a "time" key in front.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "diag/log_decoder.h"

namespace norvane::cli {

// {"type":"cells","sim":..,"hours":..,"minutes":..,"seconds":..,"milliseconds":..,
//  "modem_time":"2015-08-18T21:27:06.542Z","wcdma":..,"gsm":..,
//  "cells":[{"uarfcn":..,"freq_mhz":..,"psc":..,"rscp":..,"rscp_bar":..,"ecio":-8.5},...],
//  "version":..,"gsm_cells":[{"arfcn":..,"bsic":..,"rssi":..},...]}
// "cells" holds every WCDMA cell of the packet, "gsm_cells" the GSM cells whose records it holds.
// "sim" is there for a packet from a dual-SIM modem's wrapper, "modem_time" when the modem
// stamped it with the time of day; "ecio" is in half-dB steps (-8.5, -8).
std::string CellReportJson(const CellReport& report);

// {"type":"sar_pa","sim":..,"sar":"Low"|"Normal"|"Medium"|"High"|null,"pa":..,"pa_overheated":true|false}
std::string SarPaReportJson(const SarPaReport& report);

// "2026-01-31T12:34:56.789Z": UTC, ISO 8601, milliseconds (cut, not rounded).
std::string UtcText(std::chrono::system_clock::time_point time);

// The date and time of the last whole second formatted, kept by the caller so that a run of
// reports in one second formats it once.
struct UtcSecondText {
    std::int64_t second = -1;
    std::string text;  // "2026-01-31T12:34:56"
};

// Appends `json` (a whole object) to `out` with "time":"<UtcText>" put in as its first key.
void AppendWithTime(std::string& out, std::chrono::system_clock::time_point time,
                    std::string_view json, UtcSecondText& cache);

}  // namespace norvane::cli
