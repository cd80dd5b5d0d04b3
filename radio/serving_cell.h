// What the radio window shows, worked out from the latest reports without Qt: the technology
// the modem is on, the serving cell's signal and how good it is, and the LTE cells around it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "diag/signal_scale.h"
#include "session/latest_reports.h"

namespace norvane {

enum class Technology { None, Lte, Wcdma };

// Ec/Io of a cell list entry in dB.
double EcIoDb(const CellEntry& cell);

// The technology of the newest report of either kind (whatever its age); None before any.
Technology CurrentTechnology(const RadioReports& reports);

// The serving cell's measurements from one report: LTE RSRP, RSRQ, RSSI (the idle-mode
// measurement or the connected-mode primary cell, whichever came last; else the intra-frequency
// results' serving cell, without RSSI), or WCDMA RSCP and Ec/Io
// (the cell list entry of the identity's PSC, else the strongest entry).
struct ServingSignal {
    bool has = false;  // false: no fresh report holds the serving cell
    RadioClock::time_point at{};
    std::uint16_t cellCode = 0;  // PCI or PSC of the measured cell
    std::array<double, 3> values{};
    std::array<bool, 3> present{};  // values the report holds (0xB179 has no RSSI)
    int count = 0;                  // values used: 3 for LTE, 2 for WCDMA
};
ServingSignal LteServingSignal(const RadioReports& reports, RadioClock::time_point now);
ServingSignal WcdmaServingSignal(const RadioReports& reports, RadioClock::time_point now);

// An LTE cell other than the serving one: an idle-mode neighbour (0xB180), a cell the modem
// measures but does not serve on (0xB193's other cells, 0xB179, 0xB195, 0xB192), or an
// aggregated secondary cell.
enum class NeighbourRole { Idle, Neighbour, Secondary, Nr };
struct NeighbourRow {
    std::uint16_t pci = 0;
    std::uint32_t earfcn = 0;
    double rsrp = 0, rsrq = 0, rssi = 0;
    bool hasRssi = true;
    NeighbourRole role = NeighbourRole::Idle;
    std::uint8_t servingIndex = 0;  // of a secondary cell
    int ssb = -1;                   // of an NR cell with a beam
    RadioClock::time_point at{};
};
// The cells of the fresh reports (LTE, and the NR cells other than the NR serving cell),
// strongest RSRP first; a cell (EARFCN and PCI) named by several
// reports once, as a secondary cell if it is one, else from the newest report; never the
// serving cell.
// The serving cell's PCI and EARFCN as the newest fresh report names them: a measurement, or
// the identity when it is newer; nullopt when none is fresh.
std::optional<MeasuredServingCell> LteServingCellNamed(const RadioReports& reports,
                                                       RadioClock::time_point now);
// The identity packet (0xB0C2) describes the serving cell the newest measurement names (a
// measurement of another cell since then clears it), whatever its age.
bool LteIdentityOfServingCell(const RadioReports& reports);

// The NR serving cell (0xB97F's serving cell of the identity's PCI, else its first) with its
// identity when 0xB823 names the same cell: SS-RSRP and SS-RSRQ in values[0..1].
struct NrServing {
    bool has = false;  // a fresh measurement of a serving cell
    RadioClock::time_point at{};
    std::uint16_t pci = 0;
    std::uint32_t arfcn = 0;
    std::array<double, 2> values{};
    std::array<bool, 2> present{};
    bool identity = false;  // reports.nrCell is fresh and of this cell
};
NrServing NrServingCell(const RadioReports& reports, RadioClock::time_point now);
// An NR report is fresh.
bool NrLive(const RadioReports& reports, RadioClock::time_point now);

std::vector<NeighbourRow> LteNeighbourRows(const RadioReports& reports, RadioClock::time_point now);

}  // namespace norvane
