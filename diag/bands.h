// UTRA FDD downlink channel numbering (3GPP TS 25.101): channel number to carrier frequency.
#pragma once

#include <cstdint>

namespace norvane {

// Downlink carrier frequency in whole MHz for a UARFCN, F = offset + 0.2 x UARFCN truncated
// toward zero. A channel in no band gives UARFCN / 5 truncated toward zero.
std::int32_t DownlinkFrequencyMhz(std::int32_t uarfcn);

// The band of a downlink UARFCN in Roman numerals ("I", "VIII"), or nullptr for a channel in no
// band. Bands V and VI share channels: such a channel is named V.
const char* DownlinkBand(std::int32_t uarfcn);

// E-UTRA operating band of a downlink EARFCN (3GPP TS 36.101 table 5.7.3-1), or 0 for a channel
// in no band.
std::uint32_t LteBandOfEarfcn(std::uint32_t earfcnDl);

}  // namespace norvane
