// The drive export: which reports become rows and with what, the CSV and KML as other programs
// read them, and `norvane-cli export` on logs, captures and bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "jsonl/position_json.h"
#include "jsonl/report_json.h"
#include "position/gps_client.h"
#include "tests/support/sim_process.h"
#include "tools/cli/drive_export.h"

namespace norvane {
namespace {

using cli::DriveLog;

std::string Csv(const std::vector<const char*>& lines) {
    DriveLog log;
    std::string error;
    for (const char* line : lines) {
        EXPECT_TRUE(log.TakeLine(line, error)) << line << ": " << error;
    }
    std::string csv = cli::DriveCsv(log.rows());
    csv.erase(0, csv.find('\n') + 1);  // the header
    return csv;
}

constexpr const char* kFix =
    R"({"time":"T0","type":"position","lat":48.1,"lon":11.5,"alt":520.5,"speed":13.25,"fix":"3d"})";

TEST(DriveLog, RowsCarryTheLastPositionAndTheIdentityOfTheirCell) {
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        // no fix yet, then a fix; a lost fix empties the position again
        {{R"({"time":"T1","type":"lte_idle","earfcn":5780,"pci":405,"rsrp":-96.5625,"rsrq":-11.5,"rssi":-68.0})",
          kFix, R"({"type":"lte_idle","earfcn":5780,"pci":405,"rsrp":-80,"rsrq":-9,"rssi":-60})",
          R"({"type":"position","fix":"none"})",
          R"({"type":"lte_idle","earfcn":5780,"pci":405,"rsrp":-80,"rsrq":-9,"rssi":-60})"},
         "T1,,,,,LTE,5780,405,-96.5625,-11.5,-68,,,,\r\n"
         ",48.1,11.5,520.5,13.25,LTE,5780,405,-80,-9,-60,,,,\r\n"
         ",,,,,LTE,5780,405,-80,-9,-60,,,,\r\n"},
        // identity of the same channel and PCI only; a 2d fix has no altitude
        {{R"({"type":"lte_cell","pci":42,"earfcn_dl":2075,"cell_id":5665794,"tac":45057,"mcc":"310","mnc":"260"})",
          R"({"type":"lte_cell","pci":43,"earfcn_dl":2075,"cell_id":1,"tac":2})",
          R"({"type":"position","lat":-33.5,"lon":-70.25,"alt":null,"speed":0,"fix":"2d"})",
          R"({"type":"lte_serving","cells":[{"earfcn":2075,"pci":42,"serving_index":0,"is_serving":true,"rsrp":-110.875,"rsrq":-12.6875,"rssi":-76.375},)"
          R"({"earfcn":2075,"pci":7,"serving_index":0,"is_serving":false,"rsrp":-120,"rsrq":-20,"rssi":-90},)"
          R"({"earfcn":2075,"pci":43,"serving_index":1,"rsrp":-100,"rsrq":-10,"rssi":-70}]})"},
         ",-33.5,-70.25,,0,LTE,2075,42,-110.875,-12.6875,-76.375,310,260,45057,5665794\r\n"
         ",-33.5,-70.25,,0,LTE,2075,43,-100,-10,-70,,,2,1\r\n"},
        // a WCDMA list gives its strongest cell; an empty list, SAR/PA and the port give none
        {{R"({"type":"wcdma_cell","uarfcn_dl":10737,"psc":125,"cell_id":9,"lac":40093,"rac":1,"mcc":"262","mnc":"03"})",
          R"({"time":"T2","type":"cells","cells":[{"uarfcn":10737,"psc":382,"rscp":-96,"ecio":-5},{"uarfcn":10737,"psc":125,"rscp":-88,"ecio":-8.5}]})",
          R"({"type":"cells","cells":[]})", R"({"type":"sar_pa","sar":"High","pa":90})",
          R"({"type":"port","state":"gone"})"},
         "T2,,,,,WCDMA,10737,125,-88,-8.5,,262,03,40093,9\r\n"},
        // NR: each layer's serving cell with a value, with the identity of its NR-ARFCN and PCI
        // (not an LTE cell's of the same numbers); a 36-bit cell id
        {{R"({"type":"nr_cell","pci":669,"nr_arfcn_dl":641760,"nr_arfcn_ul":640726,"band":78,"bandwidth_dl_mhz":90,"bandwidth_ul_mhz":90,"cell_id":21248152064,"tac":31017,"mcc":"262","mnc":"01"})",
          R"({"type":"lte_cell","pci":669,"earfcn_dl":641760,"cell_id":1,"tac":2})",
          R"({"type":"nr_meas","cells":[{"nr_arfcn":641760,"pci":669,"serving":true,"ssb":3,"rsrp":-95.5,"rsrq":-10.25},)"
          R"({"nr_arfcn":641760,"pci":7,"serving":false,"ssb":1,"rsrp":-110,"rsrq":-15},)"
          R"({"nr_arfcn":431070,"pci":988,"serving":true,"rsrp":-107.5},)"
          R"({"nr_arfcn":156510,"pci":866,"serving":true,"rsrp":-100,"rsrq":-12}]})"},
         ",,,,,NR,641760,669,-95.5,-10.25,,262,01,31017,21248152064\r\n"
         ",,,,,NR,156510,866,-100,-12,,,,,\r\n"},
        // a dual-SIM modem: the first radio's reports only
        {{R"({"type":"lte_idle","sim":2,"earfcn":1,"pci":1,"rsrp":-80,"rsrq":-9,"rssi":-60})",
          R"({"type":"lte_idle","sim":1,"earfcn":2,"pci":2,"rsrp":-80,"rsrq":-9,"rssi":-60})"},
         ",,,,,LTE,1,1,-80,-9,-60,,,,\r\n"},
    };
    for (const auto& [lines, csv] : cases) {
        EXPECT_EQ(Csv(lines), csv);
    }
}

TEST(DriveLog, RefusesLinesItCannotRead) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"type":"lte_idle","earfcn":5780)", "',' or '}' expected at column 33"},
        {R"([1,2])", "not a JSON object"},
        {R"({"time":"T"})", "no \"type\""},
        {R"({"type":"lte_idle","earfcn":-1,"pci":1,"rsrp":-80,"rsrq":-9,"rssi":-60})",
         "no whole number \"earfcn\""},
        {R"({"type":"lte_serving","cells":[{"earfcn":1,"pci":1,"rsrp":-80,"rsrq":-9}]})",
         "no number \"rssi\""},
        {R"({"type":"position","lat":91,"lon":0,"fix":"3d"})", "a position off the earth"},
        {R"({"type":"position","lat":1,"lon":0,"fix":"4d"})",
         "a position without \"fix\" none, 2d or 3d"},
        {R"({"type":"cells","cells":{}})", "no \"cells\" list"},
    };
    for (const auto& [line, reason] : cases) {
        DriveLog log;
        std::string error;
        EXPECT_FALSE(log.TakeLine(line, error)) << line;
        EXPECT_EQ(error, reason) << line;
    }
}

struct Scratch {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("norvane-export-" + std::to_string(::getpid()));
    Scratch() { std::filesystem::create_directories(dir); }
    ~Scratch() { std::filesystem::remove_all(dir); }
    std::string operator/(const char* name) const { return (dir / name).string(); }
};

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The raw stream and its JSON lines give the same rows; Python's csv module reads the columns
// and rows back, its XML parser the KML with one placemark per positioned row.
TEST(ExportCli, CsvAndKmlAsOtherProgramsReadThem) {
    const Scratch s;
    const std::string cli = NORVANE_BINARY_DIR "/tools/norvane-cli export ";
    const std::string data = NORVANE_SOURCE_DIR "/tests/data/";
    std::ofstream(s / "drive.jsonl") << kFix << '\n' << test::ReadFile(data + "lte-samples.jsonl");
    ASSERT_EQ(Shell(cli + data + "lte-samples.bin --csv " + s / "raw.csv"), 0);
    ASSERT_EQ(Shell(cli + s / "drive.jsonl --csv " + s / "d.csv --kml " + s / "d.kml"), 0);
    const std::string raw = test::ReadFile(s / "raw.csv");
    std::string positioned = test::ReadFile(s / "d.csv");
    const std::string position = ",48.1,11.5,520.5,13.25,";
    for (std::size_t at; (at = positioned.find(position)) != std::string::npos;) {
        positioned.replace(at, position.size(), ",,,,,");
    }
    EXPECT_EQ(raw.substr(raw.find('\n')), positioned.substr(raw.find('\n')));
    const std::string check =
        "python3 -c \"import csv,sys,xml.etree.ElementTree as E\n"
        "rows=list(csv.reader(open(sys.argv[1],newline='')))\n"
        "assert rows[0]=='time,lat,lon,alt,speed,rat,channel,pci_psc,level,quality,rssi,mcc,"
        "mnc,area,cell_id'.split(','), rows[0]\n"
        "assert len(rows)==6 and all(len(r)==15 for r in rows), rows\n"
        "assert rows[2][1:4]==['48.1','11.5','520.5'] and rows[2][11:]==['310','410','34624',"
        "'143281423'], rows[2]\n"
        "k='{http://www.opengis.net/kml/2.2}'\n"
        "p=E.parse(sys.argv[2]).getroot().findall('.//'+k+'Placemark')\n"
        "assert len(p)==5 and p[0].find(k+'styleUrl').text=='#fair', len(p)\n"
        "assert p[0].find('.//'+k+'coordinates').text=='11.5,48.1,520.5'\" ";
    EXPECT_EQ(Shell(check + s / "d.csv " + s / "d.kml"), 0);
}

// Bad input: one line naming the file and the reason, status 2, the outputs untouched and no
// temporary file left beside them.
TEST(ExportCli, BadInputWritesNothing) {
    const Scratch s;
    std::ofstream(s / "bad.jsonl") << kFix << "\n{\"type\":\"lte_idle\"\n";
    std::ofstream(s / "noise.bin") << "no frames here";
    std::ofstream(s / "out.csv") << "kept";
    const std::string cli = NORVANE_BINARY_DIR "/tools/norvane-cli export ";
    const std::pair<std::string, std::string> cases[] = {
        {s / "bad.jsonl", s / "bad.jsonl" + ": line 2: ',' or '}' expected at column 19\n"},
        {s / "noise.bin",
         s / "noise.bin" + ": neither a JSON-lines log nor a capture of DIAG frames\n"},
        {s / "none", "cannot read " + s / "none" + ": No such file or directory\n"},
    };
    for (const auto& [input, message] : cases) {
        EXPECT_EQ(Shell(cli + input + " --csv " + s / "out.csv" + " --kml " + s / "out.kml" +
                        " 2>" + s / "err"),
                  2);
        EXPECT_EQ(test::ReadFile(s / "err"), "norvane-cli export: " + message);
    }
    EXPECT_EQ(test::ReadFile(s / "out.csv"), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir), {}), 4);
}

// gpsd's address as --gps takes it, and what a position line says when.
TEST(Position, AddressesAndPace) {
    const std::tuple<const char*, bool, const char*, const char*> addresses[] = {
        {"", true, "localhost", "2947"},
        {"gps.lan", true, "gps.lan", "2947"},
        {"10.0.0.2:3000", true, "10.0.0.2", "3000"},
        {"[::1]:2948", true, "::1", "2948"},
        {"[::1]", true, "::1", "2947"},
        {"::1", false, "", ""},
        {"host:", false, "", ""},
        {"host:0", false, "", ""},
        {"host:65536", false, "", ""},
        {"[::1]x", false, "", ""},
    };
    for (const auto& [text, ok, host, port] : addresses) {
        std::string h, p;
        EXPECT_EQ(ParseGpsdAddress(text, h, p), ok) << text;
        if (ok) {
            EXPECT_EQ(h + " " + p, std::string(host) + " " + port) << text;
        }
    }
    using Say = PositionPace::Say;
    const Position fix{FixMode::k2d, -33.5, 151.25, NAN, 1.5}, none{};
    const std::tuple<int, Position, Say> steps[] = {
        {0, none, Say::kNothing},    {0, fix, Say::kFix},    {500, fix, Say::kNothing},
        {999, fix, Say::kNothing},   {1000, fix, Say::kFix}, {1100, none, Say::kLost},
        {1200, none, Say::kNothing}, {1300, fix, Say::kFix},
    };
    PositionPace pace;
    for (const auto& [ms, state, say] : steps) {
        EXPECT_EQ(pace.Take(state, PositionPace::Clock::time_point(std::chrono::milliseconds(ms))),
                  say)
            << ms;
    }
    EXPECT_EQ(pace.Gone(), Say::kLost);
    EXPECT_EQ(
        PositionJson(fix),
        R"({"type":"position","lat":-33.5000000,"lon":151.2500000,"alt":null,"speed":1.50,"fix":"2d"})");
    // A position line carries the time as every report line does (a leap day, the last ms of a
    // second).
    std::string line;
    UtcSecondText cache;
    AppendWithTime(line,
                   std::chrono::system_clock::time_point{std::chrono::milliseconds(1709251199999)},
                   PositionJson(none), cache);
    EXPECT_EQ(line, R"({"time":"2024-02-29T23:59:59.999Z","type":"position","fix":"none"})");
}

}  // namespace
}  // namespace norvane
