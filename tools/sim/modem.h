// The simulated modem's diagnostic port, without any I/O: bytes from the host go in, reply
// bytes come out, and every report period produces the log frames that are switched on.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <span>
#include <string_view>
#include <vector>

#include "diag/hdlc.h"
#include "diag/log_packets.h"
#include "tools/sim/lte_radio.h"
#include "tools/sim/nr_radio.h"
#include "tools/sim/radio.h"
#include "tools/sim/signalling_flow.h"

namespace norvane::sim {

using Bytes = std::vector<std::uint8_t>;

// The radio the modem is on: WCDMA (the cell list 0x4005 and the serving cell's identity 0x4127),
// LTE (0xB0C2, 0xB179, 0xB17F, 0xB180, 0xB193, 0xB195), 5G NR standalone (0xB823, 0xB97F), or
// LTE with an NR cell added while connected (non-standalone: the LTE reports, and the NR ones
// while the NR cell is there).
enum class Rat : std::uint8_t { kWcdma, kLte, kNr, kLteNr };

// The log codes the modem knows, each switched on and off by its bit in the mask of its
// equipment id: the reports, and the signalling (WCDMA RRC, LTE RRC, the plain LTE NAS logs).
inline constexpr std::array<std::uint16_t, 17> kSimLogCodes = {
    kCellListLogCode, kSarPaLogCode, 0x4127, 0xB0C2, 0xB179, 0xB17F, 0xB180, 0xB193, 0xB195,
    0xB823,           0xB97F,        0x412F, 0xB0C0, 0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED};

// The item counts it answers to log-config operation 1 (those of a published modem's answer,
// without NR: 521 for equipment 11). A modem with NR has more on equipment 11.
inline constexpr LogItemCounts kSimItemCounts = {0, 4095, 0,   0,   4087, 4087, 28, 2910,
                                                 0, 2070, 914, 521, 0,    519,  0,  0};
inline constexpr std::uint32_t kSimNrItemCount = 0xA01;  // 2561
static_assert(NrLogCodesExist(kSimNrItemCount) && !NrLogCodesExist(kSimItemCounts[11]));
LogItemCounts SimItemCounts(Rat rat);

struct ModemOptions {
    Rat rat = Rat::kWcdma;
    bool atMode = false;    // DIAG only after "AT$QCDMG\r\n"
    int burst = 1;          // frames of each switched-on report per period, back to back
    bool noise = false;     // garbage and frames with a bad check sequence between real ones
    bool numbered = false;  // the GSM count of cell list n is n mod 256 (for loss checks)
    std::uint32_t seed = 1;
    std::uint64_t startUptimeMs = 0;  // the modem's up-time when the simulation starts
    unsigned packetVersion = 0;       // layout of the cell list: 0, 1 or 2
};

class SimModem {
  public:
    explicit SimModem(const ModemOptions& options);
    // The signalling flow calls back into this object: it stays where it was made.
    SimModem(const SimModem&) = delete;
    SimModem& operator=(const SimModem&) = delete;

    // Human-readable notes of what the host did ("log mask: 0x4005 on"), for --verbose.
    void SetLog(std::function<void(std::string_view)> log) { log_ = std::move(log); }

    // Takes bytes the host wrote and appends the modem's replies to `out`.
    void FromHost(std::span<const std::uint8_t> in, Bytes& out);

    // One report period has passed; `uptimeMs` is the modem's up-time now and `seconds` the
    // period. Appends the log frames due (nothing while no log code is on).
    void Tick(std::uint64_t uptimeMs, double seconds, Bytes& out);

    bool DiagMode() const { return diagMode_; }
    bool LogOn(std::uint16_t code) const;
    bool AnyLogOn() const;
    bool CellListOn() const { return LogOn(kCellListLogCode); }
    bool SarPaOn() const { return LogOn(kSarPaLogCode); }
    std::uint64_t CellListsSent() const { return cellListsSent_; }
    std::uint64_t SarPaSent() const { return sarPaSent_; }

  private:
    void ScanForModeSwitch(std::uint8_t byte, Bytes& out);
    void OnFrame(std::span<const std::uint8_t> payload, Bytes& out);
    void OnLogConfig(std::span<const std::uint8_t> payload, Bytes& out);
    void SetLogCode(std::uint16_t code, bool on);
    void AppendFrame(std::span<const std::uint8_t> payload, Bytes& out) const;
    void AppendNoise(Bytes& out);
    void AppendCellList(std::int64_t stamp, Bytes& out);
    void AppendSarPa(std::int64_t stamp, Bytes& out);
    void AppendServingCell(std::int64_t stamp, std::uint64_t uptimeMs, Bytes& out);
    void AppendLte(std::int64_t stamp, bool identityDue, Bytes& out);
    void AppendNr(std::int64_t stamp, bool identityDue, Bytes& out);
    bool NrCellThere() const;
    std::int64_t NextTimeStamp(std::uint64_t uptimeMs);
    void Log(std::string_view text) const;

    ModemOptions options_;
    HdlcDeframer deframer_;
    RadioScene radio_;
    LteScene lte_;
    NrScene nr_;
    LogItemCounts itemCounts_;
    SignallingFlow signalling_;
    std::mt19937 rng_;
    std::function<void(std::string_view)> log_;
    bool diagMode_;
    std::size_t modeSwitchMatched_ = 0;
    std::array<bool, kSimLogCodes.size()> on_{};
    std::uint64_t identityDueMs_ = 0;  // the serving cell's identity: once a second
    std::int64_t lastStamp_ = 0;
    std::uint64_t cellListsSent_ = 0;
    std::uint64_t sarPaSent_ = 0;
    Bytes* signallingOut_ = nullptr;  // where the signalling flow's frames go, during Tick
};

}  // namespace norvane::sim
