#include "diag/wcdma_packets.h"

#include <algorithm>

#include "diag/log_packets.h"

namespace norvane {

PacketDecode DecodeWcdmaCellIdentity(std::span<const std::uint8_t> payload,
                                     WcdmaCellIdentity& out) {
    if (payload.size() < kWcdmaCellIdSize) {
        return PacketDecode::kMalformed;
    }
    out.uarfcnUl = LeU32(payload, kWcdmaCellIdUarfcnUl);
    out.uarfcnDl = LeU32(payload, kWcdmaCellIdUarfcnDl);
    out.cellId = LeU32(payload, kWcdmaCellIdCellId);
    out.psc = static_cast<std::uint16_t>(LeU16(payload, kWcdmaCellIdPsc) >> kWcdmaCellIdPscShift);
    out.lac = LeU32(payload, kWcdmaCellIdLac);
    out.rac = LeU32(payload, kWcdmaCellIdRac);
    // Digits are the modem's bytes: any that is not 0..9 (but the optional third MNC digit)
    // leaves the whole PLMN unknown.
    const auto mcc = payload.subspan(kWcdmaCellIdMcc, 3);
    const auto mnc = payload.subspan(kWcdmaCellIdMnc, 3);
    out.plmn = PlmnText{};
    if (std::any_of(mcc.begin(), mcc.end(), [](std::uint8_t d) { return d > 9; }) || mnc[0] > 9 ||
        mnc[1] > 9) {
        return PacketDecode::kOk;
    }
    out.plmn.known = true;
    for (std::size_t i = 0; i < 3; ++i) {
        out.plmn.mcc[i] = static_cast<char>('0' + mcc[i]);
    }
    const std::size_t mncDigits = mnc[2] <= 9 ? 3 : 2;
    for (std::size_t i = 0; i < mncDigits; ++i) {
        out.plmn.mnc[i] = static_cast<char>('0' + mnc[i]);
    }
    return PacketDecode::kOk;
}

std::size_t WriteWcdmaCellIdentity(std::span<std::uint8_t> out, std::int64_t stamp,
                                   const WcdmaCellIdentity& cell) {
    constexpr std::size_t size = kLogHeaderSize + kWcdmaCellIdSize;
    if (out.size() < size) {
        return 0;
    }
    PutLogHeader(out.first<kLogHeaderSize>(), size, kWcdmaCellIdLogCode, stamp);
    const auto p = out.subspan(kLogHeaderSize, kWcdmaCellIdSize);
    std::fill(p.begin(), p.end(), 0);
    PutLe(p, kWcdmaCellIdUarfcnUl, 4, cell.uarfcnUl);
    PutLe(p, kWcdmaCellIdUarfcnDl, 4, cell.uarfcnDl);
    PutLe(p, kWcdmaCellIdCellId, 4, cell.cellId);
    PutLe(p, kWcdmaCellIdPsc, 2, static_cast<std::uint32_t>(cell.psc) << kWcdmaCellIdPscShift);
    PutLe(p, kWcdmaCellIdLac, 4, cell.lac);
    PutLe(p, kWcdmaCellIdRac, 4, cell.rac);
    for (std::size_t i = 0; i < 3; ++i) {
        const char m = cell.plmn.mcc[i], n = cell.plmn.mnc[i];
        p[kWcdmaCellIdMcc + i] =
            cell.plmn.known && m != '\0' ? static_cast<std::uint8_t>(m - '0') : kWcdmaCellIdNoDigit;
        p[kWcdmaCellIdMnc + i] =
            cell.plmn.known && n != '\0' ? static_cast<std::uint8_t>(n - '0') : kWcdmaCellIdNoDigit;
    }
    return size;
}

}  // namespace norvane
