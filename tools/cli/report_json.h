// JSON forms of decoded reports, one object per report, keys in a fixed order. `decode` prints
// them as they are; `monitor` puts a "time" key in front.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "diag/log_decoder.h"
#include "session/json_time.h"

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

// The serving cell and its measurements. Numbers are exact: measurements in dBm or dB with as
// many decimals as they need and at least one ("-104.875", "-68.0"); MCC and MNC are strings of
// digits, left out when the packet holds none.
// {"type":"wcdma_cell","uarfcn_dl":..,"uarfcn_ul":..,"psc":..,"cell_id":..,"lac":..,"rac":..,
//  "mcc":"310","mnc":"410"}
std::string WcdmaCellJson(const WcdmaCellIdentity& cell, std::uint32_t sim = 0);
// {"type":"lte_cell","pci":..,"earfcn_dl":..,"earfcn_ul":..,"band":..,"bandwidth_dl_rb":..,
//  "bandwidth_ul_rb":..,"cell_id":..,"tac":..,"mcc":"310","mnc":"260"}
std::string LteCellJson(const LteCellIdentity& cell, std::uint32_t sim = 0);
// {"type":"lte_idle","earfcn":..,"pci":..,"rsrp":..,"rsrq":..,"rssi":..}
std::string LteIdleJson(const LteIdleMeasurement& m, std::uint32_t sim = 0);
// {"type":"lte_idle_neighbours","earfcn":..,"cells":[{"pci":..,"rsrp":..,"rsrq":..,"rssi":..}]}
std::string LteIdleNeighboursJson(const LteIdleNeighbours& m, std::uint32_t sim = 0);
// {"type":"lte_serving","cells":[{"earfcn":..,"pci":..,"serving_index":..,"is_serving":true,
//  "rsrp":..,"rsrq":..,"rssi":..}]}; "is_serving" only for cells whose packet has the flag.
std::string LteServingJson(const LteServingMeasurement& m, std::uint32_t sim = 0);

// A signalling message; "message" is its name ("" when Wireshark gives it none), "pdu" its bytes
// in lower-case hex (for a WCDMA SIB, the block).
// {"type":"rrc","rat":"lte","direction":"dl","channel":"DL-DCCH",
//  "message":"RRCConnectionReconfiguration","earfcn":5780,"pci":185,"pdu":"2412a0..."}
// {"type":"rrc","rat":"wcdma","direction":"ul","channel":"UL-DCCH","message":"MeasurementReport",
//  "uarfcn":10663,"psc":397,"pdu":"..."}: "uarfcn" and "psc" when the packet holds them
// {"type":"nas","rat":"lte","direction":"ul","message":"Attach request","pdu":"0741..."}
std::string SignallingJson(const SignallingMessage& m, std::uint32_t sim = 0);

// The JSON of any report of `frame`, or "" when it holds none (kind Other, and a part of an
// RRC message, which only an LteRrcJoiner makes a message of).
std::string LogFrameJson(const DecodedLogFrame& frame);

}  // namespace norvane::cli
