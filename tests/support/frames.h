// Test support without Qt: frames as the bytes on the wire, and log packets built from the
// layouts the decoder reads (diag/log_packets.h), for tests, benchmarks and the sample stream.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "diag/command_table.h"
#include "diag/hdlc.h"
#include "diag/log_packets.h"
#include "diag/lte_packets.h"
#include "diag/multi_sim.h"
#include "diag/signalling.h"
#include "diag/wcdma_packets.h"

namespace norvane::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes StoredBytes(std::string_view text) {
    std::array<std::uint8_t, kFrameBufferSize> buffer{};
    const std::size_t n = StoredFrameToBytes(text, buffer);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

// Bytes of a hex text (spaces between fields are passed over), padded with zeros to `size`
// (what a published dump leaves out).
inline Bytes HexBytes(std::string_view hex, std::size_t size = 0) {
    Bytes out;
    std::string pair;
    for (const char c : hex) {
        if (c != ' ' && (pair += c).size() == 2) {
            out.push_back(static_cast<std::uint8_t>(std::stoi(pair, nullptr, 16)));
            pair.clear();
        }
    }
    out.resize(std::max(size, out.size()));
    return out;
}

// A log frame of `code` (stamp 0) around `payload`.
inline Bytes LogFrame(std::uint16_t code, std::span<const std::uint8_t> payload) {
    Bytes f(kLogHeaderSize);
    PutLogHeader(std::span(f).first<kLogHeaderSize>(), f.size() + payload.size(), code, 0);
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

inline Bytes RowBytes(std::string_view name) {
    const DiagCommandRow* row = FindCommandRow(name);
    if (row == nullptr) {
        throw std::invalid_argument("no command row " + std::string(name));
    }
    return StoredBytes(row->strFrame);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// A payload framed as the modem sends it: CRC, escapes, closing flag.
inline Bytes EncodeFrame(std::span<const std::uint8_t> payload) {
    Bytes out(2 * payload.size() + 8);
    out.resize(HdlcEncode(payload, out));
    return out;
}
inline Bytes EncodeFrame(std::initializer_list<std::uint8_t> payload) {
    return EncodeFrame(std::span(payload.begin(), payload.size()));
}
// The set-mask frame of `equipment` with `items` bits selecting `codes`, on the wire.
inline Bytes MaskFrame(std::uint32_t equipment, std::uint32_t items,
                       std::initializer_list<std::uint16_t> codes) {
    Bytes request(kLogConfigMaskOffset + (items + 7) / 8);
    BuildLogMaskSet(equipment, items, std::span(codes.begin(), codes.size()), request);
    return EncodeFrame(request);
}
inline void AppendFrame(Bytes& stream, std::span<const std::uint8_t> payload) {
    const Bytes wire = EncodeFrame(payload);
    stream.insert(stream.end(), wire.begin(), wire.end());
}

// A WCDMA record with these bytes (rscp: dBm + 276, ecIo: half dB + 256) and ranks.
inline WcdmaCellRecord Cell(std::uint16_t uarfcn = 10737, std::uint16_t psc = 50,
                            std::uint8_t rscp = 0xB4, std::int16_t rscpRank = 0xFF,
                            std::uint8_t ecIo = 0xF6, std::int16_t ecIoRank = 0) {
    WcdmaCellRecord c;
    c.uarfcn = uarfcn;
    c.psc = psc;
    c.rscp = rscp;
    c.rscpRank = rscpRank;
    c.ecIo = ecIo;
    c.ecIoRank = ecIoRank;
    return c;
}
// Ranked as real modems rank a neighbour: RSCP in dBm less one, Ec/Io in half dB.
inline WcdmaCellRecord RankedCell(std::uint16_t uarfcn, std::uint16_t psc, std::uint8_t rscp,
                                  std::uint8_t ecIo) {
    return Cell(uarfcn, psc, rscp, static_cast<std::int16_t>(rscp - kRscpBias - 1), ecIo,
                static_cast<std::int16_t>(ecIo - kEcIoBias));
}
// `packet` in a dual-SIM modem's wrapper for radio `radio`.
inline Bytes Wrapped(std::uint32_t radio, std::span<const std::uint8_t> packet) {
    Bytes w(kMultiSimHeaderSize);
    PutMultiSimHeader(std::span(w).first<kMultiSimHeaderSize>(), radio);
    w.insert(w.end(), packet.begin(), packet.end());
    return w;
}

// A cell list log frame of this version with these records.
inline Bytes CellList(unsigned version, std::int64_t stamp, std::span<const WcdmaCellRecord> cells,
                      std::span<const GsmCellRecord> gsm = {}) {
    Bytes p(kFrameBufferSize);
    p.resize(WriteCellList(p, version, stamp, cells, gsm));
    return p;
}
inline Bytes CellList(unsigned version, std::int64_t stamp,
                      std::initializer_list<WcdmaCellRecord> cells,
                      std::initializer_list<GsmCellRecord> gsm = {}) {
    return CellList(version, stamp, std::span(cells.begin(), cells.size()),
                    std::span(gsm.begin(), gsm.size()));
}
// A version 0 list whose GSM count byte says `gsmCount` but that holds no GSM record.
inline Bytes CellListV0(std::int64_t stamp, std::span<const WcdmaCellRecord> cells,
                        std::uint8_t gsmCount) {
    Bytes p = CellList(0, stamp, cells);
    p[kCellListGsmCountOffset] = gsmCount;
    return p;
}

// A SAR/PA report with the given level and PA bytes.
inline Bytes SarPaPayload(std::uint8_t level, std::uint8_t pa) {
    Bytes p(kSarPaFrameSize - 2);  // the decoder reads up to the PA byte
    PutLogHeader(std::span(p).first<kLogHeaderSize>(), kSarPaFrameSize, kSarPaLogCode,
                 0x0123456789LL);
    p[kSarLevelOffset] = level;
    p[kPaValueOffset] = pa;
    return p;
}

// Some other log packet (log code 0x4179) with `size` bytes of varied content in all.
inline Bytes OtherLogPayload(std::size_t size, std::uint32_t seed) {
    Bytes p{0x10, 0x00, 0x20, 0x00, 0x20, 0x00, 0x79, 0x41};
    std::uint32_t x = seed * 2654435761U + 1;
    while (p.size() < size) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        p.push_back(static_cast<std::uint8_t>(x >> 7));
    }
    p.resize(size);
    return p;
}

// A serving-cell packet picked by `x`: connected-mode measurements of 1 to 4 cells (sub-versions
// 36 and 19) half the time, else idle measurements, idle neighbours or a cell identity.
inline Bytes ServingCellPacket(std::uint32_t x, std::int64_t stamp) {
    Bytes p(1024);
    std::vector<LteServingCell> cells(1 + x % 4, {36, 1825, 73, 0, true, true, -1577, -157, -1118});
    LteIdleNeighbours n{5, 3350, static_cast<std::uint16_t>(x % 5), {}};
    for (std::size_t k = 0; k < cells.size(); ++k) {
        cells[k].servingIndex = static_cast<std::uint8_t>(k);
        n.cells[k] = {static_cast<std::uint16_t>(100 + k), -1900, -270, -1500};
    }
    const std::uint32_t pick = (x >> 4) % 6;
    p.resize(pick < 2    ? WriteLteServingMeasurement(p, stamp, 36 - 17 * pick, cells)
             : pick == 2 ? WriteLteIdleMeasurement(p, stamp, {5, 5780, 405, -1545, -185, -1088})
             : pick == 3 ? WriteLteIdleNeighbours(p, stamp, n)
             : pick == 4
                 ? WriteLteCellIdentity(p, stamp, {3, 405, 5780, 23780, 17, 50, 50, 1, 2, {}})
                 : WriteWcdmaCellIdentity(p, stamp, {10663, 9713, 397, 1, 2, 3, {}}));
    return p;
}

// A signalling packet picked by `x`: LTE RRC of versions 7 and 26 on each channel, a plain NAS
// message of either direction, WCDMA RRC with the cell.
inline Bytes SignallingPacket(std::uint32_t x, std::int64_t stamp) {
    static constexpr std::uint8_t kReconfiguration[] = {0x22, 0x02, 0x01, 0x00,
                                                        0x9c, 0x04, 0x07, 0x90};
    static constexpr std::uint8_t kServiceRequest[] = {0xc7, 0x00, 0x0b, 0x00};
    SignallingMessage m;
    m.channel = kLteRrcChannels[x % kLteRrcChannels.size()];
    m.direction = x % 2 == 0 ? SignallingDirection::kUplink : SignallingDirection::kDownlink;
    m.earfcn = m.uarfcn = 1300 + x % 64;
    m.pci = m.psc = 0x7E;
    m.hasUarfcn = true;
    m.pdu = kReconfiguration;
    Bytes p(256);
    const std::uint32_t pick = (x >> 4) % 4;
    if (pick == 2) {
        m.pdu = kServiceRequest;
        p.resize(WriteLteNas(p, stamp, m));
    } else if (pick == 3) {
        m.channel = SignallingChannel::kDlDcch;
        p.resize(WriteWcdmaRrc(p, stamp, m));
    } else {
        p.resize(WriteLteRrc(p, stamp, pick == 0 ? 26 : 7, m));
    }
    return p;
}

// A realistic stream of `frames` frames: cell lists of versions 0, 1 and 2 (1 to 20 cells, up to
// 6 GSM neighbours after version 0; PSC, RSCP and Ec/Io bytes that need escaping; one in two in
// a dual-SIM wrapper), SAR/PA reports, serving-cell and signalling packets and other log packets
// of 40 to 300 bytes.
inline Bytes RealisticStream(std::size_t frames) {
    Bytes stream;
    std::uint32_t x = 12345;
    for (std::size_t f = 0; f < frames; ++f) {
        x = x * 1103515245U + 12345U;
        const unsigned pick = (x >> 16) % 10;
        if (pick < 4) {
            const unsigned version = pick % 3;
            std::vector<WcdmaCellRecord> cells(1 + (x >> 8) % 20);
            for (std::size_t k = 0; k < cells.size(); ++k) {
                cells[k] = RankedCell(static_cast<std::uint16_t>(10562 + 25 * k),
                                      static_cast<std::uint16_t>(k == 1 ? 0x7E : 100 + 37 * k),
                                      static_cast<std::uint8_t>(k == 2 ? 0x7D : 0xA0 + k),
                                      static_cast<std::uint8_t>(0xD0 + k));
            }
            std::vector<GsmCellRecord> gsm(version == 0 ? 0 : (x >> 4) % 7);
            for (std::size_t k = 0; k < gsm.size(); ++k) {
                gsm[k].arfcn = static_cast<std::uint16_t>(60 + k);
                gsm[k].rssi = static_cast<std::int8_t>(-70 - 5 * static_cast<int>(k));
            }
            const Bytes list =
                CellList(version, static_cast<std::int64_t>(f) * 52400 * 250, cells, gsm);
            AppendFrame(stream, pick % 2 == 0 ? list : Wrapped(1 + (x >> 3) % 2, list));
        } else if (pick == 4) {
            AppendFrame(stream, SarPaPayload(static_cast<std::uint8_t>(f % 5),
                                             static_cast<std::uint8_t>(60 + f % 40)));
        } else if (pick >= 8) {
            AppendFrame(stream, ServingCellPacket(x >> 3, static_cast<std::int64_t>(f) * 52400));
        } else if (pick == 7) {
            AppendFrame(stream, SignallingPacket(x >> 3, static_cast<std::int64_t>(f) * 52400));
        } else {
            AppendFrame(stream, OtherLogPayload(40 + (x >> 4) % 261, x));
        }
    }
    return stream;
}

// The sample stream in tests/data/sample-stream.bin: what a modem's diagnostic port delivers
// while cell and SAR/PA logging run. make-sample-stream writes it; a test checks that the
// committed file is still what this builds.
inline Bytes SampleStream() {
    constexpr std::int64_t kMs = kTimeStampPerMillisecond;
    Bytes s{0x7E};  // this modem opens with a flag

    // Cell list, two cells on band I; PSC 382 (0x017E) and PSC 125 (0x7D) are escaped on the wire.
    AppendFrame(s,
                CellList(0, kMs * (3600000 + 2 * 60000 + 3004),
                         {Cell(10737, 382, 0xB4, 0xFF, 0xF6), Cell(10712, 125, 0xA8, 0xFF, 0xF0)}));
    AppendFrame(s, SarPaPayload(3, 90));                  // High, PA 90
    AppendFrame(s, Bytes{0x00, 0x31, 0x32, 0x7E, 0x33});  // version reply: other
    AppendFrame(s, OtherLogPayload(120, 42));             // another log packet: other

    // Eight cells spread over bands I, VIII, V (additional channel) and a channel in no band,
    // 3 GSM neighbours declared without records; RSCP 0x10 0x00 gives -260 dBm and bar -4.
    const WcdmaCellRecord eight[] = {
        Cell(10562, 0, 0xC8, 0xFF, 0xFA), Cell(10838, 511, 0xB0, 0xFF, 0xF2),
        Cell(2937, 7, 0x9C, 0xFF, 0xEC),  Cell(3000, 300, 0x10, 0x00, 0x05),
        Cell(3088, 12, 0xA0, 0xFF, 0xEE), Cell(1007, 64, 0xAA, 0xFF, 0xF1),
        Cell(4400, 99, 0xBE, 0xFF, 0xF8), Cell(1000, 1, 0x80, 0xFF, 0xE0),
    };
    AppendFrame(s, CellListV0(kMs * 25 * 3600000, eight, 3));

    // The same report with one bit flipped on the way: dropped for its check sequence.
    const WcdmaCellRecord one[] = {Cell()};
    Bytes bad = EncodeFrame(CellListV0(0, one, 1));
    bad[20] ^= 0x04;  // PSC 50 becomes 54
    s.insert(s.end(), bad.begin(), bad.end());

    AppendFrame(s, SarPaPayload(4, 75));   // no level, PA 75: overheated
    AppendFrame(s, CellListV0(0, {}, 2));  // no WCDMA cell: other
    AppendFrame(s, CellList(0, kMs * 59999, {Cell()}));
    AppendFrame(s, SarPaPayload(0, 81));  // Low, PA 81

    // A dual-SIM phone: ten ranked cells of its second radio, stamped with the time of day
    // (2015-08-18T21:27:06.542Z); SAR/PA reports of radio ids 0, 1 and 0xFFFFFFFF (the first
    // radio each); then others: a wrapped list cut short, a wrapper cut short, one wrapped twice.
    std::vector<WcdmaCellRecord> ten;
    for (std::uint8_t k = 0; k < 10; ++k) {
        ten.push_back(RankedCell(10562 + 25 * k, 20 * k + 3, 0xB4 - 3 * k, 0xF1 - 3 * k));
    }
    ten[0].rscpRank = ten[0].ecIoRank = INT16_MIN;  // the serving cell, unranked
    AppendFrame(s, Wrapped(2, CellList(0, 0xD15AFDB4F20000, ten)));
    for (const std::uint32_t radio : {0u, 1u, 0xFFFFFFFFu}) {
        AppendFrame(s, Wrapped(radio, SarPaPayload(2, 95)));
    }
    const Bytes wrapped = Wrapped(1, CellList(1, 0, one));
    AppendFrame(s, std::span(wrapped).first(wrapped.size() - 1));
    AppendFrame(s, std::span(wrapped).first(kMultiSimHeaderSize - 1));
    AppendFrame(s, Wrapped(1, wrapped));
    return s;
}

}  // namespace norvane::test
