// Log masks for several views at once. The modem keeps one mask per equipment id, and one
// log-config frame (0x73, operation 3) sets that id's whole mask, so the session keeps the log
// codes each open view needs and sends, for each equipment id, the union of all of them: one
// view switching its reports off never switches off another's.
//
// The NetMonitor's own reports (the cell list, the SAR/PA report) go on the wire as its fixed
// command frames, exactly as they always did, as long as no other view needs a code of the same
// equipment id. A frame built here needs the modem's item count N for that id (the mask's bit
// count): it is asked once per port with operation 1, and its answer comes back through the
// receive thread (LogConfigAnswers). A modem that does not answer in time gets the defaults of
// kDefaultItemCounts.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "diag/log_packets.h"
#include "diag/nr_packets.h"

namespace norvane {

// Who needs log codes: the monitor the session was made for (its fixed frames), and the other
// views that may share its port.
enum class LogView : std::uint8_t { kMonitor, kRadio, kTool };
inline constexpr std::size_t kLogViewCount = 3;

// The item counts taken when the modem does not answer operation 1: the NetMonitor's own frames'
// counts for equipment 1 (961) and 4 (1917), and 521 for LTE (11), the count of a modem whose
// answer is public and with which every LTE code in use here (up to 0xB195) fits (and no NR
// code: an unknown modem is not taken to have NR). Other ids 0: nothing of them is switched on.
inline constexpr LogItemCounts kDefaultItemCounts = {0, 961, 0, 0,   1917, 0, 0, 0,
                                                     0, 0,   0, 521, 0,    0, 0, 0};

// The codes of the LTE reports (serving cell identity, connected-mode intra-frequency results,
// idle serving cell and neighbours, connected-mode serving cells and neighbours) and of the
// WCDMA serving cell's identity.
inline constexpr std::array<std::uint16_t, 6> kLteLogCodes = {0xB0C2, 0xB179, 0xB17F,
                                                              0xB180, 0xB193, 0xB195};
inline constexpr std::uint16_t kWcdmaCellLogCode = 0x4127;
// The codes of the NR reports (the serving cell's identity, the measurement database) are
// kNrLogCodes (diag/nr_packets.h). A modem has them only when its item count for equipment 11
// reaches kNrItemCountMin; one below it is neither asked for them nor told it lacks them.
// The codes of the signalling messages: WCDMA RRC (equipment 4), LTE RRC and the plain LTE NAS
// logs (equipment 11).
inline constexpr std::array<std::uint16_t, 6> kSignallingLogCodes = {0x412F, 0xB0C0, 0xB0E2,
                                                                     0xB0E3, 0xB0EC, 0xB0ED};
// What the radio window shows: the WCDMA cell list and serving cell, the LTE and the NR reports,
// and the signalling.
inline constexpr std::array<std::uint16_t, 16> kRadioLogCodes = {
    0x4005, 0x4127, 0x412F, 0xB0C0, 0xB0C2, 0xB0E2, 0xB0E3, 0xB0EC,
    0xB0ED, 0xB179, 0xB17F, 0xB180, 0xB193, 0xB195, 0xB823, 0xB97F};

// How long the session waits for the answer to operation 1, and to each mask another view
// needs (the answer tells what the modem switched on).
inline constexpr std::chrono::milliseconds kItemCountsWait{500};
inline constexpr std::chrono::milliseconds kMaskAnswerWait{500};

// The log codes of every view, and their union per equipment id.
class LogMasks {
  public:
    // Replaces what `view` needs. Returns the equipment ids whose union may have changed: those
    // of the old and of the new codes, ascending, each once.
    std::vector<std::uint32_t> Set(LogView view, std::span<const std::uint16_t> codes);
    const std::vector<std::uint16_t>& Codes(LogView view) const {
        return codes_[static_cast<std::size_t>(view)];
    }
    // Whether a view other than `view` needs a code of `equipment`.
    bool OthersNeed(LogView view, std::uint32_t equipment) const;
    // Whether any view but the monitor needs a code.
    bool AnyBeyondMonitor() const;
    // The codes of `equipment` any view needs, ascending, each once, and below `items` (a code
    // at or beyond the modem's item count cannot be switched on); NR codes only when `items`
    // says the modem has NR.
    std::vector<std::uint16_t> Union(std::uint32_t equipment, std::uint32_t items) const;
    // Every equipment id of a code a view other than the monitor needs, ascending.
    std::vector<std::uint32_t> EquipmentBeyondMonitor() const;
    // The codes of `equipment` the views other than the monitor need, ascending, each once; NR
    // codes only when `items` says the modem has NR (one without it does not lack them).
    std::vector<std::uint16_t> BeyondMonitor(std::uint32_t equipment, std::uint32_t items) const;

  private:
    std::array<std::vector<std::uint16_t>, kLogViewCount> codes_;
};

// Hands the answers to operations 1 and 3 from the receive thread to the session's thread.
class LogConfigAnswers {
  public:
    // Receive thread: keeps the item counts when `payload` is a successful operation 1 answer,
    // and the answer to the mask last expected when it is an operation 3 answer.
    void Offer(std::span<const std::uint8_t> payload);
    // Forgets an earlier port's answers.
    void Reset();
    // The counts once they have come, waiting up to `limit` for them; nothing if none came.
    std::optional<LogItemCounts> WaitFor(std::chrono::milliseconds limit);

    // Session's thread, before the mask of `equipment` goes out: its answer is to be kept.
    void ExpectMask(std::uint32_t equipment);
    // The codes of `wanted` that the answer to the expected mask leaves off (all of them when
    // the modem refused the mask), waiting up to `limit` for it; nothing when no answer came,
    // as then nothing is known.
    std::optional<std::vector<std::uint16_t>> WaitForMask(std::span<const std::uint16_t> wanted,
                                                          std::chrono::milliseconds limit);

  private:
    enum class MaskAnswer : std::uint8_t { kNotExpected, kAwaited, kRefused, kInForce };
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::optional<LogItemCounts> counts_;
    MaskAnswer maskAnswer_ = MaskAnswer::kNotExpected;
    std::uint32_t maskEquipment_ = 0;
    std::uint32_t inForceBits_ = 0;
    std::array<std::uint8_t, 0x1000 / 8> inForce_{};  // an item is 12 bits
};

}  // namespace norvane
