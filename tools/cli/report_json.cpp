#include "tools/cli/report_json.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace norvane::cli {
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

}  // namespace

std::string CellReportJson(const CellReport& report) {
    std::string out = "{\"type\":\"cells\"";
    Field(out, "hours", report.hours);
    Field(out, "minutes", report.minutes);
    Field(out, "seconds", report.seconds);
    Field(out, "milliseconds", report.milliseconds);
    Field(out, "wcdma", report.wcdmaCellCount);
    Field(out, "gsm", report.gsmCellCount);
    out += ",\"cells\":[";
    const auto count = static_cast<std::size_t>(std::clamp<std::int32_t>(
        report.wcdmaCellCount, 0, static_cast<std::int32_t>(report.cells.size())));
    for (std::size_t k = 0; k < count; ++k) {
        const CellEntry& c = report.cells[k];
        out += k == 0 ? "{" : ",{";
        Field(out, "uarfcn", c.uarfcn, true);
        Field(out, "freq_mhz", c.frequencyMhz);
        Field(out, "psc", c.psc);
        Field(out, "rscp", c.rscp);
        Field(out, "rscp_bar", c.rscpBarPos);
        Field(out, "ecio", c.ecIo);
        out += '}';
    }
    out += ']';
    Field(out, "version", report.version);
    out += ",\"gsm_cells\":[";
    const auto gsm = static_cast<std::size_t>(std::clamp<std::int32_t>(
        report.gsmCellsDecoded, 0, static_cast<std::int32_t>(report.gsmCells.size())));
    for (std::size_t k = 0; k < gsm; ++k) {
        const GsmCellEntry& g = report.gsmCells[k];
        out += k == 0 ? "{" : ",{";
        Field(out, "arfcn", g.arfcn, true);
        Field(out, "bsic", g.bsic);
        Field(out, "rssi", g.rssi);
        out += '}';
    }
    out += "]}";
    return out;
}

std::string SarPaReportJson(const SarPaReport& report) {
    std::string out = "{\"type\":\"sar_pa\",\"sar\":";
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

std::string UtcText(std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch());
    const auto seconds = std::chrono::floor<std::chrono::seconds>(ms);
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm tm{};
    gmtime_r(&whole, &tm);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>((ms - seconds).count()));
    return text;
}

std::string WithTime(std::chrono::system_clock::time_point time, const std::string& json) {
    std::string out = "{\"time\":\"";
    out += UtcText(time);
    out += "\",";
    out.append(json, 1);
    return out;
}

}  // namespace norvane::cli
