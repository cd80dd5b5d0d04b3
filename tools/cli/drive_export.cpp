#include "tools/cli/drive_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

#include "capture/reader.h"
#include "diag/frame_pump.h"
#include "diag/hdlc.h"
#include "diag/signal_scale.h"
#include "jsonl/json_time.h"

namespace norvane::cli {
namespace {

// A whole number of `key` that T holds (and a JSON number holds exactly), as identities and
// channels are.
template <typename T>
bool Whole(const JsonValue& v, std::string_view key, T& out, std::string& error) {
    constexpr double kMax = std::min(static_cast<double>(std::numeric_limits<T>::max()), 0x1p53);
    const double* n = v.Number(key);
    if (n == nullptr || *n < 0 || *n > kMax || std::floor(*n) != *n) {
        error = "no whole number \"" + std::string(key) + "\"";
        return false;
    }
    out = static_cast<T>(*n);
    return true;
}

bool Real(const JsonValue& v, std::string_view key, double& out, std::string& error) {
    const double* n = v.Number(key);
    if (n == nullptr) {
        error = "no number \"" + std::string(key) + "\"";
        return false;
    }
    out = *n;
    return true;
}

// The keys of each radio's lines, and its names in the outputs.
struct RatKeys {
    const char* name;       // the CSV's and KML's rat
    const char* channel;    // of a measured cell
    const char* channelDl;  // of an identity
    const char* code;
    const char* level;
    const char* quality;
    const char* area;
    const char* levelName;  // the KML placemark's name
};
constexpr RatKeys kWcdmaKeys{"WCDMA", "uarfcn", "uarfcn_dl", "psc", "rscp", "ecio", "lac", "RSCP"};
constexpr RatKeys kLteKeys{"LTE", "earfcn", "earfcn_dl", "pci", "rsrp", "rsrq", "tac", "RSRP"};
constexpr RatKeys kNrKeys{"NR", "nr_arfcn", "nr_arfcn_dl", "pci", "rsrp", "rsrq", "tac", "SS-RSRP"};
const RatKeys& Keys(DriveRat rat) {
    return rat == DriveRat::kLte ? kLteKeys : rat == DriveRat::kNr ? kNrKeys : kWcdmaKeys;
}

}  // namespace

bool DriveLog::TakeLine(std::string_view line, std::string& error) {
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) {
        return true;
    }
    JsonValue v;
    if (!ParseJson(line, v, error)) {
        return false;
    }
    if (v.kind != JsonValue::Kind::kObject) {
        error = "not a JSON object";
        return false;
    }
    const std::string* type = v.Text("type");
    if (type == nullptr) {
        error = "no \"type\"";
        return false;
    }
    // The host's time where the line has one, else the modem's (a phone's own log file).
    const std::string* time = v.Text("time");
    const std::string* modemTime = v.Text("modem_time");
    time_ = time != nullptr ? *time : modemTime != nullptr ? *modemTime : std::string();
    if (*type == "position") {
        return TakePosition(v, error);
    }
    const bool known = *type == "lte_cell" || *type == "wcdma_cell" || *type == "nr_cell" ||
                       *type == "lte_idle" || *type == "lte_serving" || *type == "nr_meas" ||
                       *type == "cells";
    std::uint32_t sim = 0;  // unwrapped without "sim"
    if (!known || (v.Find("sim") != nullptr && !Whole(v, "sim", sim, error))) {
        return !known;  // a report that holds no serving cell, or a radio that is no number
    }
    if (!radio_.Takes(sim)) {
        return true;  // another radio's
    }
    const DriveRat rat = type->starts_with("lte_")  ? DriveRat::kLte
                         : type->starts_with("nr_") ? DriveRat::kNr
                                                    : DriveRat::kWcdma;
    if (type->ends_with("_cell")) {
        return TakeIdentity(v, rat, error);
    }
    if (*type == "lte_idle") {
        return TakeMeasurement(v, v, DriveRat::kLte, error);
    }
    const JsonValue* cells = v.Find("cells");
    if (cells == nullptr || cells->kind != JsonValue::Kind::kArray) {
        error = "no \"cells\" list";
        return false;
    }
    if (*type == "lte_serving") {
        for (const JsonValue& cell : cells->items) {
            const JsonValue* serving = cell.Find("is_serving");
            if ((serving == nullptr || serving->boolean) &&
                !TakeMeasurement(v, cell, DriveRat::kLte, error)) {
                return false;
            }
        }
        return true;
    }
    if (*type == "nr_meas") {
        // The serving cell of each layer; one the modem sent no value for is no measurement.
        for (const JsonValue& cell : cells->items) {
            const JsonValue* serving = cell.Find("serving");
            if (serving != nullptr && serving->boolean && cell.Number("rsrp") != nullptr &&
                cell.Number("rsrq") != nullptr && !TakeMeasurement(v, cell, DriveRat::kNr, error)) {
                return false;
            }
        }
        return true;
    }
    const JsonValue* strongest = nullptr;
    for (const JsonValue& cell : cells->items) {
        const double* rscp = cell.Number("rscp");
        if (rscp == nullptr) {
            error = "a cell without \"rscp\"";
            return false;
        }
        if (strongest == nullptr || *rscp > *strongest->Number("rscp")) {
            strongest = &cell;
        }
    }
    return strongest == nullptr || TakeMeasurement(v, *strongest, DriveRat::kWcdma, error);
}

bool DriveLog::TakeIdentity(const JsonValue& v, DriveRat rat, std::string& error) {
    std::uint32_t channel = 0, code = 0;
    DriveIdentity id;
    const RatKeys& keys = Keys(rat);
    if (!Whole(v, keys.channelDl, channel, error) || !Whole(v, keys.code, code, error) ||
        !Whole(v, keys.area, id.area, error) || !Whole(v, "cell_id", id.cellId, error)) {
        return false;
    }
    const std::string* mcc = v.Text("mcc");
    const std::string* mnc = v.Text("mnc");
    if (mcc != nullptr && mnc != nullptr) {
        id.mcc = *mcc;
        id.mnc = *mnc;
    }
    AddIdentity(rat, channel, code, std::move(id));
    return true;
}

bool DriveLog::TakeMeasurement(const JsonValue& v, const JsonValue& cell, DriveRat rat,
                               std::string& error) {
    const RatKeys& keys = Keys(rat);
    // An idle measurement and a serving cell carry their own channel; a WCDMA list's and an NR
    // measurement's cells too.
    const JsonValue& channelOwner =
        rat == DriveRat::kLte && &v != &cell && !cell.Find("earfcn") ? v : cell;
    std::uint32_t channel = 0, code = 0;
    double level = 0, quality = 0;
    if (!Whole(channelOwner, keys.channel, channel, error) ||
        !Whole(cell, keys.code, code, error) || !Real(cell, keys.level, level, error) ||
        !Real(cell, keys.quality, quality, error)) {
        return false;
    }
    std::optional<double> rssi;
    if (rat == DriveRat::kLte) {
        rssi.emplace();
        if (!Real(cell, "rssi", *rssi, error)) {
            return false;
        }
    }
    AddMeasurement(rat, channel, code, level, quality, rssi);
    return true;
}

void DriveLog::AddIdentity(DriveRat rat, std::uint32_t channel, std::uint32_t code,
                           DriveIdentity id) {
    identities_[Key{rat, channel, code}] = std::move(id);
}

void DriveLog::AddMeasurement(DriveRat rat, std::uint32_t channel, std::uint32_t code, double level,
                              double quality, std::optional<double> rssi) {
    DriveRow row;
    row.time = time_;
    row.position = position_;
    row.rat = rat;
    row.channel = channel;
    row.code = code;
    row.level = level;
    row.quality = quality;
    row.rssi = rssi;
    if (const auto id = identities_.find(Key{rat, channel, code}); id != identities_.end()) {
        row.identity = id->second;
    }
    rows_.push_back(std::move(row));
}

namespace {

// The decoded values as the JSON lines print them: exact decimals, Ec/Io in half-dB steps.
double Db(Sixteenths v) {
    return v / 16.0;
}
double DbQ7(Q7 v) {
    return v / 128.0;
}
double HalfSteps(double v) {
    return static_cast<double>(std::lround(v * 2)) / 2;
}

// A WCDMA list's channel or code, which the packet holds as a signed number.
bool NotNegative(std::int32_t v, const char* key, std::uint32_t& out, std::string& error) {
    if (v < 0) {
        error = "no whole number \"" + std::string(key) + "\"";
        return false;
    }
    out = static_cast<std::uint32_t>(v);
    return true;
}

DriveIdentity Identity(std::uint32_t area, std::uint64_t cellId, const PlmnText& plmn) {
    DriveIdentity id;
    id.area = area;
    id.cellId = cellId;
    if (plmn.known) {
        id.mcc = plmn.mcc.data();
        id.mnc = plmn.mnc.data();
    }
    return id;
}

}  // namespace

bool DriveLog::TakeFrame(const DecodedLogFrame& d, std::string_view time, std::string& error) {
    const bool cellList = d.kind == LogFrameKind::CellList;
    const bool hasModemTime = cellList ? d.cells.hasModemTime : d.hasModemTime;
    const std::int64_t modemMs = cellList ? d.cells.modemTimeUnixMs : d.modemTimeUnixMs;
    const bool known = cellList || d.kind == LogFrameKind::WcdmaCell ||
                       d.kind == LogFrameKind::LteCell || d.kind == LogFrameKind::NrCell ||
                       d.kind == LogFrameKind::LteIdle || d.kind == LogFrameKind::LteServing ||
                       d.kind == LogFrameKind::NrMeas;
    if (!known || !radio_.Takes(cellList ? d.cells.sim : d.sim)) {
        return true;
    }
    time_ = !time.empty() ? std::string(time)
            : hasModemTime
                ? UtcText(std::chrono::system_clock::time_point(std::chrono::milliseconds(modemMs)))
                : std::string();
    switch (d.kind) {
        case LogFrameKind::WcdmaCell: {
            const WcdmaCellIdentity& c = d.wcdmaCell;
            AddIdentity(DriveRat::kWcdma, c.uarfcnDl, c.psc, Identity(c.lac, c.cellId, c.plmn));
            return true;
        }
        case LogFrameKind::LteCell: {
            const LteCellIdentity& c = d.lteCell;
            AddIdentity(DriveRat::kLte, c.earfcnDl, c.pci, Identity(c.tac, c.cellId, c.plmn));
            return true;
        }
        case LogFrameKind::NrCell: {
            const NrCellIdentity& c = d.nrCell;
            AddIdentity(DriveRat::kNr, c.arfcnDl, c.pci, Identity(c.tac, c.cellId, c.plmn));
            return true;
        }
        case LogFrameKind::LteIdle: {
            const LteIdleMeasurement& m = d.lteIdle;
            AddMeasurement(DriveRat::kLte, m.earfcn, m.pci, Db(m.rsrp), Db(m.rsrq), Db(m.rssi));
            return true;
        }
        case LogFrameKind::LteServing: {
            const LteServingMeasurement& m = d.lteServing;
            for (std::size_t k = 0; k < m.count && k < m.cells.size(); ++k) {
                const LteServingCell& c = m.cells[k];
                if (!c.hasServingFlag || c.isServing) {
                    AddMeasurement(DriveRat::kLte, c.earfcn, c.pci, Db(c.rsrp), Db(c.rsrq),
                                   Db(c.rssi));
                }
            }
            return true;
        }
        case LogFrameKind::NrMeas: {
            // The serving cell of each layer; one the modem sent no value for (0) is none.
            const NrMeasurement& m = d.nrMeas;
            for (std::size_t k = 0; k < m.count && k < m.cells.size(); ++k) {
                const NrMeasCell& c = m.cells[k];
                if (c.serving && c.rsrp != 0 && c.rsrq != 0) {
                    AddMeasurement(DriveRat::kNr, c.arfcn, c.pci, DbQ7(c.rsrp), DbQ7(c.rsrq), {});
                }
            }
            return true;
        }
        default:
            break;
    }
    const CellReport& r = d.cells;
    const auto count = static_cast<std::size_t>(
        std::clamp<std::int32_t>(r.wcdmaCellCount, 0, static_cast<std::int32_t>(r.cells.size())));
    const CellEntry* strongest = nullptr;
    for (std::size_t k = 0; k < count; ++k) {
        if (strongest == nullptr || r.cells[k].rscp > strongest->rscp) {
            strongest = &r.cells[k];
        }
    }
    std::uint32_t channel = 0, code = 0;
    if (strongest == nullptr) {
        return true;
    }
    if (!NotNegative(strongest->uarfcn, "uarfcn", channel, error) ||
        !NotNegative(strongest->psc, "psc", code, error)) {
        return false;
    }
    AddMeasurement(DriveRat::kWcdma, channel, code, strongest->rscp, HalfSteps(strongest->ecIo),
                   {});
    return true;
}

bool DriveLog::TakePosition(const JsonValue& v, std::string& error) {
    const std::string* fix = v.Text("fix");
    if (fix == nullptr || (*fix != "none" && *fix != "2d" && *fix != "3d")) {
        error = "a position without \"fix\" none, 2d or 3d";
        return false;
    }
    if (*fix == "none") {
        position_.reset();
        return true;
    }
    DrivePosition p;
    if (!Real(v, "lat", p.lat, error) || !Real(v, "lon", p.lon, error)) {
        return false;
    }
    if (p.lat < -90 || p.lat > 90 || p.lon < -180 || p.lon > 180) {
        error = "a position off the earth";
        return false;
    }
    if (const double* alt = v.Number("alt")) {
        p.alt = *alt;
    }
    if (const double* speed = v.Number("speed")) {
        p.speed = *speed;
    }
    position_ = p;
    return true;
}

namespace {

void Num(std::string& out, double value) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, ec == std::errc() ? end : buffer);
}

void CsvField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
}

void XmlText(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            default:
                out += c;
        }
    }
}

const SignalScale& LevelScale(const DriveRow& row) {
    return row.rat == DriveRat::kWcdma ? kRscpScale : kRsrpScale;
}

}  // namespace

std::string DriveCsv(std::span<const DriveRow> rows) {
    std::string out =
        "time,lat,lon,alt,speed,rat,channel,pci_psc,level,quality,rssi,mcc,mnc,area,cell_id\r\n";
    for (const DriveRow& r : rows) {
        CsvField(out, r.time);
        out += ',';
        if (r.position) {
            Num(out, r.position->lat);
            out += ',';
            Num(out, r.position->lon);
            out += ',';
            if (r.position->alt) {
                Num(out, *r.position->alt);
            }
            out += ',';
            if (r.position->speed) {
                Num(out, *r.position->speed);
            }
        } else {
            out += ",,,";
        }
        out += ',';
        out += Keys(r.rat).name;
        out += ',';
        out += std::to_string(r.channel) + ',' + std::to_string(r.code) + ',';
        Num(out, r.level);
        out += ',';
        Num(out, r.quality);
        out += ',';
        if (r.rssi) {
            Num(out, *r.rssi);
        }
        out += ',';
        if (r.identity) {
            CsvField(out, r.identity->mcc);
            out += ',';
            CsvField(out, r.identity->mnc);
            out +=
                ',' + std::to_string(r.identity->area) + ',' + std::to_string(r.identity->cellId);
        } else {
            out += ",,,";
        }
        out += "\r\n";
    }
    return out;
}

std::string DriveKml(std::span<const DriveRow> rows) {
    // KML colours are aabbggrr: the radio window's green, amber and red.
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n<name>Drive</name>\n"
        "<Style id=\"good\"><IconStyle><color>ff009600</color><scale>0.7</scale></IconStyle>"
        "</Style>\n"
        "<Style id=\"fair\"><IconStyle><color>ff0082c8</color><scale>0.7</scale></IconStyle>"
        "</Style>\n"
        "<Style id=\"poor\"><IconStyle><color>ff0000c8</color><scale>0.7</scale></IconStyle>"
        "</Style>\n"
        "<Folder><name>Serving cell</name>\n";
    for (const DriveRow& r : rows) {
        if (!r.position) {
            continue;
        }
        static constexpr const char* kStyles[] = {"poor", "fair", "good"};
        const char* const style = kStyles[static_cast<int>(Rate(r.level, LevelScale(r)))];
        out += "<Placemark><name>";
        Num(out, r.level);
        const RatKeys& keys = Keys(r.rat);
        out += " dBm ";
        out += keys.levelName;
        out += "</name>";
        if (!r.time.empty()) {
            out += "<TimeStamp><when>";
            XmlText(out, r.time);
            out += "</when></TimeStamp>";
        }
        out += "<styleUrl>#";
        out += style;
        out += "</styleUrl><ExtendedData>";
        const auto data = [&out](const char* name, const std::string& value) {
            out += "<Data name=\"";
            out += name;
            out += "\"><value>";
            XmlText(out, value);
            out += "</value></Data>";
        };
        std::string level, quality;
        Num(level, r.level);
        Num(quality, r.quality);
        data("rat", keys.name);
        data("channel", std::to_string(r.channel));
        data(keys.code, std::to_string(r.code));
        data(keys.level, level);
        data(keys.quality, quality);
        data("rating", style);
        if (r.identity) {
            data("plmn", r.identity->mcc + r.identity->mnc);
            data(keys.area, std::to_string(r.identity->area));
            data("cell_id", std::to_string(r.identity->cellId));
        }
        out += "</ExtendedData><Point><coordinates>";
        Num(out, r.position->lon);
        out += ',';
        Num(out, r.position->lat);
        if (r.position->alt) {
            out += ',';
            Num(out, *r.position->alt);
        }
        out += "</coordinates></Point></Placemark>\n";
    }
    out += "</Folder>\n</Document>\n</kml>\n";
    return out;
}

namespace {

// A JSON-lines log, line by line.
bool ReadLog(const std::string& path, DriveLog& log, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        if (!log.TakeLine(line, error)) {
            error = path + ": line " + std::to_string(number) + ": " + error;
            return false;
        }
    }
    if (in.bad()) {
        error = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    return true;
}

// A capture: each modem frame decoded and taken as it is; a recorded position line as the line
// it was printed as.
bool ReadCapture(const std::string& path, DriveLog& log, std::string& error) {
    CaptureError failure;
    const std::unique_ptr<CaptureReader> reader = CaptureReader::Open(path, failure);
    if (reader == nullptr) {
        error = failure.message;
        return false;
    }
    reader->KeepPositions();
    auto deframer = std::make_unique<HdlcDeframer>();
    FrameCounters frames;
    bool ok = true;
    CaptureReader::Packet packet;
    while (ok) {
        const CaptureReader::Status got = reader->Next(packet, failure);
        if (got == CaptureReader::Status::kEnd) {
            break;
        }
        if (got == CaptureReader::Status::kError) {
            error = failure.message;
            return false;
        }
        if (reader->format() == CaptureFormat::kRaw) {
            PumpFrames(*deframer, packet.bytes, frames,
                       [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                           ok = ok && (status != HdlcDeframer::Status::kFrame ||
                                       log.TakeFrame(DecodeLogFrame(payload), {}, error));
                       });
        } else if (packet.position) {
            const std::string_view line(reinterpret_cast<const char*>(packet.bytes.data()),
                                        packet.bytes.size());
            ok = log.TakeLine(line, error);
        } else if (packet.direction != FrameDirection::kToModem) {
            ok = log.TakeFrame(DecodeLogFrame(packet.bytes),
                               packet.hasTime ? UtcText(packet.time) : std::string(), error);
        }
    }
    if (!ok) {
        error = path + ": " + error;
        return false;
    }
    if (frames.frames == 0 && reader->format() == CaptureFormat::kRaw) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        if (in.tellg() > 0) {
            error = path + ": neither a JSON-lines log nor a capture of DIAG frames";
            return false;
        }
    }
    return true;
}

// The file's first byte that is not white space (' ' for an empty file).
bool FirstByte(const std::string& path, char& c, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    while (in.get(c) && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
    }
    c = in ? c : ' ';
    return true;
}

class TempFile {
  public:
    ~TempFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    // Writes `text` whole to a new file beside `target`.
    bool Write(const std::string& target, const std::string& text, std::string& error) {
        target_ = target;
        std::string name = target + ".XXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd < 0) {
            error = "cannot create " + target + ": " + std::strerror(errno);
            return false;
        }
        path_ = name;
        ::fchmod(fd, 0644);
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error = "cannot write " + target + ": " + std::strerror(errno);
                ::close(fd);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0) {
            error = "cannot write " + target + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    bool Commit(std::string& error) {
        if (::rename(path_.c_str(), target_.c_str()) != 0) {
            error = "cannot write " + target_ + ": " + std::strerror(errno);
            return false;
        }
        path_.clear();
        return true;
    }

  private:
    std::string path_, target_;
};

}  // namespace

bool ExportDrive(const DriveExportFiles& files, DriveExportCounts& counts, std::string& error) {
    DriveLog log;
    char first = ' ';
    if (!FirstByte(files.input, first, error)) {
        return false;
    }
    if (!(first == '{' ? ReadLog(files.input, log, error) : ReadCapture(files.input, log, error))) {
        return false;
    }
    counts.rows = log.rows().size();
    counts.positioned = static_cast<std::size_t>(std::count_if(
        log.rows().begin(), log.rows().end(), [](const DriveRow& r) { return r.position; }));
    TempFile kml, csv;
    if ((!files.kml.empty() && !kml.Write(files.kml, DriveKml(log.rows()), error)) ||
        (!files.csv.empty() && !csv.Write(files.csv, DriveCsv(log.rows()), error))) {
        return false;
    }
    return (files.kml.empty() || kml.Commit(error)) && (files.csv.empty() || csv.Commit(error));
}

}  // namespace norvane::cli
