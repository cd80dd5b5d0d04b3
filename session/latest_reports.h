// The latest report of each kind, taken from any thread, for a window that draws at the screen's
// pace (the NetMonitor window and the radio window each keep one). Each kind keeps only its
// newest report (latest wins) in a slot of fixed size, so however fast reports come, the store
// never grows and a taker never waits for more than one copy. Of a dual-SIM modem the store
// keeps one radio's reports (diag/multi_sim.h: FirstRadio).
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
#include "diag/multi_sim.h"

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
    std::uint64_t taken = 0;      // the store's count (Taken()) once it was kept

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
    Latest<SarPaReport> sarPa;
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
    FirstRadio radio;               // the radio (SIM) whose reports are kept
};

class LatestReports {
  public:
    explicit LatestReports(RadioClockSource clock = [] { return RadioClock::now(); });

    // Any thread. Keeps `frame` if it is one of the kinds above; false when it is not, or when
    // it comes from another radio than the one kept. Allocates nothing.
    bool Take(const DecodedLogFrame& frame);
    bool Take(const CellReport& report);
    bool Take(const SarPaReport& report);
    // `wake` is called on the taking thread, outside the store's lock, by the first report kept
    // after the last CopyTo: a window that draws on demand posts its drawing from there. Set it
    // before reports come.
    void SetWake(std::function<void()> wake) { wake_ = std::move(wake); }
    // Copies everything kept into `out` (any thread; the copy allocates nothing) and returns the
    // count of reports taken that the copy holds.
    std::uint64_t CopyTo(RadioReports& out);
    // Counts the reports kept so far: a reader that saw the same count has nothing new to read.
    std::uint64_t Taken() const { return taken_.load(std::memory_order_acquire); }
    RadioClock::time_point Now() const { return clock_(); }
    // The next wrapped report chooses the radio again (the window's port changed).
    void ChooseRadioAgain();

  private:
    // Keeps one report of radio `sim` through `keep(now)`, under the lock.
    template <class Keep>
    bool KeepOf(std::uint32_t sim, Keep keep);
    void TakeServing(const LteServingMeasurement& m, RadioClock::time_point now);
    void TakeMeasured(std::uint32_t earfcn, const LteMeasuredCell& cell,
                      RadioClock::time_point now);
    void NameServing(std::uint32_t earfcn, std::uint16_t pci, RadioClock::time_point now);

    const RadioClockSource clock_;
    std::function<void()> wake_;
    mutable std::mutex mutex_;
    RadioReports reports_;
    bool unread_ = false;  // a report was kept after the last CopyTo
    std::atomic<std::uint64_t> taken_{0};
};

}  // namespace norvane
