#include "tools/sim/modem.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "diag/frame_pump.h"

namespace norvane::sim {
namespace {

// DIAG command codes the monitor sends.
constexpr std::uint8_t kCmdLog = 0x10;         // log packet (modem to host)
constexpr std::uint8_t kCmdBadCommand = 0x13;  // reply to a command the modem does not know
constexpr std::uint8_t kCmdSubsystem = 0x4B;   // subsystem dispatch
constexpr std::uint8_t kCmdLogConfig = 0x73;   // log mask configuration
constexpr std::uint8_t kCmdLoopback = 0x7B;    // loopback: the reply echoes the request

// Log configuration (0x73): bytes 4..7 operation; operation 3 sets a mask: bytes 8..11
// equipment, 12..15 number of mask bits N, then ceil(N/8) mask bytes, bit k = code
// equipment x 0x1000 + k.
constexpr std::uint32_t kLogOpDisable = 0;
constexpr std::uint32_t kLogOpSetMask = 3;
constexpr std::size_t kLogConfigHeader = 16;

// The SAR/PA report is switched off by subsystem 0x0B, command 0x0009 with byte 4 = 1 (the
// monitor's OFF_AGC row); the same command with byte 4 = 0 is part of switching it on.
constexpr std::uint8_t kAgcSubsystem = 0x0B;
constexpr std::uint8_t kAgcCommand = 0x09;

constexpr std::string_view kModeSwitch = "AT$QCDMG\r\n";
constexpr std::string_view kModeSwitchReply = "OK\r\n";

// Log header: 10 00 len 00 len 00 code_lo code_hi, 8-byte time stamp. The time stamp counts
// 1.25 ms ticks in its upper 48 bits.
constexpr std::size_t kLogHeader = 16;
constexpr std::size_t kCellRecord = 10;
constexpr std::size_t kSarPaFrame = 32;  // log record length 0x1C

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void Put16(std::uint8_t* p, std::int32_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void PutLogHeader(std::uint8_t* p, std::size_t frameLength, std::uint16_t code,
                  std::uint64_t ticks) {
    const auto recordLength = static_cast<std::uint8_t>(frameLength - 4);
    const std::uint8_t head[8] = {kCmdLog,
                                  0x00,
                                  recordLength,
                                  0x00,
                                  recordLength,
                                  0x00,
                                  static_cast<std::uint8_t>(code & 0xFF),
                                  static_cast<std::uint8_t>(code >> 8)};
    std::copy(std::begin(head), std::end(head), p);
    const std::uint64_t stamp = ticks << 16;
    for (int i = 0; i < 8; ++i) {
        p[8 + i] = static_cast<std::uint8_t>(stamp >> (8 * i));
    }
}

}  // namespace

SimModem::SimModem(const ModemOptions& options)
    : options_(options),
      radio_(options.seed),
      rng_(options.seed ^ 0x9E3779B9u),
      diagMode_(!options.atMode),
      lastTicks_(options.startUptimeMs * 4 / 5) {}

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
        case kCmdLogConfig:
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
    if (payload.size() < 8) {
        AppendFrame(std::array<std::uint8_t, 1>{kCmdBadCommand}, out);
        return;
    }
    const std::uint32_t op = U32(payload, 4);
    // Reply: command, operation, then a 32-bit status of 0 (success).
    Bytes reply(payload.begin(), payload.begin() + 8);
    reply.resize(12, 0);
    if (op == kLogOpDisable) {
        SetLogCode(kCellListLogCode, false);
        SetLogCode(kSarPaLogCode, false);
    } else if (op == kLogOpSetMask) {
        if (payload.size() < kLogConfigHeader) {
            AppendFrame(std::array<std::uint8_t, 1>{kCmdBadCommand}, out);
            return;
        }
        const std::uint32_t equipment = U32(payload, 8);
        const std::uint32_t bits = U32(payload, 12);
        // The host's bit count decides the mask length: it must fit in what was sent.
        const std::uint64_t maskBytes = (static_cast<std::uint64_t>(bits) + 7) / 8;
        if (maskBytes > payload.size() - kLogConfigHeader) {
            AppendFrame(std::array<std::uint8_t, 1>{kCmdBadCommand}, out);
            return;
        }
        const auto mask = payload.subspan(kLogConfigHeader, static_cast<std::size_t>(maskBytes));
        for (const std::uint16_t code : {kCellListLogCode, kSarPaLogCode}) {
            if (equipment != static_cast<std::uint32_t>(code >> 12)) {
                continue;
            }
            const std::uint32_t k = code & 0x0FFFu;
            SetLogCode(code, k < bits && (mask[k / 8] >> (k % 8)) & 1);
        }
        reply.insert(reply.end(), payload.begin() + 8,
                     payload.begin() + static_cast<std::ptrdiff_t>(kLogConfigHeader + maskBytes));
    }
    AppendFrame(reply, out);
}

void SimModem::SetLogCode(std::uint16_t code, bool on) {
    bool& flag = code == kCellListLogCode ? cellListOn_ : sarPaOn_;
    if (flag != on) {
        Log(std::string(code == kCellListLogCode ? "log 0x4005 (cell list) "
                                                 : "log 0x117C (SAR/PA) ") +
            (on ? "on" : "off"));
    }
    flag = on;
}

void SimModem::AppendFrame(std::span<const std::uint8_t> payload, Bytes& out) const {
    std::array<std::uint8_t, kFrameBufferSize> frame{};
    const std::size_t n = HdlcEncode(payload, frame);
    out.insert(out.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
}

std::uint64_t SimModem::NextTimeStampTicks(std::uint64_t uptimeMs) {
    // Strictly increasing, also within a burst.
    lastTicks_ = std::max(uptimeMs * 4 / 5, lastTicks_ + 1);
    return lastTicks_;
}

void SimModem::AppendCellList(std::uint64_t ticks, Bytes& out) {
    const auto& cells = radio_.Cells();
    const std::size_t count = std::min<std::size_t>(cells.size(), 8);
    std::array<std::uint8_t, kLogHeader + 2 + 8 * kCellRecord> p{};
    const std::size_t length = kLogHeader + 2 + count * kCellRecord;
    PutLogHeader(p.data(), length, kCellListLogCode, ticks);
    p[16] = static_cast<std::uint8_t>(count);
    p[17] = options_.numbered ? static_cast<std::uint8_t>(cellListsSent_ & 0xFF)
                              : static_cast<std::uint8_t>(radio_.GsmCount());
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* r = p.data() + kLogHeader + 2 + i * kCellRecord;
        const auto rscp = static_cast<std::int32_t>(std::lround(cells[i].rscp));
        const auto ecIo = static_cast<std::int32_t>(std::lround(cells[i].ecIo));
        Put16(r + 0, cells[i].uarfcn);
        Put16(r + 2, cells[i].psc);
        Put16(r + 4, rscp + 20);  // low byte dBm + 276, high byte 0xFF
        r[7] = static_cast<std::uint8_t>(256 + ecIo);
    }
    AppendFrame(std::span(p.data(), length), out);
    ++cellListsSent_;
}

void SimModem::AppendSarPa(std::uint64_t ticks, Bytes& out) {
    std::array<std::uint8_t, kSarPaFrame> p{};
    PutLogHeader(p.data(), p.size(), kSarPaLogCode, ticks);
    p[25] = radio_.SarLevel();
    p[29] = radio_.PaValue();
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
        AppendCellList(lastTicks_, frame);
        cellListsSent_ = sent;
        std::uint8_t& last = frame[frame.size() - 2];
        const std::uint8_t flipped = last ^ 0x01;
        last = (flipped == kHdlcFlag || flipped == kHdlcEscape) ? last ^ 0x02 : flipped;
        out.insert(out.end(), frame.begin(), frame.end());
    }
}

void SimModem::Tick(std::uint64_t uptimeMs, double seconds, Bytes& out) {
    radio_.Advance(seconds);
    if (!diagMode_ || (!cellListOn_ && !sarPaOn_)) {
        return;
    }
    for (int i = 0; i < options_.burst; ++i) {
        const std::uint64_t ticks = NextTimeStampTicks(uptimeMs);
        if (cellListOn_) {
            if (options_.noise) {
                AppendNoise(out);
            }
            AppendCellList(ticks, out);
        }
        if (sarPaOn_) {
            if (options_.noise) {
                AppendNoise(out);
            }
            AppendSarPa(ticks, out);
        }
    }
}

}  // namespace norvane::sim
