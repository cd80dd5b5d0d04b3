// The LTE log packets of the serving cell and its measurements (equipment 11): their layouts per
// version, what is decoded from them, and writers of whole log frames for the simulated modem
// and the tests. Offsets are from the start of the payload (the bytes after the 16-byte log
// header) unless a table says otherwise; all fields are little-endian. "bits a-b" count from the
// least significant bit of the 32-bit word read at the offset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "diag/packet_fields.h"

namespace norvane {

inline constexpr std::uint16_t kLteCellInfoLogCode = 0xB0C2;        // RRC serving cell info
inline constexpr std::uint16_t kLteIdleServingLogCode = 0xB17F;     // idle serving measurement
inline constexpr std::uint16_t kLteIdleNeighboursLogCode = 0xB180;  // idle neighbour measurements
inline constexpr std::uint16_t kLteServingMeasLogCode = 0xB193;     // connected serving cells

// --- 0xB0C2 serving cell identity, versions 2 and 3 (version 3 widens both EARFCNs to 32 bits):
//   0 version | 1 PCI u16 | 3 DL EARFCN | UL EARFCN | DL, UL bandwidth in resource blocks (u8
//   each) | cell identity u32 | TAC u16 | band u32 | MCC u16 binary | MNC digit count u8 | MNC
//   u16 binary | allowed access u8.
struct LteCellInfoLayout {
    std::uint8_t version;
    std::uint8_t earfcnWidth;  // bytes of each EARFCN
    std::uint8_t earfcnUl, bandwidthDl, bandwidthUl, cellId, tac, band, mcc, mncDigits, mnc;
    std::uint8_t size;  // the payload; shorter is malformed
};
inline constexpr std::size_t kLteCellInfoPci = 1;
inline constexpr std::size_t kLteCellInfoEarfcnDl = 3;
inline constexpr std::array<LteCellInfoLayout, 2> kLteCellInfoLayouts{{
    {2, 2, 5, 7, 8, 9, 13, 15, 19, 21, 22, 25},
    {3, 4, 7, 11, 12, 13, 17, 19, 23, 25, 26, 29},
}};

struct LteCellIdentity {
    std::uint8_t version = 0;
    std::uint16_t pci = 0;
    std::uint32_t earfcnDl = 0;
    std::uint32_t earfcnUl = 0;
    std::uint32_t band = 0;
    std::uint8_t bandwidthDlRb = 0;
    std::uint8_t bandwidthUlRb = 0;
    std::uint32_t cellId = 0;  // 28-bit E-UTRAN cell identity as sent
    std::uint16_t tac = 0;
    PlmnText plmn;  // MCC to 3 digits, MNC to its digit count when that is 2 or 3
};

// --- 0xB17F idle-mode serving cell measurement, versions 4 and 5: version u8 | RRC release u8 |
// reserved u16 | EARFCN (u16 in v4, u32 in v5) | PCI word, then u32 words of RSRP (measured:
// bits 0-11), average RSRP, RSRQ (measured: bits 0-9), RSSI (measured: bits 10-20), S-rxlev,
// S-search, and with RRC release 1 a Rel-9 word.
struct LteIdleServingLayout {
    std::uint8_t version;
    std::uint8_t earfcnWidth;
    BitField pci, rsrp, rsrq, rssi;
    std::uint8_t size;  // shortest payload
};
inline constexpr std::size_t kLteMeasEarfcn = 4;  // 0xB17F and 0xB180, every version
inline constexpr std::array<LteIdleServingLayout, 2> kLteIdleServingLayouts{{
    {4, 2, {6, 0, 9}, {8, 0, 12}, {16, 0, 10}, {20, 10, 11}, 32},
    {5, 4, {8, 0, 9}, {12, 0, 12}, {20, 0, 10}, {24, 10, 11}, 36},
}};

struct LteIdleMeasurement {
    std::uint8_t version = 0;
    std::uint32_t earfcn = 0;
    std::uint16_t pci = 0;
    Sixteenths rsrp = 0;  // dBm
    Sixteenths rsrq = 0;  // dB
    Sixteenths rssi = 0;  // dBm
};

// --- 0xB180 idle-mode neighbour measurements, versions 4 and 5: version | RRC release |
// reserved | EARFCN (u16 / u32) | count word (u16 / u32: cells = value >> 6) | 32-byte cells.
// Cell: word 0 PCI bits 0-8, measured RSSI 9-19, measured RSRP 20-31; word 2 (at 8) measured
// RSRQ bits 12-21; then averages, offsets and S values not decoded.
struct LteIdleNeighbourLayout {
    std::uint8_t version;
    std::uint8_t earfcnWidth;
    std::uint8_t countWord;
    std::uint8_t countWidth;
    std::uint8_t cells;  // offset of the first cell
};
inline constexpr unsigned kLteNeighbourCountShift = 6;
inline constexpr std::size_t kLteNeighbourCellSize = 32;
inline constexpr BitField kLteNeighbourPci{0, 0, 9};
inline constexpr BitField kLteNeighbourRssi{0, 9, 11};
inline constexpr BitField kLteNeighbourRsrp{0, 20, 12};
inline constexpr BitField kLteNeighbourRsrq{8, 12, 10};
inline constexpr std::array<LteIdleNeighbourLayout, 2> kLteIdleNeighbourLayouts{{
    {4, 2, 6, 2, 8},
    {5, 4, 8, 4, 12},
}};

// A report holds at most this many neighbours; a packet listing more is not decoded.
inline constexpr std::size_t kLteMaxNeighbours = 32;

struct LteNeighbour {
    std::uint16_t pci = 0;
    Sixteenths rsrp = 0;
    Sixteenths rsrq = 0;
    Sixteenths rssi = 0;
};

struct LteIdleNeighbours {
    std::uint8_t version = 0;
    std::uint32_t earfcn = 0;
    std::uint16_t count = 0;  // cells[0 .. count-1] are filled
    std::array<LteNeighbour, kLteMaxNeighbours> cells{};
};

// --- 0xB193 connected-mode serving cell measurements: a container of subpackets.
//   0 container version (1) | 1 number of subpackets | 2..3 reserved | subpackets in a row, each
//   id u8 | sub-version u8 | size u16 (its 4 header bytes included) | body.
// Subpacket 0x19 holds the serving cells' measurements; other ids are skipped.
inline constexpr std::uint8_t kLteServingContainerVersion = 1;
inline constexpr std::size_t kLteServingSubpackets = 4;  // offset of the first subpacket
inline constexpr std::size_t kLteSubpacketHeaderSize = 4;
inline constexpr std::uint8_t kLteServingMeasSubpacket = 0x19;

// One subpacket of such a container, and a walk over them all: each subpacket's size is the
// modem's and must hold its header and end in the payload, else the walk ends kMalformed; it
// also ends with the first result of `visit(LteSubpacket)` other than kOk.
struct LteSubpacket {
    std::uint8_t id;
    std::uint8_t subVersion;
    std::span<const std::uint8_t> body;  // after the header
};
template <typename Visit>
PacketDecode ForEachLteSubpacket(std::span<const std::uint8_t> payload, Visit&& visit) {
    std::size_t at = kLteServingSubpackets;
    for (unsigned k = 0; k < payload[1]; ++k) {
        if (payload.size() - at < kLteSubpacketHeaderSize) {
            return PacketDecode::kMalformed;
        }
        const std::size_t size = LeU16(payload, at + 2);
        if (size < kLteSubpacketHeaderSize || size > payload.size() - at) {
            return PacketDecode::kMalformed;
        }
        const LteSubpacket sub{
            payload[at], payload[at + 1],
            payload.subspan(at + kLteSubpacketHeaderSize, size - kLteSubpacketHeaderSize)};
        if (const PacketDecode d = visit(sub); d != PacketDecode::kOk) {
            return d;
        }
        at += size;
    }
    return PacketDecode::kOk;
}

// Subpacket 0x19 body: EARFCN (u16 at 0 in sub-version 4, else u32), then either one record
// (4, 7, 18) or a record count u16 at 4 and `stride`-byte records. Every record begins with a
// PCI word u16 (PCI bits 0-8, serving cell index 9-11, is-serving flag bit 12 from sub-version
// 18 on); rsrp/rsrq/rssi are the combined ("agg") values over the receive chains, offsets from
// the record start. From sub-version 35 on the combined RSRP is stored 40 dB low.
struct LteServingMeasLayout {
    std::uint8_t subVersion;
    std::uint8_t earfcnWidth;
    bool counted;              // a record count at 4 and `stride`-byte records; else one record
    bool servingFlag;          // PCI word bit 12 is the is-serving flag
    std::uint8_t records;      // body offset of the first record
    std::uint8_t stride;       // record size (counted sub-versions)
    std::uint8_t minimumBody;  // single-record sub-versions: the shortest body
    BitField rsrp, rsrq, rssi;
    Sixteenths rsrpBias;
};
inline constexpr std::size_t kLteServingCount = 4;  // body offset of the record count
inline constexpr BitField kLteServingPci{0, 0, 9};
inline constexpr BitField kLteServingIndex{0, 9, 3};
inline constexpr BitField kLteServingFlag{0, 12, 1};
inline constexpr Sixteenths kRsrpBias40 = kRsrpBias + 40 * 16;
inline constexpr std::array<LteServingMeasLayout, 10> kLteServingMeasLayouts{{
    {4, 2, false, false, 2, 0, 76, {18, 12, 12}, {26, 20, 10}, {34, 0, 11}, kRsrpBias},
    {7, 4, false, false, 4, 0, 80, {20, 12, 12}, {28, 20, 10}, {36, 0, 11}, kRsrpBias},
    {18, 4, false, true, 4, 0, 92, {24, 12, 12}, {32, 20, 10}, {40, 0, 11}, kRsrpBias},
    {19, 4, true, true, 8, 88, 0, {24, 12, 12}, {32, 20, 10}, {40, 0, 11}, kRsrpBias},
    {24, 4, true, true, 8, 92, 0, {24, 12, 12}, {32, 20, 10}, {40, 0, 11}, kRsrpBias},
    {35, 4, true, true, 8, 124, 0, {28, 12, 12}, {44, 0, 10}, {56, 0, 11}, kRsrpBias40},
    {36, 4, true, true, 8, 128, 0, {28, 12, 12}, {44, 0, 10}, {56, 0, 11}, kRsrpBias40},
    {40, 4, true, true, 8, 132, 0, {32, 12, 12}, {48, 0, 10}, {60, 0, 11}, kRsrpBias40},
    {48, 4, true, true, 12, 140, 0, {32, 12, 12}, {48, 0, 10}, {60, 0, 11}, kRsrpBias40},
    {50, 4, true, true, 12, 140, 0, {32, 12, 12}, {48, 0, 10}, {60, 0, 11}, kRsrpBias40},
}};

// The layout of a sub-version, or nullptr.
const LteServingMeasLayout* FindLteServingMeasLayout(std::uint8_t subVersion);

// A report holds at most this many cells (carrier aggregation reaches 32 component carriers);
// a packet with more is not decoded.
inline constexpr std::size_t kLteMaxServingCells = 32;

struct LteServingCell {
    std::uint8_t subVersion = 0;
    std::uint32_t earfcn = 0;
    std::uint16_t pci = 0;
    std::uint8_t servingIndex = 0;  // 0 the primary cell, 1.. secondary cells
    bool hasServingFlag = false;    // sub-versions 4 and 7 have none
    bool isServing = false;
    Sixteenths rsrp = 0;
    Sixteenths rsrq = 0;
    Sixteenths rssi = 0;
};

struct LteServingMeasurement {
    std::uint16_t count = 0;  // cells[0 .. count-1] are filled, in packet order
    std::array<LteServingCell, kLteMaxServingCells> cells{};
};

// Decoders of the payloads after the log header. kUnknownVersion: a version or sub-version
// without a layout here (0xB193: container version other than 1, or no 0x19 subpacket of a
// known sub-version). kMalformed: shorter than the version's layout, a count reaching beyond the
// payload or beyond what a report holds, a subpacket running past the payload or smaller than
// its header. Nothing outside `payload` is read.
PacketDecode DecodeLteCellIdentity(std::span<const std::uint8_t> payload, LteCellIdentity& out);
PacketDecode DecodeLteIdleMeasurement(std::span<const std::uint8_t> payload,
                                      LteIdleMeasurement& out);
PacketDecode DecodeLteIdleNeighbours(std::span<const std::uint8_t> payload, LteIdleNeighbours& out);
PacketDecode DecodeLteServingMeasurement(std::span<const std::uint8_t> payload,
                                         LteServingMeasurement& out);

// Writers of whole log frames (header included) from what a report holds; measurements are cut
// to their fields' ranges, an unknown PLMN written as 0. Each returns the frame's size, or 0
// (nothing usable written) for a version without a layout or a frame that does not fit `out`.
std::size_t WriteLteCellIdentity(std::span<std::uint8_t> out, std::int64_t stamp,
                                 const LteCellIdentity& cell);
std::size_t WriteLteIdleMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                                    const LteIdleMeasurement& m);
std::size_t WriteLteIdleNeighbours(std::span<std::uint8_t> out, std::int64_t stamp,
                                   const LteIdleNeighbours& m);
// One container holding one 0x19 subpacket of `subVersion` with `cells` (their EARFCN the
// first's); a single-record sub-version takes exactly one cell.
std::size_t WriteLteServingMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                                       std::uint8_t subVersion,
                                       std::span<const LteServingCell> cells);

}  // namespace norvane
