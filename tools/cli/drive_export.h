// A drive turned into rows for a map and a spreadsheet: one row per measurement of the serving
// cell, with the last position the receiver reported before it and the cell's identity.
//
// Measurements: each serving cell of an "lte_serving" report (cells flagged is_serving, and every
// cell of the packet versions without the flag), each "lte_idle", each serving cell of an
// "nr_meas" with its SS-RSRP and SS-RSRQ, and the strongest cell (by RSCP) of a WCDMA cell list
// ("cells"). Identity: the latest "lte_cell" / "nr_cell" / "wcdma_cell" of the same channel and
// PCI / PSC. Position: the latest "position" line with a fix; one with "fix":
// "none" forgets it, so rows after it have no position until the next fix. A dual-SIM modem's
// reports are taken from the first radio seen, as the radio window does.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "diag/log_decoder.h"
#include "diag/multi_sim.h"
#include "jsonl/json_reader.h"

namespace norvane::cli {

struct DrivePosition {
    double lat = 0, lon = 0;
    std::optional<double> alt, speed;  // metres above sea level; metres a second
};

struct DriveIdentity {
    std::string mcc, mnc;      // empty when the report held none
    std::uint32_t area = 0;    // TAC or LAC
    std::uint64_t cellId = 0;  // NR's has 36 bits
};

enum class DriveRat : std::uint8_t { kWcdma, kLte, kNr };

struct DriveRow {
    std::string time;  // as the log has it; empty for a raw stream without times
    std::optional<DrivePosition> position;
    DriveRat rat = DriveRat::kWcdma;
    std::uint32_t channel = 0;   // EARFCN, NR-ARFCN or UARFCN
    std::uint32_t code = 0;      // PCI or PSC
    double level = 0;            // RSRP, SS-RSRP or RSCP, dBm
    double quality = 0;          // RSRQ, SS-RSRQ or Ec/Io, dB
    std::optional<double> rssi;  // LTE only
    std::optional<DriveIdentity> identity;
};

// Two front doors, one row builder: a log's JSON lines (TakeLine) and a capture's decoded frames
// (TakeFrame) give their fields to the same code, so a capture and the log printed from it give
// the same rows.
class DriveLog {
  public:
    // One JSON line as 'norvane-cli monitor' or 'decode' prints it. Lines of other types are
    // passed over; false with a reason in `error` for text that is not a JSON object, or a
    // line of a type read here that lacks a field or holds one out of range.
    bool TakeLine(std::string_view line, std::string& error);
    // The reports of one decoded frame, `time` the host's time of it ("" when the input has
    // none: the modem's stamp is taken then, as for a line). Frames of other kinds are passed
    // over; false with a reason in `error` for a WCDMA cell whose channel or code is negative.
    bool TakeFrame(const DecodedLogFrame& frame, std::string_view time, std::string& error);
    const std::vector<DriveRow>& rows() const { return rows_; }

  private:
    using Key = std::tuple<DriveRat, std::uint32_t, std::uint32_t>;  // rat, channel, code
    bool TakeIdentity(const JsonValue& v, DriveRat rat, std::string& error);
    bool TakeMeasurement(const JsonValue& v, const JsonValue& cell, DriveRat rat,
                         std::string& error);
    bool TakePosition(const JsonValue& v, std::string& error);
    // The row builder both front doors feed.
    void AddIdentity(DriveRat rat, std::uint32_t channel, std::uint32_t code, DriveIdentity id);
    void AddMeasurement(DriveRat rat, std::uint32_t channel, std::uint32_t code, double level,
                        double quality, std::optional<double> rssi);

    std::vector<DriveRow> rows_;
    std::map<Key, DriveIdentity> identities_;
    std::optional<DrivePosition> position_;
    FirstRadio radio_;  // the radio whose reports are taken
    std::string time_;  // the line being taken
};

// The CSV (RFC 4180: CRLF, a header row, fields quoted where they must be) of `rows`; columns
// time,lat,lon,alt,speed,rat,channel,pci_psc,level,quality,rssi,mcc,mnc,area,cell_id.
std::string DriveCsv(std::span<const DriveRow> rows);
// A KML document: one placemark per row with a position, its time, technology, cell and
// level, styled good / fair / poor by the serving cell's level.
std::string DriveKml(std::span<const DriveRow> rows);

struct DriveExportFiles {
    std::string input;     // a JSON-lines log, or a capture (raw stream, pcap, pcapng)
    std::string kml, csv;  // empty: not written
};
struct DriveExportCounts {
    std::size_t rows = 0;
    std::size_t positioned = 0;
};

// Reads `files.input` whole, then writes the outputs, each to a temporary file beside it that
// is renamed over the name given only once it is complete. False with one line in `error` (the
// file and the reason) when the input cannot be read or is not a log or capture, or an output
// cannot be written; no output is then left behind.
bool ExportDrive(const DriveExportFiles& files, DriveExportCounts& counts, std::string& error);

}  // namespace norvane::cli
