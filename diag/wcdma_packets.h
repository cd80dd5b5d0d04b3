// The WCDMA serving cell's identity, log code 0x4127 (equipment 4). The decoder, the simulated
// modem and the tests build on this layout. The payload after the 16-byte log header has no
// version byte; 32 bytes, little-endian:
//   0..3   uplink UARFCN                  4..7   downlink UARFCN
//   8..11  cell id (28-bit UTRAN cell id, kept as the 32 bits sent)
//   12..13 URA id    14 access flags    15 allowed call access
//   16..17 primary scrambling code << 4 (the code is the word's upper 12 bits)
//   18..20 MCC, one decimal digit a byte, most significant first
//   21..23 MNC likewise; a third byte of 0x0F makes it a two-digit MNC
//   24..27 LAC                            28..31 RAC
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "diag/packet_fields.h"

namespace norvane {

inline constexpr std::uint16_t kWcdmaCellIdLogCode = 0x4127;
inline constexpr std::size_t kWcdmaCellIdSize = 32;
inline constexpr std::size_t kWcdmaCellIdUarfcnUl = 0;
inline constexpr std::size_t kWcdmaCellIdUarfcnDl = 4;
inline constexpr std::size_t kWcdmaCellIdCellId = 8;
inline constexpr std::size_t kWcdmaCellIdPsc = 16;
inline constexpr unsigned kWcdmaCellIdPscShift = 4;
inline constexpr std::size_t kWcdmaCellIdMcc = 18;
inline constexpr std::size_t kWcdmaCellIdMnc = 21;
inline constexpr std::size_t kWcdmaCellIdLac = 24;
inline constexpr std::size_t kWcdmaCellIdRac = 28;
inline constexpr std::uint8_t kWcdmaCellIdNoDigit = 0x0F;  // third MNC byte of a 2-digit MNC

struct WcdmaCellIdentity {
    std::uint32_t uarfcnDl = 0;
    std::uint32_t uarfcnUl = 0;
    std::uint16_t psc = 0;  // 0..4095 as sent; a valid code is 0..511
    std::uint32_t cellId = 0;
    std::uint32_t lac = 0;
    std::uint32_t rac = 0;
    PlmnText plmn;  // not known when an MCC byte or one of the first two MNC bytes is not 0..9
};

// Decodes the payload of a 0x4127 packet (after the log header). Shorter than 32 bytes:
// kMalformed. Bytes after the 32 are not looked at.
PacketDecode DecodeWcdmaCellIdentity(std::span<const std::uint8_t> payload, WcdmaCellIdentity& out);

// Writes a whole 0x4127 log frame (header included) of `cell`; the PLMN's digits go one a byte
// (an unknown PLMN as 0x0F bytes). Returns its size, or 0 when it does not fit into `out`.
std::size_t WriteWcdmaCellIdentity(std::span<std::uint8_t> out, std::int64_t stamp,
                                   const WcdmaCellIdentity& cell);

}  // namespace norvane
