#include "tools/sim/signalling_flow.h"

#include <string_view>

#include "diag/log_packets.h"

namespace norvane::sim {
namespace {

// LTE messages of a phone on AT&T, 2018-01-18 (PCI 180 on EARFCN 2250, and two handovers on
// EARFCN 5780, to PCI 168 and to PCI 26), copied unmodified from MobileInsight
// (mobile-insight/mobileinsight-core @ 4330fa9c2df0b090128652546440f63f151af55f :
// examples/logs/mobility_sample.mi2log). MobileInsight, Copyright (c) 2015-2020 UCLA Wireless
// Networking Group and Purdue Peng Group, licensed under the Apache License 2.0 (its text:
// tests/data/LICENSE.mobileinsight-Apache-2.0).
constexpr std::string_view kSib1 = "684c428214e0c2ea5e108275406020610b089846d58140b061000000";
constexpr std::string_view kSystemInformation =
    "00110f44809de04a00081734060f3d3bc09400102e680d10a277812800205cd01cc784ef02500040b9a0100000000"
    "0";
constexpr std::string_view kPaging = "40070ec4077990";
constexpr std::string_view kServiceRequest = "c7000b00";
constexpr std::string_view kTauRequest =
    "0748310bf6130014ff2013dad3368d5805f070c04019521300144e075c0a00570220003103e5e03e131300144e18"
    "11035758a6200a601404e291810012161040080402600400021f005d0103c1000000000000";
constexpr std::string_view kTauAccept =
    "0749015a495406001300144e0757022000131300144e182305f4d166938a640103";
constexpr std::string_view kTauComplete = "074a000000000000";
constexpr std::string_view kConnectionRequest = "470ec4077998";
constexpr std::string_view kConnectionSetup =
    "70129813fd94049b706596aaa10c3f0e0802a0025b00000000ffffffff42408c";
constexpr std::string_view kConnectionSetupComplete = "2410098e19f97ea0";
constexpr std::string_view kSecurityModeCommand = "340220";
constexpr std::string_view kSecurityModeComplete = "2c00";
constexpr std::string_view kFirstReconfiguration =
    "221215e80004046538207d481fb105f720c00a80b1e3c210848850f1e2022a283e0193df8c00004013004800d023"
    "5b77f6a704ff650117d86de0bf8ca2838723ea46f05fc65145c91ce986ee525490d218098040720e80252013400"
    "0000000ffffffff650d0100540030";
constexpr std::string_view kReconfiguration = "220201009c040790";
constexpr std::string_view kReconfigurationComplete = "1200";
constexpr std::string_view kMeasurementReport = "0814273012d5a108b26800";
constexpr std::string_view kRelease = "2e02";
// A reconfiguration with mobility (its target's PCI beside it) and its completion.
struct Handover {
    std::string_view reconfiguration;
    std::uint16_t targetPci;
};
constexpr std::array<Handover, 2> kHandovers = {{
    {"201baa00001004200b950169418297abffc7cadfbcaa9b41c5000c008080040baad55eea0740328030015fb00"
     "6ef326150f950b000c020f9b3824198a10a1a10c2e1223620",
     168},
    {"201baa00001004200b834169418294aaffc7cadfb80aab41c7400c008080040baad55eea0740328030015fb00"
     "6ef32c550f950b000c020f9b38241e8a10a1a0dc1e1220620",
     26},
}};
constexpr std::string_view kHandoverComplete = "10b0";

// WCDMA messages (25.331, UPER) written for the simulator: each message type with the least
// content Wireshark decodes whole (no optional part, every choice its first), the system
// information of a full 246-bit transport block.
constexpr std::string_view kWcdmaSystemInformation =
    "00000000000000000000000000000000000000000000000000000000000000";
constexpr std::string_view kWcdmaPaging = "00";
constexpr std::string_view kWcdmaConnectionRequest = "200000000000";
constexpr std::string_view kWcdmaConnectionSetup =
    "30000000000000000000000000000000000000000000000000000000";
constexpr std::string_view kWcdmaConnectionSetupComplete = "48000000";
constexpr std::string_view kWcdmaInitialDirectTransfer = "1400000000";
constexpr std::string_view kWcdmaSecurityModeCommand = "400000000000";
constexpr std::string_view kWcdmaSecurityModeComplete = "50000000";
constexpr std::string_view kWcdmaMeasurementControl = "20000000";
constexpr std::string_view kWcdmaMeasurementReport = "2000";
constexpr std::string_view kWcdmaActiveSetUpdate = "000000";
constexpr std::string_view kWcdmaActiveSetUpdateComplete = "0000";
constexpr std::string_view kWcdmaRelease = "3c00";
constexpr std::string_view kWcdmaReleaseComplete = "4400";

// WCDMA phases: as long as the LTE scene's.
constexpr std::uint64_t kWcdmaIdleMs = 3000;
constexpr std::uint64_t kWcdmaCycleMs = 12000;
// LTE RRC packets in the version of the newer public captures.
constexpr std::uint8_t kLteRrcVersion = 26;

// The bytes of a hex text, into `out` (large enough for every message above).
std::span<const std::uint8_t> Bytes(std::string_view hex, std::array<std::uint8_t, 256>& out) {
    const auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out[i / 2] = static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1]));
    }
    return std::span(out).first(hex.size() / 2);
}

}  // namespace

bool SignallingFlow::PhaseChanged(bool connected, std::uint64_t uptimeMs) {
    if (known_ && connected == connected_) {
        return false;
    }
    const bool first = !known_;
    known_ = true;
    connected_ = connected;
    nextMs_ = uptimeMs + 1000;
    seconds_ = 0;
    return !first || connected;  // a flow that begins idle has nothing to release
}

bool SignallingFlow::SecondDue(std::uint64_t uptimeMs) {
    if (uptimeMs < nextMs_) {
        return false;
    }
    nextMs_ = uptimeMs + 1000;
    ++seconds_;
    return true;
}

void SignallingFlow::Send(std::size_t length) {
    if (length != 0) {
        emit_(std::span(frame_).first(length));
    }
}

void SignallingFlow::LteRrc(SignallingChannel channel, std::span<const std::uint8_t> pdu) {
    if (on_(kLteRrcLogCode)) {
        m_.protocol = SignallingProtocol::kRrc;
        m_.channel = channel;
        m_.pdu = pdu;
        Send(WriteLteRrc(frame_, stamp_, kLteRrcVersion, m_));
    }
}

void SignallingFlow::LteNas(SignallingDirection direction, std::span<const std::uint8_t> pdu) {
    m_.protocol = SignallingProtocol::kNas;
    m_.direction = direction;
    m_.pdu = pdu;
    const std::size_t length = WriteLteNas(frame_, stamp_, m_);
    if (length != 0 && on_(static_cast<std::uint16_t>(LeU16(frame_, kLogCodeOffset)))) {
        Send(length);
    }
}

void SignallingFlow::WcdmaRrc(SignallingChannel channel, std::span<const std::uint8_t> pdu) {
    if (on_(kWcdmaRrcLogCode)) {
        m_.protocol = SignallingProtocol::kRrc;
        m_.channel = channel;
        m_.pdu = pdu;
        Send(WriteWcdmaRrc(frame_, stamp_, m_));
    }
}

void SignallingFlow::Lte(LteScene& scene, std::uint64_t uptimeMs, std::int64_t stamp) {
    using C = SignallingChannel;
    using D = SignallingDirection;
    std::array<std::uint8_t, 256> b{};
    stamp_ = stamp;
    m_ = {};
    m_.earfcn = scene.Carriers()[0].earfcn;
    m_.pci = scene.Carriers()[0].pci;
    m_.sfn = static_cast<std::uint16_t>(uptimeMs / 10 % 1024);
    m_.subframe = static_cast<std::uint8_t>(uptimeMs % 10);
    const bool connected = scene.Connected();
    if (PhaseChanged(connected, uptimeMs)) {
        if (!connected) {
            LteRrc(C::kDlDcch, Bytes(kRelease, b));
            return;
        }
        // Every third connection updates the tracking area first.
        const bool tau = cycles_++ % 3 == 0;
        LteNas(D::kUplink, Bytes(tau ? kTauRequest : kServiceRequest, b));
        LteRrc(C::kUlCcch, Bytes(kConnectionRequest, b));
        LteRrc(C::kDlCcch, Bytes(kConnectionSetup, b));
        LteRrc(C::kUlDcch, Bytes(kConnectionSetupComplete, b));
        LteRrc(C::kDlDcch, Bytes(kSecurityModeCommand, b));
        LteRrc(C::kUlDcch, Bytes(kSecurityModeComplete, b));
        LteRrc(C::kDlDcch, Bytes(kFirstReconfiguration, b));
        LteRrc(C::kUlDcch, Bytes(kReconfigurationComplete, b));
        if (tau) {
            LteNas(D::kDownlink, Bytes(kTauAccept, b));
            LteNas(D::kUplink, Bytes(kTauComplete, b));
        }
        return;
    }
    if (!SecondDue(uptimeMs)) {
        return;
    }
    if (!connected) {
        LteRrc(C::kBcchDlSch, Bytes(kSib1, b));
        LteRrc(C::kBcchDlSch, Bytes(kSystemInformation, b));
        if (seconds_ % 2 == 1) {
            LteRrc(C::kPcch, Bytes(kPaging, b));
        }
        return;
    }
    LteRrc(C::kUlDcch, Bytes(kMeasurementReport, b));
    if (seconds_ == 4 && cycles_ % 2 == 1) {
        // The report was of a better cell: the network hands the modem over to it.
        const Handover& h = kHandovers[cycles_ / 2 % kHandovers.size()];
        LteRrc(C::kDlDcch, Bytes(h.reconfiguration, b));
        scene.HandOver(h.targetPci);
        m_.pci = h.targetPci;
        LteRrc(C::kUlDcch, Bytes(kHandoverComplete, b));
    } else if (seconds_ % 3 == 0) {
        LteRrc(C::kDlDcch, Bytes(kReconfiguration, b));
        LteRrc(C::kUlDcch, Bytes(kReconfigurationComplete, b));
    }
}

void SignallingFlow::Wcdma(const SimCell& serving, std::uint64_t uptimeMs, std::int64_t stamp) {
    using C = SignallingChannel;
    std::array<std::uint8_t, 256> b{};
    stamp_ = stamp;
    m_ = {};
    m_.rat = SignallingRat::kWcdma;
    m_.hasUarfcn = true;
    m_.uarfcn = static_cast<std::uint16_t>(serving.uarfcn);
    m_.psc = static_cast<std::uint16_t>(serving.psc);
    if (!wcdmaOriginMs_) {
        wcdmaOriginMs_ = uptimeMs;
    }
    const bool connected = (uptimeMs - *wcdmaOriginMs_) % kWcdmaCycleMs >= kWcdmaIdleMs;
    if (PhaseChanged(connected, uptimeMs)) {
        if (!connected) {
            WcdmaRrc(C::kDlDcch, Bytes(kWcdmaRelease, b));
            WcdmaRrc(C::kUlDcch, Bytes(kWcdmaReleaseComplete, b));
            return;
        }
        WcdmaRrc(C::kUlCcch, Bytes(kWcdmaConnectionRequest, b));
        WcdmaRrc(C::kDlCcch, Bytes(kWcdmaConnectionSetup, b));
        WcdmaRrc(C::kUlDcch, Bytes(kWcdmaConnectionSetupComplete, b));
        WcdmaRrc(C::kUlDcch, Bytes(kWcdmaInitialDirectTransfer, b));
        WcdmaRrc(C::kDlDcch, Bytes(kWcdmaSecurityModeCommand, b));
        WcdmaRrc(C::kUlDcch, Bytes(kWcdmaSecurityModeComplete, b));
        WcdmaRrc(C::kDlDcch, Bytes(kWcdmaMeasurementControl, b));
        return;
    }
    if (!SecondDue(uptimeMs)) {
        return;
    }
    if (!connected) {
        WcdmaRrc(C::kBcchBch, Bytes(kWcdmaSystemInformation, b));
        if (seconds_ % 2 == 1) {
            WcdmaRrc(C::kPcch, Bytes(kWcdmaPaging, b));
        }
        return;
    }
    WcdmaRrc(C::kUlDcch, Bytes(kWcdmaMeasurementReport, b));
    if (seconds_ % 4 == 0) {
        // A cell joins the active set (soft handover).
        WcdmaRrc(C::kDlDcch, Bytes(kWcdmaActiveSetUpdate, b));
        WcdmaRrc(C::kUlDcch, Bytes(kWcdmaActiveSetUpdateComplete, b));
    }
}

}  // namespace norvane::sim
