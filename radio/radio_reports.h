// The latest report of each kind the radio window shows, taken from any thread. Each kind keeps
// only its newest report (latest wins) in a slot of fixed size, so however fast reports come,
// the store never grows and a taker never waits for more than one copy.
//
// Connected-mode measurements (0xB193) are kept per serving cell index: a modem with carrier
// aggregation sends one packet per component carrier, and the primary cell's packet must not be
// replaced by a secondary cell's.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "diag/log_decoder.h"

namespace norvane {

using RadioClock = std::chrono::steady_clock;
// Where the store and the window read the time: the steady clock, or a test's. Called from
// every thread that hands in reports.
using RadioClockSource = std::function<RadioClock::time_point()>;

// A value older than this is not shown: the window says "no report yet" instead.
inline constexpr std::chrono::seconds kStaleAfter{10};

template <class Report>
struct Latest {
    Report report{};
    bool has = false;
    RadioClock::time_point at{};  // when it was taken

    bool FreshAt(RadioClock::time_point now) const { return has && now - at <= kStaleAfter; }
};

// Serving cell index of 0xB193: 3 bits, 0 the primary cell.
inline constexpr std::size_t kLteCarriers = 8;

// A neighbour the modem measures in connected mode (0xB179, 0xB195) or by layer in idle mode
// (0xB192): each cell keeps the values of whichever packet named it last.
struct MeasuredNeighbour {
    std::uint32_t earfcn = 0;
    std::uint16_t pci = 0;
    Sixteenths rsrp = 0;
    Sixteenths rsrq = 0;
    bool has = false;
    RadioClock::time_point at{};
};
// Cells kept; a new cell takes the slot of the one heard of longest ago.
inline constexpr std::size_t kMeasuredNeighbourSlots = 32;

// The serving cell as a measurement names it (0xB17F, the primary cell of 0xB193, 0xB179),
// before and without an identity packet.
struct MeasuredServingCell {
    std::uint32_t earfcn = 0;
    std::uint16_t pci = 0;
};

struct RadioReports {
    Latest<WcdmaCellIdentity> wcdmaCell;
    Latest<CellReport> cellList;
    Latest<LteCellIdentity> lteCell;
    Latest<LteIdleMeasurement> lteIdle;
    Latest<LteIdleNeighbours> lteNeighbours;
    // Carrier k: the cells of serving cell index k in the latest packet holding that index.
    std::array<Latest<LteServingMeasurement>, kLteCarriers> lteCarriers{};
    Latest<LteIntraMeasurement> lteIntra;  // the primary cell's, serving cell index 0
    std::array<MeasuredNeighbour, kMeasuredNeighbourSlots> measured{};
    Latest<MeasuredServingCell> lteServingCell;
    Latest<NrCellIdentity> nrCell;  // 0xB823
    Latest<NrMeasurement> nrMeas;   // 0xB97F: the serving and the other NR cells
    std::optional<int> radioId;     // the first radio (SIM) seen; reports of another are dropped
};

// The radio (SIM) a report comes from, when the packet says so.
std::optional<int> RadioIdOf(const DecodedLogFrame& frame);
// Ec/Io of a cell list entry in dB.
double EcIoDb(const CellEntry& cell);

class LatestReports {
  public:
    explicit LatestReports(RadioClockSource clock);

    // Any thread. Keeps `frame` if it is one of the kinds above; false when it is not, or when
    // it comes from another radio than the first one seen. Allocates nothing.
    bool Take(const DecodedLogFrame& frame);
    // Copies everything kept into `out` (any thread; the copy allocates nothing).
    void CopyTo(RadioReports& out) const;
    // Counts the reports kept so far: a reader that saw the same count has nothing new to read.
    std::uint64_t Taken() const { return taken_.load(std::memory_order_acquire); }
    RadioClock::time_point Now() const { return clock_(); }

  private:
    void TakeServing(const LteServingMeasurement& m, RadioClock::time_point now);
    void TakeMeasured(std::uint32_t earfcn, const LteMeasuredCell& cell,
                      RadioClock::time_point now);
    void NameServing(std::uint32_t earfcn, std::uint16_t pci, RadioClock::time_point now);

    const RadioClockSource clock_;
    mutable std::mutex mutex_;
    RadioReports reports_;
    std::atomic<std::uint64_t> taken_{0};
};

}  // namespace norvane
