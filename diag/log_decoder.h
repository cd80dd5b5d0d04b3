// Decoding of the two DIAG log packets the monitor understands: the WCDMA cell list (log code
// 0x4005, packet versions 0, 1 and 2) and the SAR/PA report (log code 0x117C), also inside a
// dual-SIM modem's wrapper. Their layouts are in diag/log_packets.h and diag/multi_sim.h.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "diag/log_packets.h"
#include "diag/lte_neighbour_packets.h"
#include "diag/lte_packets.h"
#include "diag/nr_packets.h"
#include "diag/signalling.h"
#include "diag/wcdma_packets.h"

namespace norvane {

enum class SarLevel : std::uint8_t { Low = 0, Normal = 1, Medium = 2, High = 3 };

struct SarPaReport {
    bool hasSarLevel = false;
    SarLevel sarLevel = SarLevel::Low;  // meaningful only when hasSarLevel
    std::uint8_t paValue = 0;
    bool paOverheated = false;  // paValue <= 80
    std::uint32_t sim = 0;      // the radio of a dual-SIM modem (from 1); 0: not wrapped
};

struct CellEntry {
    std::int32_t uarfcn = 0;  // raw downlink channel number as the modem sent it
    std::int32_t frequencyMhz = 0;
    std::int32_t psc = 0;
    std::int32_t rscp = 0;        // dBm
    std::int32_t rscpBarPos = 0;  // position for the RSCP bar (the RSCP; shown in -120..-70)
    double ecIo = 0;              // dB, in half-dB steps
};

struct GsmCellEntry {
    std::int32_t arfcn = 0;  // 0..4095
    std::int32_t bsic = 0;   // raw 16 bits
    std::int32_t rssi = 0;   // dBm
};

struct CellReport {
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    std::int32_t milliseconds = 0;
    // The time of day, when the modem stamped the packet with one (milliseconds since
    // 1970-01-01 UTC); the up-time fields above are then read from the same stamp all the same.
    bool hasModemTime = false;
    std::int64_t modemTimeUnixMs = 0;
    std::uint32_t sim = 0;             // the radio of a dual-SIM modem (from 1); 0: not wrapped
    std::int32_t version = 0;          // packet version 0..2
    std::int32_t wcdmaCellCount = 0;   // 0..63
    std::int32_t gsmCellCount = 0;     // the count byte: 0..255 in version 0, 0..63 after
    std::int32_t gsmCellsDecoded = 0;  // gsmCells[0 .. gsmCellsDecoded-1] are filled
    std::array<CellEntry, kCellListMaxCells> cells{};  // cells[0 .. wcdmaCellCount-1] are filled
    std::array<GsmCellEntry, kCellListMaxCells> gsmCells{};
};

enum class LogFrameKind {
    CellList,
    SarPa,
    WcdmaCell,          // 0x4127
    LteCell,            // 0xB0C2
    LteIdle,            // 0xB17F
    LteIdleNeighbours,  // 0xB180
    LteServing,         // 0xB193
    LteIntraMeas,       // 0xB179
    LteNeighbourMeas,   // 0xB195 (connected) and 0xB192 (idle): one report per layer
    NrCell,             // 0xB823
    NrMeas,             // 0xB97F
    Rrc,                // 0xB0C0, 0x412F: a whole RRC message
    RrcSegment,         // 0xB0C0: a part of one, for an LteRrcJoiner (diag/signalling.h)
    Nas,                // 0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED
    Other
};

// Why a frame is Other.
enum class OtherReason {
    None,            // the frame is not Other
    NotDecoded,      // not one of the two packets, or not as they must be
    UnknownVersion,  // a cell list of a packet version this decoder does not know (3), or a
                     // serving-cell packet of a version or sub-version without a layout
};

struct DecodedLogFrame {
    LogFrameKind kind = LogFrameKind::Other;
    OtherReason reason = OtherReason::NotDecoded;
    CellReport cells;                          // valid when kind == CellList
    SarPaReport sarPa;                         // valid when kind == SarPa
    WcdmaCellIdentity wcdmaCell;               // valid when kind == WcdmaCell
    LteCellIdentity lteCell;                   // valid when kind == LteCell
    LteIdleMeasurement lteIdle;                // valid when kind == LteIdle
    LteIdleNeighbours lteNeighbours;           // valid when kind == LteIdleNeighbours
    LteServingMeasurement lteServing;          // valid when kind == LteServing
    LteIntraMeasurement lteIntra;              // valid when kind == LteIntraMeas
    LteNeighbourMeasurement lteNeighbourMeas;  // valid when kind == LteNeighbourMeas
    NrCellIdentity nrCell;                     // valid when kind == NrCell
    NrMeasurement nrMeas;                      // valid when kind == NrMeas
    // Valid when kind is Rrc, RrcSegment or Nas; its pdu is a view into the decoded payload.
    SignallingMessage signalling;
    std::uint32_t sim = 0;  // the radio of a dual-SIM modem (from 1); 0: not wrapped
    // The time of day of the log packet's stamp, when it is on the GPS scale (milliseconds since
    // 1970-01-01 UTC); not for SAR/PA reports.
    bool hasModemTime = false;
    std::int64_t modemTimeUnixMs = 0;
};

// Classifies and decodes one unescaped DIAG frame payload (CRC already checked and removed by
// HdlcDeframer), unwrapping a multi-SIM wrapper first; the reports then carry its radio. Pure:
// reads nothing outside `payload`, allocates nothing. A frame shorter than the fields it declares
// is Other. The serving-cell and signalling packets are read within the length their header
// declares. Parts of an LTE RRC message (RrcSegment) need joining across frames, which this
// stateless call cannot do: see LteRrcJoiner in diag/signalling.h.
DecodedLogFrame DecodeLogFrame(std::span<const std::uint8_t> payload);

// The signalling messages of a stream of decoded frames: the message of an Rrc or Nas frame as
// it is, the parts of an LTE RRC message joined (one LteRrcJoiner for each radio of a dual-SIM
// modem). One per stream, fed every frame in order. Pure: no allocation, no I/O; 24 KiB, so
// owned by the caller, not on a small stack.
class SignallingJoiner {
  public:
    // The whole message `frame` carries or completes (its pdu valid as long as the frame's
    // payload is, or, joined, until the next call), else nothing.
    std::optional<SignallingMessage> Add(const DecodedLogFrame& frame);
    // Messages dropped so far because a part was missing (LteRrcJoiner::dropped).
    std::uint64_t dropped() const;

  private:
    std::array<LteRrcJoiner, 3> joiners_;  // unwrapped, radio 1, radio 2 and on
};

}  // namespace norvane
