// The NR log packets (equipment 11, shared with LTE): the searcher's measurement database and the
// serving cell's identity. Their layouts per version, what is decoded from them, and writers of
// whole log frames for the simulated modem and the tests. Offsets are from the start of the
// payload (the bytes after the 16-byte log header) unless a table says otherwise; all fields are
// little-endian. Both packets begin with their version as minor u16, major u16 (2.7 is
// `07 00 02 00`), read here as one u32: major << 16 | minor.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "diag/packet_fields.h"

namespace norvane {

inline constexpr std::uint16_t kNrCellInfoLogCode = 0xB823;  // RRC serving cell info
inline constexpr std::uint16_t kNrMeasLogCode = 0xB97F;      // searcher measurement database
inline constexpr std::array<std::uint16_t, 2> kNrLogCodes = {kNrCellInfoLogCode, kNrMeasLogCode};

// The NR codes sit on equipment 11 above item 0x800. A modem whose item count for equipment 11
// is below 0x980 has none of them: ask for them only from a modem with at least this count.
inline constexpr std::uint32_t kNrItemCountMin = 0x980;
inline constexpr bool NrLogCodesExist(std::uint32_t equipment11Items) {
    return equipment11Items >= kNrItemCountMin;
}
static_assert((kNrMeasLogCode & 0xFFF) < kNrItemCountMin &&
              (kNrCellInfoLogCode & 0xFFF) < kNrItemCountMin);

inline constexpr std::size_t kNrVersionSize = 4;
constexpr std::uint32_t NrVersion(std::uint16_t major, std::uint16_t minor) {
    return static_cast<std::uint32_t>(major) << 16 | minor;
}

// A measurement in 1/128 of its unit (dBm or dB): the modem's signed 32-bit word as sent, so
// -13777 is -107.6328125 dBm. The modem sends 0 for no value.
using Q7 = std::int32_t;

// --- 0xB97F searcher measurement database: a header, then `layer count` layers in a row. A
// layer is a carrier record, its cells, each cell followed by its beams.
//   header 2.6:        version | layer count u8 @4 | SSB periodicity u8 | 2 reserved (8 bytes)
//   header 2.7:        as 2.6, then frequency offset u32, timing offset u32 (16 bytes)
//   header 2.9 - 3.0:  version | u32 | layer count u8 @8 | SSB periodicity u8 | u16 |
//                      frequency offset u32 | timing offset u32 (20 bytes)
//   carrier 2.6 - 2.10 (32 bytes): raster NR-ARFCN u32 | cell count u8 @4 | serving cell index
//                      u8 @5 | serving PCI u16 @6 | serving SSB u8 | 3 | serving RSRP RX0, RX1
//                      u32 | RX beams u16 x2 | RFIC id u16 | 2 | sub-arrays u16 x2
//   carrier 3.0 (40 bytes): raster NR-ARFCN u32 | CC id u8 | cell count u8 @5 | serving PCI u16
//                      @6 | serving cell index u8 @8 | serving SSB u8 | 2 | serving RSRP RX0-3
//                      u32 x4 | RX beams, RFIC id, 2, sub-arrays as above
//   cell (16 bytes):   PCI u16 | PBCH SFN u16 | beam count u8 @4 | 3 | RSRP s32 @8 | RSRQ s32 @12
//   beam:              SSB index u16 @0, then per-beam RX levels and filtered values not decoded
//                      (44 bytes up to 2.9, 84 from 2.10 on)
// A cell count byte of 0 or 0xFF is no count: the layer then has as many cells as its serving
// cell index byte says when that is 1 to 254, else none.
struct NrMeasLayout {
    std::uint32_t version;
    std::uint8_t layerCount;  // offset of the layer count byte
    std::uint8_t layers;      // offset of the first layer: the header's size
    std::uint8_t carrierSize;
    std::uint8_t cellCount;     // carrier offset of the cell count byte
    std::uint8_t servingIndex;  // carrier offset of the serving cell index byte
    std::uint8_t beamSize;
};
inline constexpr std::size_t kNrCarrierArfcn = 0;       // u32, every version
inline constexpr std::size_t kNrCarrierServingPci = 6;  // u16, every version
inline constexpr std::uint16_t kNrNoPci = 0xFFFF;       // no serving cell on the layer
inline constexpr std::uint8_t kNrNoCount = 0xFF;        // as is 0, in a cell count byte
inline constexpr std::size_t kNrCellPci = 0;
inline constexpr std::size_t kNrCellBeams = 4;
inline constexpr std::size_t kNrCellRsrp = 8;
inline constexpr std::size_t kNrCellRsrq = 12;
inline constexpr std::size_t kNrCellSize = 16;
inline constexpr std::size_t kNrBeamSsb = 0;  // u16
inline constexpr std::array<NrMeasLayout, 5> kNrMeasLayouts{{
    {NrVersion(2, 6), 4, 8, 32, 4, 5, 44},
    {NrVersion(2, 7), 4, 16, 32, 4, 5, 44},
    {NrVersion(2, 9), 8, 20, 32, 4, 5, 44},
    {NrVersion(2, 10), 8, 20, 32, 4, 5, 84},
    {NrVersion(3, 0), 8, 20, 40, 5, 8, 84},
}};

// A report holds at most this many cells over all its layers; a packet with more is not decoded.
inline constexpr std::size_t kNrMaxCells = 64;

struct NrMeasCell {
    std::uint32_t arfcn = 0;  // the layer's raster NR-ARFCN
    std::uint16_t pci = 0;
    bool serving = false;   // the layer's serving PCI (one is there: not 0xFFFF)
    bool hasSsb = false;    // the cell has a beam
    std::uint16_t ssb = 0;  // SSB index of its first beam, as sent
    Q7 rsrp = 0;            // dBm; 0: none
    Q7 rsrq = 0;            // dB; 0: none
};

struct NrMeasurement {
    std::uint32_t version = 0;
    std::uint16_t count = 0;  // cells[0 .. count-1] are filled, layer after layer
    std::array<NrMeasCell, kNrMaxCells> cells{};
};

// --- 0xB823 serving cell identity. 0.4: version | PCI u16 @4 | DL NR-ARFCN u32 | UL NR-ARFCN
// u32 | DL, UL bandwidth in MHz (u16 each) | cell identity u64 | MCC u16 binary | MNC digit count
// u8 | MNC u16 binary | allowed access u8 | TAC u32 | band u16. 3.0 puts an 8-byte NR-CGI after
// the PCI; 3.2 and 3.3 are 3.0 with 3 more bytes before the PCI.
struct NrCellInfoLayout {
    std::uint32_t version;
    std::uint8_t pci, arfcnDl, arfcnUl, bandwidthDl, bandwidthUl, cellId, mcc, mncDigits, mnc, tac,
        band;
    std::uint8_t size;  // the payload; shorter is malformed
};
inline constexpr std::array<NrCellInfoLayout, 4> kNrCellInfoLayouts{{
    {NrVersion(0, 4), 4, 6, 10, 14, 16, 18, 26, 28, 29, 32, 36, 38},
    {NrVersion(3, 0), 4, 14, 18, 22, 24, 26, 34, 36, 37, 40, 44, 46},
    {NrVersion(3, 2), 7, 17, 21, 25, 27, 29, 37, 39, 40, 43, 47, 49},
    {NrVersion(3, 3), 7, 17, 21, 25, 27, 29, 37, 39, 40, 43, 47, 49},
}};

struct NrCellIdentity {
    std::uint32_t version = 0;
    std::uint16_t pci = 0;
    std::uint32_t arfcnDl = 0;
    std::uint32_t arfcnUl = 0;
    std::uint16_t band = 0;
    std::uint16_t bandwidthDlMhz = 0;
    std::uint16_t bandwidthUlMhz = 0;
    std::uint64_t cellId = 0;  // 36-bit NR cell identity, as sent
    std::uint32_t tac = 0;
    PlmnText plmn;  // MCC to 3 digits, MNC to its digit count when that is 2 or 3
};

// Decoders of the payloads after the log header. kUnknownVersion: a version without a layout
// here. kMalformed: shorter than the version's header or layout, a layer, cell or beam reaching
// beyond the payload, or more cells than a report holds. Nothing outside `payload` is read.
PacketDecode DecodeNrMeasurement(std::span<const std::uint8_t> payload, NrMeasurement& out);
PacketDecode DecodeNrCellIdentity(std::span<const std::uint8_t> payload, NrCellIdentity& out);

// Writers of whole log frames (header included); each returns the frame's size, or 0 (nothing
// usable written) for a version without a layout or a frame that does not fit `out`. The
// measurement: consecutive cells of one NR-ARFCN make a layer, whose serving PCI is that of its
// first serving cell (0xFFFF without one); a cell with an SSB gets one beam, else none. An
// unknown PLMN is written as 0.
std::size_t WriteNrMeasurement(std::span<std::uint8_t> out, std::int64_t stamp,
                               const NrMeasurement& m);
std::size_t WriteNrCellIdentity(std::span<std::uint8_t> out, std::int64_t stamp,
                                const NrCellIdentity& cell);

}  // namespace norvane
