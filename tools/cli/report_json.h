// JSON forms of decoded reports, one object per report, keys in a fixed order. `decode` prints
// them as they are; `monitor` puts a "time" key in front.
#pragma once

#include <string>

#include "diag/log_decoder.h"

namespace norvane::cli {

// {"type":"cells","hours":..,"minutes":..,"seconds":..,"milliseconds":..,"wcdma":..,"gsm":..,
//  "cells":[{"uarfcn":..,"freq_mhz":..,"psc":..,"rscp":..,"rscp_bar":..,"ecio":..},...],
//  "version":..,"gsm_cells":[{"arfcn":..,"bsic":..,"rssi":..},...]}
// "cells" holds every WCDMA cell of the packet, "gsm_cells" the GSM cells whose records it holds.
std::string CellReportJson(const CellReport& report);

// {"type":"sar_pa","sar":"Low"|"Normal"|"Medium"|"High"|null,"pa":..,"pa_overheated":true|false}
std::string SarPaReportJson(const SarPaReport& report);

}  // namespace norvane::cli
