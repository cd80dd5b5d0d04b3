// The simulated modem's diagnostic port, without any I/O: bytes from the host go in, reply
// bytes come out, and every report period produces the log frames that are switched on.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <span>
#include <string_view>
#include <vector>

#include "diag/hdlc.h"
#include "diag/log_packets.h"
#include "tools/sim/radio.h"

namespace norvane::sim {

using Bytes = std::vector<std::uint8_t>;

struct ModemOptions {
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

    // Human-readable notes of what the host did ("log mask: 0x4005 on"), for --verbose.
    void SetLog(std::function<void(std::string_view)> log) { log_ = std::move(log); }

    // Takes bytes the host wrote and appends the modem's replies to `out`.
    void FromHost(std::span<const std::uint8_t> in, Bytes& out);

    // One report period has passed; `uptimeMs` is the modem's up-time now and `seconds` the
    // period. Appends the log frames due (nothing while no log code is on).
    void Tick(std::uint64_t uptimeMs, double seconds, Bytes& out);

    bool DiagMode() const { return diagMode_; }
    bool CellListOn() const { return cellListOn_; }
    bool SarPaOn() const { return sarPaOn_; }
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
    std::int64_t NextTimeStamp(std::uint64_t uptimeMs);
    void Log(std::string_view text) const;

    ModemOptions options_;
    HdlcDeframer deframer_;
    RadioScene radio_;
    std::mt19937 rng_;
    std::function<void(std::string_view)> log_;
    bool diagMode_;
    std::size_t modeSwitchMatched_ = 0;
    bool cellListOn_ = false;
    bool sarPaOn_ = false;
    std::int64_t lastStamp_ = 0;
    std::uint64_t cellListsSent_ = 0;
    std::uint64_t sarPaSent_ = 0;
};

}  // namespace norvane::sim
