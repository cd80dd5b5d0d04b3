// The LTE neighbour measurements a modem sends in connected mode (0xB179, 0xB195) and their
// idle-mode twin (0xB192): layouts per version, what is decoded from them, and writers of whole
// log frames for the simulated modem and the tests. Offsets are from the start of the payload
// (after the 16-byte log header); all fields little-endian. Errors as in diag/packet_fields.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "diag/packet_fields.h"

namespace norvane {

inline constexpr std::uint16_t kLteIntraMeasLogCode = 0xB179;          // connected, intra-frequency
inline constexpr std::uint16_t kLteIdleNeighbourMeasLogCode = 0xB192;  // idle, per layer
inline constexpr std::uint16_t kLteConnNeighbourMeasLogCode = 0xB195;  // connected, per layer

// A report holds at most this many cells of a kind; a packet declaring more is not decoded.
inline constexpr std::size_t kLteMaxMeasuredCells = 32;

// A cell measured by RSRP and RSRQ only (these logs carry no usable RSSI).
struct LteMeasuredCell {
    std::uint16_t pci = 0;
    Sixteenths rsrp = 0;  // dBm
    Sixteenths rsrq = 0;  // dB
};

// --- 0xB179 intra-frequency measurement results, versions 3 and 4:
//   0 version | 4 serving cell index (bits 0-2) | 8 EARFCN (u16 in v3, u32 in v4) | PCI u16 |
//   sub-frame u16 | filtered RSRP u16 (raw/16 - 180), repeated | filtered RSRQ u16 (raw/16 - 30),
//   repeated | neighbour count u8 | detected count u8 | (v4: 2 bytes) | 12-byte neighbour records
//   | 16-byte detected records. The payload may be longer than its records.
struct LteIntraMeasLayout {
    std::uint8_t version;
    std::uint8_t earfcnWidth;
    std::uint8_t pci, rsrp, rsrq, neighbours, detected, records;
    std::uint8_t detectedPciWidth;  // v3 a u32, v4 a u16 and two spare bytes
};
inline constexpr std::size_t kLteIntraServingIndex = 4;
inline constexpr std::uint8_t kLteIntraServingIndexMask = 0x07;
inline constexpr std::size_t kLteIntraEarfcn = 8;
inline constexpr std::array<LteIntraMeasLayout, 2> kLteIntraMeasLayouts{{
    {3, 2, 10, 14, 18, 22, 23, 24, 4},
    {4, 4, 12, 16, 20, 24, 25, 28, 2},
}};
// Neighbour record: PCI u16 @0, RSRP u16 @2 (and again @4), RSRQ u16 @6 (and again, 2 spare).
inline constexpr std::size_t kLteIntraNeighbourSize = 12;
inline constexpr std::size_t kLteIntraNeighbourRsrp = 2;
inline constexpr std::size_t kLteIntraNeighbourRsrq = 6;
// Detected record: PCI @0, SSS correlation u32 @4, reference time u64 @8.
inline constexpr std::size_t kLteIntraDetectedSize = 16;

struct LteIntraMeasurement {
    std::uint8_t version = 0;
    std::uint32_t earfcn = 0;
    std::uint16_t pci = 0;  // the serving cell's
    std::uint8_t servingIndex = 0;
    Sixteenths rsrp = 0;  // the serving cell's filtered values
    Sixteenths rsrq = 0;
    std::uint16_t count = 0;  // cells[0 .. count-1] are filled
    std::array<LteMeasuredCell, kLteMaxMeasuredCells> cells{};
    std::uint16_t detectedCount = 0;  // detected[0 .. detectedCount-1] are filled
    std::array<std::uint32_t, kLteMaxMeasuredCells> detected{};
};

// --- 0xB195 / 0xB192: a container as 0xB193's (version 1, subpacket count, 2 reserved bytes,
// then `id | sub-version | size u16` subpackets whose size counts their 4-byte header). Each
// result subpacket holds one frequency layer; request subpackets are skipped.
//   result: EARFCN (u16 / u32) | cells word u16 (count bits 0-5, serving cell index 9-12 in
//   connected mode) | 52-byte records: PCI u32 @0 bits 0-9, RSRP @12 bits 0-11, RSRQ @20
//   bits 10-19 (same formulas as above).
struct LteNeighbourMeasLayout {
    std::uint16_t logCode;
    std::uint8_t subpacket;  // the result subpacket's id
    std::uint8_t subVersion;
    std::uint8_t earfcnWidth;
    std::uint8_t cellsWord;
    std::uint8_t records;
};
inline constexpr std::uint8_t kLteNeighbourMeasContainerVersion = 1;
inline constexpr std::uint8_t kLteConnNeighbourRequestSubpacket = 30;
inline constexpr std::uint8_t kLteConnNeighbourResultSubpacket = 31;
inline constexpr std::uint8_t kLteIdleNeighbourRequestSubpacket = 26;
inline constexpr std::uint8_t kLteIdleNeighbourResultSubpacket = 27;
inline constexpr std::array<LteNeighbourMeasLayout, 4> kLteNeighbourMeasLayouts{{
    {kLteConnNeighbourMeasLogCode, kLteConnNeighbourResultSubpacket, 3, 2, 2, 4},
    {kLteConnNeighbourMeasLogCode, kLteConnNeighbourResultSubpacket, 4, 4, 4, 8},
    {kLteIdleNeighbourMeasLogCode, kLteIdleNeighbourResultSubpacket, 2, 2, 2, 4},
    {kLteIdleNeighbourMeasLogCode, kLteIdleNeighbourResultSubpacket, 4, 4, 4, 8},
}};
inline constexpr std::uint32_t kLteNeighbourMeasCountMask = 0x3F;
inline constexpr unsigned kLteNeighbourMeasIndexShift = 9;
inline constexpr std::uint32_t kLteNeighbourMeasIndexMask = 0x0F;
inline constexpr std::size_t kLteNeighbourMeasRecordSize = 52;
inline constexpr BitField kLteNeighbourMeasPci{0, 0, 10};
inline constexpr BitField kLteNeighbourMeasRsrp{12, 0, 12};
inline constexpr BitField kLteNeighbourMeasRsrq{20, 10, 10};

// A packet holds at most this many result subpackets (layers); one with more is not decoded.
inline constexpr std::size_t kLteMaxNeighbourLayers = 8;

struct LteNeighbourLayer {
    std::uint8_t subVersion = 0;
    std::uint32_t earfcn = 0;
    std::uint8_t servingIndex = 0;  // connected mode only
    std::uint16_t count = 0;        // cells[0 .. count-1] are filled
    std::array<LteMeasuredCell, kLteMaxMeasuredCells> cells{};
};

struct LteNeighbourMeasurement {
    bool connected = false;   // 0xB195; else 0xB192 (idle, no serving cell index)
    std::uint16_t count = 0;  // layers[0 .. count-1] are filled, in packet order
    std::array<LteNeighbourLayer, kLteMaxNeighbourLayers> layers{};
};

// Decoders of the payloads after the log header. kUnknownVersion: a version without a layout
// (0xB179), a container version other than 1, or a result subpacket of an unknown sub-version.
// kMalformed: shorter than the header, a record declared but not held, a subpacket running past
// the payload or smaller than its header, more cells or layers than a report holds.
PacketDecode DecodeLteIntraMeasurement(std::span<const std::uint8_t> payload,
                                       LteIntraMeasurement& out);
PacketDecode DecodeLteNeighbourMeasurement(std::uint16_t logCode,
                                           std::span<const std::uint8_t> payload,
                                           LteNeighbourMeasurement& out);

// Writers of whole log frames (header included); values cut to their fields' ranges. They
// return the frame's size, or 0 for a version without a layout or a frame that does not fit.
std::size_t WriteLteIntraMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                                     const LteIntraMeasurement& m);
// One container with a request subpacket (empty) and one result subpacket for `layer`.
std::size_t WriteLteNeighbourMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                                         bool connected, const LteNeighbourLayer& layer);

}  // namespace norvane
