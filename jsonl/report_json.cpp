#include "jsonl/report_json.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "diag/signalling_names.h"

namespace norvane {
namespace {

void Field(std::string& out, const char* key, std::int32_t value, bool first = false) {
    if (!first) {
        out += ',';
    }
    out += '"';
    out += key;
    out += "\":";
    out += std::to_string(value);
}

void Unsigned(std::string& out, const char* key, std::uint32_t value, bool first = false) {
    out += first ? "\"" : ",\"";
    out += key;
    out += "\":";
    out += std::to_string(value);
}

// Sixteenths as an exact decimal with at least one decimal: -1678 -> "-104.875".
void Measurement(std::string& out, const char* key, Sixteenths value) {
    out += ",\"";
    out += key;
    out += "\":";
    const std::int64_t v = value;
    const std::uint64_t a = static_cast<std::uint64_t>(v < 0 ? -v : v);
    if (v < 0) {
        out += '-';
    }
    out += std::to_string(a / 16);
    out += '.';
    std::string fraction = std::to_string(10000 + a % 16 * 625).substr(1);  // four digits
    fraction.erase(std::max<std::size_t>(1, fraction.find_last_not_of('0') + 1));
    out += fraction;
}

// 1/128 as an exact decimal with at least one decimal: -13777 -> "-107.6328125"; 0 (the modem's
// "no value") leaves the key out.
void Q7Measurement(std::string& out, const char* key, Q7 value) {
    if (value == 0) {
        return;
    }
    out += ",\"";
    out += key;
    out += "\":";
    const std::int64_t v = value;
    const std::uint64_t a = static_cast<std::uint64_t>(v < 0 ? -v : v);
    if (v < 0) {
        out += '-';
    }
    out += std::to_string(a / 128);
    out += '.';
    std::string fraction = std::to_string(10000000 + a % 128 * 78125).substr(1);  // seven digits
    fraction.erase(std::max<std::size_t>(1, fraction.find_last_not_of('0') + 1));
    out += fraction;
}

void Plmn(std::string& out, const PlmnText& plmn) {
    if (plmn.known) {
        out += ",\"mcc\":\"";
        out += plmn.mcc.data();
        out += "\",\"mnc\":\"";
        out += plmn.mnc.data();
        out += '"';
    }
}

// A value in half-dB steps as a JSON number: -8.5, -8.
void HalfStepField(std::string& out, const char* key, double value) {
    long halves = std::lround(value * 2);
    out += ",\"";
    out += key;
    out += "\":";
    if (halves < 0) {
        out += '-';
        halves = -halves;
    }
    out += std::to_string(halves / 2);
    if (halves % 2 != 0) {
        out += ".5";
    }
}

// "sim":N right after "type", for a report from a dual-SIM modem's wrapper.
void SimField(std::string& out, std::uint32_t sim) {
    if (sim != 0) {
        out += ",\"sim\":";
        out += std::to_string(sim);
    }
}

void ModemTimeField(std::string& out, bool has, std::int64_t unixMs) {
    if (has) {
        out += ",\"modem_time\":\"";
        out += UtcText(std::chrono::system_clock::time_point(std::chrono::milliseconds(unixMs)));
        out += '"';
    }
}

// The start of a report's object: its type, then "sim" and "modem_time" where the frame has them.
std::string Head(const char* type, const DecodedLogFrame& frame) {
    std::string out = "{\"type\":\"";
    out += type;
    out += '"';
    SimField(out, frame.sim);
    ModemTimeField(out, frame.hasModemTime, frame.modemTimeUnixMs);
    return out;
}

// ,"key":[{..},{..}] of the first `count` items (cut to the array), each object's fields written
// by `fields` (its first field without a leading comma).
template <typename T, std::size_t N, typename Fields>
void ObjectList(std::string& out, const char* key, const std::array<T, N>& items, std::size_t count,
                Fields fields) {
    out += ",\"";
    out += key;
    out += "\":[";
    for (std::size_t k = 0; k < std::min(count, N); ++k) {
        out += k == 0 ? "{" : ",{";
        fields(items[k]);
        out += '}';
    }
    out += ']';
}

// The cells of a report measured by RSRP and RSRQ.
void MeasuredCells(std::string& out, const std::array<LteMeasuredCell, kLteMaxMeasuredCells>& cells,
                   std::size_t count) {
    ObjectList(out, "cells", cells, count, [&](const LteMeasuredCell& c) {
        Unsigned(out, "pci", c.pci, true);
        Measurement(out, "rsrp", c.rsrp);
        Measurement(out, "rsrq", c.rsrq);
    });
}

const char* SarLevelName(SarLevel level) {
    switch (level) {
        case SarLevel::Low:
            return "Low";
        case SarLevel::Normal:
            return "Normal";
        case SarLevel::Medium:
            return "Medium";
        case SarLevel::High:
            return "High";
    }
    return "Low";
}

std::string WcdmaCellJson(const WcdmaCellIdentity& cell, const DecodedLogFrame& frame) {
    std::string out = Head("wcdma_cell", frame);
    Unsigned(out, "uarfcn_dl", cell.uarfcnDl);
    Unsigned(out, "uarfcn_ul", cell.uarfcnUl);
    Unsigned(out, "psc", cell.psc);
    Unsigned(out, "cell_id", cell.cellId);
    Unsigned(out, "lac", cell.lac);
    Unsigned(out, "rac", cell.rac);
    Plmn(out, cell.plmn);
    out += '}';
    return out;
}

std::string LteCellJson(const LteCellIdentity& cell, const DecodedLogFrame& frame) {
    std::string out = Head("lte_cell", frame);
    Unsigned(out, "pci", cell.pci);
    Unsigned(out, "earfcn_dl", cell.earfcnDl);
    Unsigned(out, "earfcn_ul", cell.earfcnUl);
    Unsigned(out, "band", cell.band);
    Unsigned(out, "bandwidth_dl_rb", cell.bandwidthDlRb);
    Unsigned(out, "bandwidth_ul_rb", cell.bandwidthUlRb);
    Unsigned(out, "cell_id", cell.cellId);
    Unsigned(out, "tac", cell.tac);
    Plmn(out, cell.plmn);
    out += '}';
    return out;
}

std::string LteIdleJson(const LteIdleMeasurement& m, const DecodedLogFrame& frame) {
    std::string out = Head("lte_idle", frame);
    Unsigned(out, "earfcn", m.earfcn);
    Unsigned(out, "pci", m.pci);
    Measurement(out, "rsrp", m.rsrp);
    Measurement(out, "rsrq", m.rsrq);
    Measurement(out, "rssi", m.rssi);
    out += '}';
    return out;
}

std::string LteIdleNeighboursJson(const LteIdleNeighbours& m, const DecodedLogFrame& frame) {
    std::string out = Head("lte_idle_neighbours", frame);
    Unsigned(out, "earfcn", m.earfcn);
    ObjectList(out, "cells", m.cells, m.count, [&](const LteNeighbour& c) {
        Unsigned(out, "pci", c.pci, true);
        Measurement(out, "rsrp", c.rsrp);
        Measurement(out, "rsrq", c.rsrq);
        Measurement(out, "rssi", c.rssi);
    });
    out += '}';
    return out;
}

std::string LteServingJson(const LteServingMeasurement& m, const DecodedLogFrame& frame) {
    std::string out = Head("lte_serving", frame);
    ObjectList(out, "cells", m.cells, m.count, [&](const LteServingCell& c) {
        Unsigned(out, "earfcn", c.earfcn, true);
        Unsigned(out, "pci", c.pci);
        Unsigned(out, "serving_index", c.servingIndex);
        if (c.hasServingFlag) {
            out += c.isServing ? ",\"is_serving\":true" : ",\"is_serving\":false";
        }
        Measurement(out, "rsrp", c.rsrp);
        Measurement(out, "rsrq", c.rsrq);
        Measurement(out, "rssi", c.rssi);
    });
    out += '}';
    return out;
}

std::string LteIntraMeasJson(const LteIntraMeasurement& m, const DecodedLogFrame& frame) {
    std::string out = Head("lte_intra_meas", frame);
    Unsigned(out, "earfcn", m.earfcn);
    Unsigned(out, "pci", m.pci);
    Unsigned(out, "serving_index", m.servingIndex);
    Measurement(out, "rsrp", m.rsrp);
    Measurement(out, "rsrq", m.rsrq);
    MeasuredCells(out, m.cells, m.count);
    out += ",\"detected\":[";
    for (std::size_t k = 0; k < m.detectedCount && k < m.detected.size(); ++k) {
        out += k == 0 ? "" : ",";
        out += std::to_string(m.detected[k]);
    }
    out += "]}";
    return out;
}

std::string LteNeighbourLayerJson(const LteNeighbourLayer& layer, bool connected,
                                  const DecodedLogFrame& frame) {
    std::string out = Head("lte_neighbour_meas", frame);
    out += connected ? ",\"mode\":\"connected\"" : ",\"mode\":\"idle\"";
    Unsigned(out, "earfcn", layer.earfcn);
    if (connected) {
        Unsigned(out, "serving_index", layer.servingIndex);
    }
    MeasuredCells(out, layer.cells, layer.count);
    out += '}';
    return out;
}

std::string NrCellJson(const NrCellIdentity& cell, const DecodedLogFrame& frame) {
    std::string out = Head("nr_cell", frame);
    Unsigned(out, "pci", cell.pci);
    Unsigned(out, "nr_arfcn_dl", cell.arfcnDl);
    Unsigned(out, "nr_arfcn_ul", cell.arfcnUl);
    Unsigned(out, "band", cell.band);
    Unsigned(out, "bandwidth_dl_mhz", cell.bandwidthDlMhz);
    Unsigned(out, "bandwidth_ul_mhz", cell.bandwidthUlMhz);
    out += ",\"cell_id\":";
    out += std::to_string(cell.cellId);
    Unsigned(out, "tac", cell.tac);
    Plmn(out, cell.plmn);
    out += '}';
    return out;
}

std::string NrMeasJson(const NrMeasurement& m, const DecodedLogFrame& frame) {
    std::string out = Head("nr_meas", frame);
    ObjectList(out, "cells", m.cells, m.count, [&](const NrMeasCell& c) {
        Unsigned(out, "nr_arfcn", c.arfcn, true);
        Unsigned(out, "pci", c.pci);
        out += c.serving ? ",\"serving\":true" : ",\"serving\":false";
        if (c.hasSsb) {
            Unsigned(out, "ssb", c.ssb);
        }
        Q7Measurement(out, "rsrp", c.rsrp);
        Q7Measurement(out, "rsrq", c.rsrq);
    });
    out += '}';
    return out;
}

}  // namespace

std::string CellReportJson(const CellReport& report) {
    std::string out = "{\"type\":\"cells\"";
    SimField(out, report.sim);
    Field(out, "hours", report.hours);
    Field(out, "minutes", report.minutes);
    Field(out, "seconds", report.seconds);
    Field(out, "milliseconds", report.milliseconds);
    ModemTimeField(out, report.hasModemTime, report.modemTimeUnixMs);
    Field(out, "wcdma", report.wcdmaCellCount);
    Field(out, "gsm", report.gsmCellCount);
    ObjectList(out, "cells", report.cells,
               static_cast<std::size_t>(std::max(report.wcdmaCellCount, 0)),
               [&](const CellEntry& c) {
                   Field(out, "uarfcn", c.uarfcn, true);
                   Field(out, "freq_mhz", c.frequencyMhz);
                   Field(out, "psc", c.psc);
                   Field(out, "rscp", c.rscp);
                   Field(out, "rscp_bar", c.rscpBarPos);
                   HalfStepField(out, "ecio", c.ecIo);
               });
    Field(out, "version", report.version);
    ObjectList(out, "gsm_cells", report.gsmCells,
               static_cast<std::size_t>(std::max(report.gsmCellsDecoded, 0)),
               [&](const GsmCellEntry& g) {
                   Field(out, "arfcn", g.arfcn, true);
                   Field(out, "bsic", g.bsic);
                   Field(out, "rssi", g.rssi);
               });
    out += '}';
    return out;
}

std::string SarPaReportJson(const SarPaReport& report) {
    std::string out = "{\"type\":\"sar_pa\"";
    SimField(out, report.sim);
    out += ",\"sar\":";
    if (report.hasSarLevel) {
        out += '"';
        out += SarLevelName(report.sarLevel);
        out += '"';
    } else {
        out += "null";
    }
    Field(out, "pa", report.paValue);
    out += ",\"pa_overheated\":";
    out += report.paOverheated ? "true" : "false";
    out += '}';
    return out;
}

std::string SignallingJson(const SignallingMessage& m, const DecodedLogFrame& frame) {
    const bool nas = m.protocol == SignallingProtocol::kNas;
    std::string out = Head(nas ? "nas" : "rrc", frame);
    out += m.rat == SignallingRat::kLte ? ",\"rat\":\"lte\"" : ",\"rat\":\"wcdma\"";
    out += m.direction == SignallingDirection::kUplink ? ",\"direction\":\"ul\""
                                                       : ",\"direction\":\"dl\"";
    if (!nas) {
        out += ",\"channel\":\"";
        out += SignallingChannelName(m.channel);
        out += '"';
    }
    out += ",\"message\":\"";
    out += m.name;  // names are plain ASCII without quotes or backslashes
    out += '"';
    if (!nas && m.rat == SignallingRat::kLte) {
        Unsigned(out, "earfcn", m.earfcn);
        Unsigned(out, "pci", m.pci);
    } else if (m.hasUarfcn) {
        Unsigned(out, "uarfcn", m.uarfcn);
        Unsigned(out, "psc", m.psc);
    }
    out += ",\"pdu\":\"";
    static constexpr char kHex[] = "0123456789abcdef";
    for (const std::uint8_t b : m.pdu) {
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    }
    out += "\"}";
    return out;
}

std::vector<std::string> LogFrameJson(const DecodedLogFrame& frame) {
    switch (frame.kind) {
        case LogFrameKind::CellList:
            return {CellReportJson(frame.cells)};
        case LogFrameKind::SarPa:
            return {SarPaReportJson(frame.sarPa)};
        case LogFrameKind::WcdmaCell:
            return {WcdmaCellJson(frame.wcdmaCell, frame)};
        case LogFrameKind::LteCell:
            return {LteCellJson(frame.lteCell, frame)};
        case LogFrameKind::LteIdle:
            return {LteIdleJson(frame.lteIdle, frame)};
        case LogFrameKind::LteIdleNeighbours:
            return {LteIdleNeighboursJson(frame.lteNeighbours, frame)};
        case LogFrameKind::LteServing:
            return {LteServingJson(frame.lteServing, frame)};
        case LogFrameKind::LteIntraMeas:
            return {LteIntraMeasJson(frame.lteIntra, frame)};
        case LogFrameKind::LteNeighbourMeas: {
            const LteNeighbourMeasurement& m = frame.lteNeighbourMeas;
            std::vector<std::string> lines;
            for (std::size_t k = 0; k < m.count && k < m.layers.size(); ++k) {
                lines.push_back(LteNeighbourLayerJson(m.layers[k], m.connected, frame));
            }
            return lines;
        }
        case LogFrameKind::NrCell:
            return {NrCellJson(frame.nrCell, frame)};
        case LogFrameKind::NrMeas:
            return {NrMeasJson(frame.nrMeas, frame)};
        case LogFrameKind::Rrc:
        case LogFrameKind::Nas:
            return {SignallingJson(frame.signalling, frame)};
        case LogFrameKind::RrcSegment:
        case LogFrameKind::Other:
            break;
    }
    return {};
}

}  // namespace norvane
