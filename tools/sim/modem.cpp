#include "tools/sim/modem.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "diag/frame_pump.h"
#include "diag/wcdma_packets.h"

namespace norvane::sim {
namespace {

// DIAG command codes the monitor sends.
constexpr std::uint8_t kCmdBadCommand = 0x13;  // reply to a command the modem does not know
constexpr std::uint8_t kCmdSubsystem = 0x4B;   // subsystem dispatch
constexpr std::uint8_t kCmdLoopback = 0x7B;    // loopback: the reply echoes the request

// The SAR/PA report is switched off by subsystem 0x0B, command 0x0009 with byte 4 = 1 (the
// monitor's OFF_AGC row); the same command with byte 4 = 0 is part of switching it on.
constexpr std::uint8_t kAgcSubsystem = 0x0B;
constexpr std::uint8_t kAgcCommand = 0x09;

constexpr std::string_view kModeSwitch = "AT$QCDMG\r\n";
constexpr std::string_view kModeSwitchReply = "OK\r\n";

// Cells in the radio scene: lists sometimes longer than the window's eight rows. The oldest
// firmware's scene starts small, the newer ones' with ten.
constexpr std::size_t kSimMaxCells = 14;

}  // namespace

LogItemCounts SimItemCounts(Rat rat) {
    LogItemCounts counts = kSimItemCounts;
    if (rat == Rat::kNr || rat == Rat::kLteNr) {
        counts[11] = kSimNrItemCount;
    }
    return counts;
}

SimModem::SimModem(const ModemOptions& options)
    : options_(options),
      radio_(options.seed, kSimMaxCells, options.packetVersion == 0 ? 4 : 10),
      lte_(options.seed),
      nr_(options.seed),
      itemCounts_(SimItemCounts(options.rat)),
      signalling_(
          [this](std::uint16_t code) { return LogOn(code); },
          [this](std::span<const std::uint8_t> frame) { AppendFrame(frame, *signallingOut_); }),
      rng_(options.seed ^ 0x9E3779B9u),
      diagMode_(!options.atMode),
      lastStamp_(static_cast<std::int64_t>(options.startUptimeMs) * kTimeStampPerMillisecond) {}

void SimModem::Log(std::string_view text) const {
    if (log_) {
        log_(text);
    }
}

void SimModem::FromHost(std::span<const std::uint8_t> in, Bytes& out) {
    while (!in.empty()) {
        if (!diagMode_) {
            ScanForModeSwitch(in.front(), out);
            in = in.subspan(1);
            continue;
        }
        // In DIAG mode for good: the rest of the bytes are frames.
        FrameCounters counters;
        PumpFrames(deframer_, in, counters,
                   [&](HdlcDeframer::Status status, std::span<const std::uint8_t> payload) {
                       if (status == HdlcDeframer::Status::kFrame) {
                           OnFrame(payload, out);
                       } else if (status == HdlcDeframer::Status::kBadFcs) {
                           Log("host: frame with a bad check sequence, ignored");
                       }
                   });
        return;
    }
}

void SimModem::ScanForModeSwitch(std::uint8_t byte, Bytes& out) {
    if (byte == static_cast<std::uint8_t>(kModeSwitch[modeSwitchMatched_])) {
        ++modeSwitchMatched_;
    } else {
        modeSwitchMatched_ = byte == static_cast<std::uint8_t>(kModeSwitch[0]) ? 1 : 0;
    }
    if (modeSwitchMatched_ == kModeSwitch.size()) {
        out.insert(out.end(), kModeSwitchReply.begin(), kModeSwitchReply.end());
        diagMode_ = true;
        deframer_.Reset();
        Log("host: AT$QCDMG, now in DIAG mode");
    }
}

void SimModem::OnFrame(std::span<const std::uint8_t> payload, Bytes& out) {
    if (payload.empty()) {
        return;
    }
    switch (payload[0]) {
        case kCmdLoopback:
            Log("host: loopback probe");
            AppendFrame(payload, out);
            return;
        case kLogConfigCommand:
            OnLogConfig(payload, out);
            return;
        case kCmdSubsystem:
            if (payload.size() >= 5 && payload[1] == kAgcSubsystem && payload[2] == kAgcCommand &&
                payload[3] == 0x00 && payload[4] == 0x01) {
                SetLogCode(kSarPaLogCode, false);
            }
            AppendFrame(payload, out);  // subsystem replies echo the request header
            return;
        default: {
            Log("host: unknown command " + std::to_string(payload[0]));
            Bytes reply = {kCmdBadCommand};
            const std::size_t echoed = std::min<std::size_t>(payload.size(), 16);
            reply.insert(reply.end(), payload.begin(), payload.begin() + echoed);
            AppendFrame(reply, out);
        }
    }
}

void SimModem::OnLogConfig(std::span<const std::uint8_t> payload, Bytes& out) {
    const std::optional<std::uint32_t> op = LogConfigOperation(payload);
    if (!op) {
        AppendFrame(std::array<std::uint8_t, 1>{kCmdBadCommand}, out);
        return;
    }
    // Reply: command, operation, then a 32-bit status of 0 (success).
    Bytes reply(payload.begin(), payload.begin() + kLogConfigOperationOffset + 4);
    reply.resize(reply.size() + 4, 0);
    const auto put32 = [&reply](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            reply.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    if (*op == kLogConfigOpDisable) {
        on_.fill(false);
        Log("every log off");
    } else if (*op == kLogConfigOpItemCounts) {
        for (const std::uint32_t n : itemCounts_) {
            put32(n);
        }
    } else if (*op == kLogConfigOpSetMask) {
        const std::optional<LogMask> mask = ParseLogMaskSet(payload);
        if (!mask) {
            AppendFrame(std::array<std::uint8_t, 1>{kCmdBadCommand}, out);
            return;
        }
        const std::uint32_t items =
            mask->equipment < itemCounts_.size() ? itemCounts_[mask->equipment] : 0;
        if (items == 0) {
            reply[kLogConfigStatusOffset] = 1;  // invalid equipment id
            AppendFrame(reply, out);
            return;
        }
        // The mask now in force: the modem's own count at most, the rest of the request unread.
        const std::uint32_t bits = std::min(mask->bits, items);
        for (const std::uint16_t code : kSimLogCodes) {
            if (mask->equipment == static_cast<std::uint32_t>(code >> 12)) {
                SetLogCode(code, (code & 0xFFFu) < bits && mask->Selects(code));
            }
        }
        put32(mask->equipment);
        put32(bits);
        const auto kept = mask->mask.first((bits + 7) / 8);
        reply.insert(reply.end(), kept.begin(), kept.end());
        if (bits % 8 != 0) {
            reply.back() &= static_cast<std::uint8_t>((1u << (bits % 8)) - 1);
        }
    }
    AppendFrame(reply, out);
}

bool SimModem::LogOn(std::uint16_t code) const {
    const auto* at = std::find(kSimLogCodes.begin(), kSimLogCodes.end(), code);
    return at != kSimLogCodes.end() && on_[static_cast<std::size_t>(at - kSimLogCodes.begin())];
}

bool SimModem::AnyLogOn() const {
    return std::find(on_.begin(), on_.end(), true) != on_.end();
}

void SimModem::SetLogCode(std::uint16_t code, bool on) {
    const auto* at = std::find(kSimLogCodes.begin(), kSimLogCodes.end(), code);
    if (at == kSimLogCodes.end()) {
        return;
    }
    bool& flag = on_[static_cast<std::size_t>(at - kSimLogCodes.begin())];
    if (flag != on) {
        char text[32];
        std::snprintf(text, sizeof text, "log 0x%04X %s", code, on ? "on" : "off");
        Log(text);
    }
    flag = on;
}

void SimModem::AppendFrame(std::span<const std::uint8_t> payload, Bytes& out) const {
    std::array<std::uint8_t, kFrameBufferSize> frame{};
    const std::size_t n = HdlcEncode(payload, frame);
    out.insert(out.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
}

std::int64_t SimModem::NextTimeStamp(std::uint64_t uptimeMs) {
    // Strictly increasing, also within a burst.
    lastStamp_ =
        std::max(static_cast<std::int64_t>(uptimeMs) * kTimeStampPerMillisecond, lastStamp_ + 1);
    return lastStamp_;
}

void SimModem::AppendCellList(std::int64_t stamp, Bytes& out) {
    const auto& cells = radio_.Cells();
    const unsigned version = options_.packetVersion;
    const std::size_t count = std::min(cells.size(), kCellListMaxCells);
    std::array<WcdmaCellRecord, kCellListMaxCells> wcdma{};
    for (std::size_t i = 0; i < count; ++i) {
        const auto rscp = static_cast<std::int32_t>(std::lround(cells[i].rscp));
        const auto ecIoHalves = static_cast<std::int32_t>(std::lround(2 * cells[i].ecIo));
        WcdmaCellRecord& r = wcdma[i];
        r.uarfcn = static_cast<std::uint16_t>(cells[i].uarfcn);
        r.psc = static_cast<std::uint16_t>(cells[i].psc);
        r.rscp = static_cast<std::uint8_t>(rscp + kRscpBias);
        r.ecIo = static_cast<std::uint8_t>(ecIoHalves + kEcIoBias);
        // As real modems rank them: the serving cell unranked (0x8000), the neighbours by RSCP
        // (a dB below the RSCP byte's reading) and Ec/Io (in half dB).
        r.rscpRank = i == 0 ? INT16_MIN : static_cast<std::int16_t>(rscp - 1);
        r.ecIoRank = i == 0 ? INT16_MIN : static_cast<std::int16_t>(ecIoHalves);
        r.reselect = i == 0 ? 0 : 4;
    }
    // The GSM neighbours; with --numbered the GSM count numbers the lists instead: the whole
    // byte without records in version 0, six bits with as many records in versions 1 and 2.
    const std::vector<SimGsmCell> neighbours = radio_.GsmCells();
    std::size_t gsmCount = neighbours.size();
    if (options_.numbered) {
        gsmCount = version == 0 ? 0 : static_cast<std::size_t>(cellListsSent_ & kCellListCountMask);
    }
    std::array<GsmCellRecord, kCellListMaxCells> gsm{};
    for (std::size_t i = 0; i < gsmCount && !neighbours.empty(); ++i) {
        const SimGsmCell& n = neighbours[i % neighbours.size()];
        gsm[i].arfcn = n.arfcn;
        gsm[i].bsic = n.bsic;
        gsm[i].rssi = n.rssi;
        gsm[i].rank = n.rssi;
    }
    if (neighbours.empty()) {
        gsmCount = 0;
    }
    std::array<std::uint8_t, kFrameBufferSize> p{};
    const std::size_t length = WriteCellList(p, version, stamp, std::span(wcdma.data(), count),
                                             std::span(gsm.data(), gsmCount));
    if (options_.numbered && version == 0) {
        p[kCellListGsmCountOffset] = static_cast<std::uint8_t>(cellListsSent_ & 0xFF);
    }
    AppendFrame(std::span(p.data(), length), out);
    ++cellListsSent_;
}

void SimModem::AppendSarPa(std::int64_t stamp, Bytes& out) {
    std::array<std::uint8_t, kSarPaFrameSize> p{};
    PutLogHeader(std::span(p).first<kLogHeaderSize>(), p.size(), kSarPaLogCode, stamp);
    p[kSarLevelOffset] = radio_.SarLevel();
    p[kPaValueOffset] = radio_.PaValue();
    AppendFrame(p, out);
    ++sarPaSent_;
}

void SimModem::AppendNoise(Bytes& out) {
    std::uniform_int_distribution<int> byte(0, 255);
    if (std::bernoulli_distribution(0.5)(rng_)) {
        // Line garbage, ended by a flag so that it spoils no real frame.
        const int n = std::uniform_int_distribution<int>(1, 24)(rng_);
        for (int i = 0; i < n; ++i) {
            const auto b = static_cast<std::uint8_t>(byte(rng_));
            out.push_back(b == kHdlcFlag ? 0x00 : b);
        }
        out.push_back(kHdlcFlag);
    } else {
        // A cell list that would be valid but for its check sequence: one bit of the last CRC
        // byte flipped (kept clear of the flag and escape values).
        Bytes frame;
        const std::uint64_t sent = cellListsSent_;
        cellListsSent_ += 128;  // a number no real report carries now
        AppendCellList(lastStamp_, frame);
        cellListsSent_ = sent;
        std::uint8_t& last = frame[frame.size() - 2];
        const std::uint8_t flipped = last ^ 0x01;
        last = (flipped == kHdlcFlag || flipped == kHdlcEscape) ? last ^ 0x02 : flipped;
        out.insert(out.end(), frame.begin(), frame.end());
    }
}

void SimModem::AppendServingCell(std::int64_t stamp, std::uint64_t uptimeMs, Bytes& out) {
    const bool identityDue = uptimeMs >= identityDueMs_;
    if (identityDue) {
        identityDueMs_ = uptimeMs + 1000;
    }
    if (options_.rat == Rat::kWcdma) {
        if (LogOn(kWcdmaCellIdLogCode) && identityDue && !radio_.Cells().empty()) {
            std::array<std::uint8_t, kFrameBufferSize> p{};
            const SimCell& serving = radio_.Cells()[0];
            WcdmaCellIdentity id;
            id.uarfcnDl = static_cast<std::uint32_t>(serving.uarfcn);
            // Band I: uplink 950 below; band VIII: 225 below.
            id.uarfcnUl = id.uarfcnDl - (id.uarfcnDl > 10000 ? 950 : 225);
            id.psc = static_cast<std::uint16_t>(serving.psc);
            id.cellId = 0x0A1B2C3;
            id.lac = 0x1F40;
            id.rac = 3;
            id.plmn.known = true;
            id.plmn.mcc = {'2', '6', '2'};
            id.plmn.mnc = {'0', '2'};
            AppendFrame(std::span(p.data(), WriteWcdmaCellIdentity(p, stamp, id)), out);
        }
        return;
    }
    if (options_.rat != Rat::kNr) {
        AppendLte(stamp, identityDue, out);
    }
    if (NrCellThere()) {
        AppendNr(stamp, identityDue, out);
    }
}

void SimModem::AppendLte(std::int64_t stamp, bool identityDue, Bytes& out) {
    std::array<std::uint8_t, kFrameBufferSize> p{};
    const auto append = [&](std::size_t length) { AppendFrame(std::span(p.data(), length), out); };
    if (LogOn(0xB0C2) && identityDue) {
        append(WriteLteCellIdentity(p, stamp, lte_.Identity()));
    }
    if (lte_.Connected()) {
        if (LogOn(0xB193)) {
            // One packet per component carrier, as modems with carrier aggregation send them.
            for (std::size_t k = 0; k < lte_.Carriers().size(); ++k) {
                const LteServingCell cell = lte_.ServingCell(k);
                append(WriteLteServingMeasurement(p, stamp, cell.subVersion, {&cell, 1}));
            }
        }
        if (LogOn(kLteIntraMeasLogCode)) {
            append(WriteLteIntraMeasurement(p, stamp, lte_.IntraMeasurement()));
        }
        if (LogOn(kLteConnNeighbourMeasLogCode)) {
            append(WriteLteNeighbourMeasurement(p, stamp, true, lte_.ConnectedNeighbours()));
        }
        return;
    }
    if (LogOn(0xB17F)) {
        append(WriteLteIdleMeasurement(p, stamp, lte_.IdleMeasurement()));
    }
    if (LogOn(0xB180)) {
        append(WriteLteIdleNeighbours(p, stamp, lte_.IdleNeighbours()));
    }
}

bool SimModem::NrCellThere() const {
    // Non-standalone: the NR cell is added with each connection and released with it.
    return options_.rat == Rat::kNr || (options_.rat == Rat::kLteNr && lte_.Connected());
}

void SimModem::AppendNr(std::int64_t stamp, bool identityDue, Bytes& out) {
    std::array<std::uint8_t, kFrameBufferSize> p{};
    const auto append = [&](std::size_t length) { AppendFrame(std::span(p.data(), length), out); };
    if (LogOn(kNrCellInfoLogCode) && identityDue) {
        append(WriteNrCellIdentity(p, stamp, nr_.Identity()));
    }
    if (LogOn(kNrMeasLogCode)) {
        // A standalone modem of today's firmware, a non-standalone one of an older one.
        const std::uint32_t version = options_.rat == Rat::kNr ? NrVersion(3, 0) : NrVersion(2, 7);
        append(WriteNrMeasurement(p, stamp, nr_.Measurement(version)));
    }
}

void SimModem::Tick(std::uint64_t uptimeMs, double seconds, Bytes& out) {
    radio_.Advance(seconds);
    lte_.Advance(seconds);
    nr_.Advance(seconds);
    if (!diagMode_ || !AnyLogOn()) {
        return;
    }
    const bool cellList = CellListOn() && options_.rat == Rat::kWcdma;
    for (int i = 0; i < options_.burst; ++i) {
        const std::int64_t stamp = NextTimeStamp(uptimeMs);
        if (cellList) {
            if (options_.noise) {
                AppendNoise(out);
            }
            AppendCellList(stamp, out);
        }
        if (SarPaOn()) {
            if (options_.noise) {
                AppendNoise(out);
            }
            AppendSarPa(stamp, out);
        }
        AppendServingCell(stamp, uptimeMs, out);
    }
    // Signalling goes at its own pace, whatever the burst.
    signallingOut_ = &out;
    if (options_.rat == Rat::kLte) {
        signalling_.Lte(lte_, uptimeMs, NextTimeStamp(uptimeMs));
    } else if (!radio_.Cells().empty()) {
        signalling_.Wcdma(radio_.Cells()[0], uptimeMs, NextTimeStamp(uptimeMs));
    }
}

}  // namespace norvane::sim
