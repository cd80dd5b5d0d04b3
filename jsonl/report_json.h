// JSON forms of decoded reports, one object per report, keys in a fixed order. `decode` prints
// them as they are; `monitor` puts a "time" key in front.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diag/log_decoder.h"
#include "jsonl/json_time.h"

namespace norvane {

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

// The reports of any other kind. Numbers are exact: measurements in dBm or dB with as many
// decimals as they need and at least one ("-104.875", "-68.0"); MCC and MNC are strings of
// digits, left out when the packet holds none. "sim" follows "type" for a packet from a
// dual-SIM modem's wrapper, then "modem_time" when the packet's stamp is a time of day.
// {"type":"wcdma_cell","uarfcn_dl":..,"uarfcn_ul":..,"psc":..,"cell_id":..,"lac":..,"rac":..,
//  "mcc":"310","mnc":"410"}
// {"type":"lte_cell","pci":..,"earfcn_dl":..,"earfcn_ul":..,"band":..,"bandwidth_dl_rb":..,
//  "bandwidth_ul_rb":..,"cell_id":..,"tac":..,"mcc":"310","mnc":"260"}
// {"type":"lte_idle","earfcn":..,"pci":..,"rsrp":..,"rsrq":..,"rssi":..}
// {"type":"lte_idle_neighbours","earfcn":..,"cells":[{"pci":..,"rsrp":..,"rsrq":..,"rssi":..}]}
// {"type":"lte_serving","cells":[{"earfcn":..,"pci":..,"serving_index":..,"is_serving":true,
//  "rsrp":..,"rsrq":..,"rssi":..}]}; "is_serving" only for cells whose packet has the flag.
// {"type":"lte_intra_meas","earfcn":..,"pci":..,"serving_index":..,"rsrp":..,"rsrq":..,
//  "cells":[{"pci":..,"rsrp":..,"rsrq":..}],"detected":[311]}
// {"type":"lte_neighbour_meas","mode":"connected"|"idle","earfcn":..,"serving_index":..,
//  "cells":[{"pci":..,"rsrp":..,"rsrq":..}]}: one per layer of the packet; "serving_index" only
//  in connected mode.
// {"type":"nr_cell","pci":..,"nr_arfcn_dl":..,"nr_arfcn_ul":..,"band":..,"bandwidth_dl_mhz":..,
//  "bandwidth_ul_mhz":..,"cell_id":..,"tac":..,"mcc":"262","mnc":"01"}
// {"type":"nr_meas","cells":[{"nr_arfcn":..,"pci":..,"serving":true,"ssb":..,"rsrp":..,
//  "rsrq":..}]}: RSRP and RSRQ exact ("-107.6328125"), each left out when the modem sent none;
//  "ssb" (the SSB index of the cell's first beam) when it has a beam.

// A signalling message; "message" is its name ("" when Wireshark gives it none), "pdu" its bytes
// in lower-case hex (for a WCDMA SIB, the block).
// {"type":"rrc","rat":"lte","direction":"dl","channel":"DL-DCCH",
//  "message":"RRCConnectionReconfiguration","earfcn":5780,"pci":185,"pdu":"2412a0..."}
// {"type":"rrc","rat":"wcdma","direction":"ul","channel":"UL-DCCH","message":"MeasurementReport",
//  "uarfcn":10663,"psc":397,"pdu":"..."}: "uarfcn" and "psc" when the packet holds them
// {"type":"nas","rat":"lte","direction":"ul","message":"Attach request","pdu":"0741..."}
// "sim" and "modem_time" as `frame` (the frame that carried the message, or its last part) has
// them.
std::string SignallingJson(const SignallingMessage& m, const DecodedLogFrame& frame);

// The JSON objects of the reports of `frame`, in order: one for most kinds, one per layer of a
// neighbour measurement, none for kind Other and for a part of an RRC message (which only an
// LteRrcJoiner makes a message of).
std::vector<std::string> LogFrameJson(const DecodedLogFrame& frame);

}  // namespace norvane
