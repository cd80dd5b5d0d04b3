#include "diag/signalling.h"

#include <algorithm>

#include "diag/log_packets.h"
#include "diag/signalling_names.h"

namespace norvane {
namespace {

// Every field of a layout lies before its PDU, and every channel type names a channel.
constexpr bool LayoutsHold() {
    for (const LteRrcLayout& l : kLteRrcLayouts) {
        const std::size_t end = std::max({l.pci + 2, l.earfcn + l.earfcnWidth, l.sfn + 2,
                                          l.pduNumber + 1, l.length + 2, l.segment + 1});
        if (end > l.pdu || l.firstVersion > l.lastVersion) {
            return false;
        }
    }
    return std::none_of(kWcdmaRrcChannelTypes.begin(), kWcdmaRrcChannelTypes.end(),
                        [](const auto& t) { return t.channel == SignallingChannel::kNone; });
}
static_assert(LayoutsHold());

bool IsUplink(SignallingChannel channel) {
    return channel == SignallingChannel::kUlCcch || channel == SignallingChannel::kUlDcch;
}

const LteRrcLayout* FindLteRrcLayout(std::uint8_t version) {
    const auto it = std::find_if(kLteRrcLayouts.begin(), kLteRrcLayouts.end(), [&](const auto& l) {
        return version >= l.firstVersion && version <= l.lastVersion;
    });
    return it == kLteRrcLayouts.end() ? nullptr : &*it;
}

// The PDU numbers of a version, or nullptr.
const LteRrcPduNumbers* FindLteRrcPduNumbers(std::uint8_t version) {
    const auto it =
        std::find_if(kLteRrcPduNumbers.begin(), kLteRrcPduNumbers.end(), [&](const auto& row) {
            return std::find(row.versions.begin(), row.versions.end(), version) !=
                   row.versions.end();
        });
    return version == 0 || it == kLteRrcPduNumbers.end() ? nullptr : &*it;
}

WcdmaBlock FindWcdmaBlock(std::uint8_t type, bool newer) {
    if (type == kWcdmaBlockTypeSib11bis) {
        return WcdmaBlock::kSib11bis;
    }
    if (type == kWcdmaBlockTypeSib19 || (type == kWcdmaBlockType31 && newer)) {
        return WcdmaBlock::kSib19;
    }
    return type < kWcdmaBlockTypes.size() ? kWcdmaBlockTypes[type] : WcdmaBlock::kNone;
}

}  // namespace

PacketDecode DecodeLteRrc(std::span<const std::uint8_t> payload, SignallingMessage& out) {
    if (payload.empty()) {
        return PacketDecode::kMalformed;
    }
    const LteRrcLayout* l = FindLteRrcLayout(payload[0]);
    const LteRrcPduNumbers* numbers = FindLteRrcPduNumbers(payload[0]);
    if (l == nullptr || numbers == nullptr) {
        return PacketDecode::kUnknownVersion;
    }
    if (payload.size() < l->pdu) {
        return PacketDecode::kMalformed;
    }
    const auto n =
        std::find(numbers->numbers.begin(), numbers->numbers.end(), payload[l->pduNumber]);
    if (n == numbers->numbers.end()) {
        return PacketDecode::kUnknownVersion;
    }
    // The modem's length and segment id: the PDU must end inside the payload, the id be 0..7.
    const std::size_t length = LeU16(payload, l->length);
    const std::uint8_t segment = l->segment != 0 ? payload[l->segment] : 0;
    if (length > payload.size() - l->pdu || segment > kLteRrcLastSegment) {
        return PacketDecode::kMalformed;
    }
    out = SignallingMessage{};
    out.protocol = SignallingProtocol::kRrc;
    out.rat = SignallingRat::kLte;
    out.channel = kLteRrcChannels[static_cast<std::size_t>(n - numbers->numbers.begin())];
    out.direction =
        IsUplink(out.channel) ? SignallingDirection::kUplink : SignallingDirection::kDownlink;
    out.segment = segment;
    out.pci = static_cast<std::uint16_t>(LeU16(payload, l->pci));
    out.earfcn = LeUint(payload, l->earfcn, l->earfcnWidth);
    const std::uint32_t time = LeU16(payload, l->sfn);
    out.sfn = static_cast<std::uint16_t>(time >> kLteRrcSfnShift);
    out.subframe = static_cast<std::uint8_t>(time & kLteRrcSubframeMask);
    out.pdu = payload.subspan(l->pdu, length);
    if (segment == 0) {
        out.name = LteRrcMessageName(out.channel, out.pdu);
    }
    return PacketDecode::kOk;
}

PacketDecode DecodeLteNas(std::uint16_t code, std::span<const std::uint8_t> payload,
                          SignallingMessage& out) {
    const auto log = std::find_if(kLteNasLogs.begin(), kLteNasLogs.end(),
                                  [code](const LteNasLog& l) { return l.code == code; });
    if (log == kLteNasLogs.end()) {
        return PacketDecode::kUnknownVersion;
    }
    if (payload.size() <= kLteNasMessage) {
        return PacketDecode::kMalformed;
    }
    out = SignallingMessage{};
    out.protocol = SignallingProtocol::kNas;
    out.rat = SignallingRat::kLte;
    out.direction = log->direction;
    out.pdu = payload.subspan(kLteNasMessage);
    out.name = LteNasMessageName(out.pdu);
    return PacketDecode::kOk;
}

PacketDecode DecodeWcdmaRrc(std::span<const std::uint8_t> payload, SignallingMessage& out) {
    if (payload.size() < kWcdmaRrcMessage) {
        return PacketDecode::kMalformed;
    }
    const auto type = std::find_if(kWcdmaRrcChannelTypes.begin(), kWcdmaRrcChannelTypes.end(),
                                   [&](const auto& t) { return t.type == payload[0]; });
    if (type == kWcdmaRrcChannelTypes.end()) {
        return PacketDecode::kUnknownVersion;
    }
    const std::size_t at = type->cell ? kWcdmaRrcCellMessage : kWcdmaRrcMessage;
    // The modem's length: the message must end inside the payload; a block holds its type.
    const std::size_t length = LeU16(payload, kWcdmaRrcLength);
    const bool block = type->channel == SignallingChannel::kSib;
    if (payload.size() < at || length > payload.size() - at || (block && length == 0)) {
        return PacketDecode::kMalformed;
    }
    auto message = payload.subspan(at, length);
    const WcdmaBlock b = block ? FindWcdmaBlock(message[0], type->cell) : WcdmaBlock::kNone;
    if (block && b == WcdmaBlock::kNone) {
        return PacketDecode::kUnknownVersion;
    }
    out = SignallingMessage{};
    out.protocol = SignallingProtocol::kRrc;
    out.rat = SignallingRat::kWcdma;
    out.channel = type->channel;
    out.direction =
        IsUplink(out.channel) ? SignallingDirection::kUplink : SignallingDirection::kDownlink;
    out.hasUarfcn = type->cell;
    if (type->cell) {
        out.uarfcn = static_cast<std::uint16_t>(LeU16(payload, kWcdmaRrcUarfcn));
        out.psc = static_cast<std::uint16_t>(LeU16(payload, kWcdmaRrcPsc));
    }
    out.block = b;
    out.pdu = block ? message.subspan(1) : message;
    out.name = block ? WcdmaBlockName(b) : WcdmaRrcMessageName(out.channel, out.pdu);
    return PacketDecode::kOk;
}

namespace {

// What the writers put into the fields nothing reads: LTE RRC release 14.3 (and NR release 15.3
// from version 25 on), radio bearer 1, no SIB mask; NAS log version 1 of NAS release 9.5.0.
constexpr std::array<std::uint8_t, 2> kLteRrcRelease = {0x0E, 0x30};
constexpr std::array<std::uint8_t, 2> kNrRrcRelease = {0x0F, 0x30};
constexpr std::uint8_t kRadioBearer = 1;
constexpr std::array<std::uint8_t, 4> kLteNasHeader = {0x01, 0x09, 0x05, 0x00};
constexpr std::uint8_t kNasEsm = 0x02;  // protocol discriminator
constexpr std::uint8_t kWcdmaSibType = 0x09;
constexpr std::uint8_t kWcdmaSibWithCellType = 0x89;

// A log frame of `size` payload bytes; its payload, or an empty span when it does not fit or
// is too long for the header's length.
std::span<std::uint8_t> StartPayload(std::span<std::uint8_t> out, std::size_t size,
                                     std::uint16_t code, std::int64_t stamp) {
    if (size > 0xFFFF - kLogHeaderSize || !StartLogFrame(out, size, code, stamp)) {
        return {};
    }
    return out.subspan(kLogHeaderSize, size);
}

}  // namespace

std::size_t WriteLteRrc(std::span<std::uint8_t> out, std::int64_t stamp, std::uint8_t version,
                        const SignallingMessage& m) {
    const LteRrcLayout* l = FindLteRrcLayout(version);
    const LteRrcPduNumbers* numbers = FindLteRrcPduNumbers(version);
    const auto channel = std::find(kLteRrcChannels.begin(), kLteRrcChannels.end(), m.channel);
    if (l == nullptr || numbers == nullptr || channel == kLteRrcChannels.end()) {
        return 0;
    }
    const auto p = StartPayload(out, l->pdu + m.pdu.size(), kLteRrcLogCode, stamp);
    if (p.empty()) {
        return 0;
    }
    p[0] = version;
    auto at = std::copy(kLteRrcRelease.begin(), kLteRrcRelease.end(), p.begin() + 1);
    if (l->pci > 4) {  // the layouts with the NR release
        at = std::copy(kNrRrcRelease.begin(), kNrRrcRelease.end(), at);
    }
    *at = kRadioBearer;
    PutLe(p, l->pci, 2, m.pci);
    PutLe(p, l->earfcn, l->earfcnWidth, m.earfcn);
    PutLe(
        p, l->sfn, 2,
        static_cast<std::uint32_t>(m.sfn << kLteRrcSfnShift | (m.subframe & kLteRrcSubframeMask)));
    p[l->pduNumber] = numbers->numbers[static_cast<std::size_t>(channel - kLteRrcChannels.begin())];
    PutLe(p, l->length, 2, static_cast<std::uint32_t>(m.pdu.size()));
    if (l->segment != 0) {
        p[l->segment] = m.segment;
    }
    std::copy(m.pdu.begin(), m.pdu.end(), p.begin() + l->pdu);
    return kLogHeaderSize + p.size();
}

std::size_t WriteLteNas(std::span<std::uint8_t> out, std::int64_t stamp,
                        const SignallingMessage& m) {
    const bool esm = !m.pdu.empty() && (m.pdu[0] & 0x0F) == kNasEsm;
    const bool up = m.direction == SignallingDirection::kUplink;
    const std::uint16_t code = esm ? (up ? kLteNasEsmOutLogCode : kLteNasEsmInLogCode)
                                   : (up ? kLteNasEmmOutLogCode : kLteNasEmmInLogCode);
    const auto p = StartPayload(out, kLteNasMessage + m.pdu.size(), code, stamp);
    if (p.empty()) {
        return 0;
    }
    std::copy(kLteNasHeader.begin(), kLteNasHeader.end(), p.begin());
    std::copy(m.pdu.begin(), m.pdu.end(), p.begin() + kLteNasMessage);
    return kLogHeaderSize + p.size();
}

std::size_t WriteWcdmaRrc(std::span<std::uint8_t> out, std::int64_t stamp,
                          const SignallingMessage& m) {
    const bool block = m.channel == SignallingChannel::kSib;
    const auto type = std::find_if(
        kWcdmaRrcChannelTypes.begin(), kWcdmaRrcChannelTypes.end(), [&](const auto& t) {
            return t.channel == m.channel && t.cell == m.hasUarfcn &&
                   (!block || t.type == kWcdmaSibType || t.type == kWcdmaSibWithCellType);
        });
    const auto blockType = std::find(kWcdmaBlockTypes.begin(), kWcdmaBlockTypes.end(), m.block);
    if (type == kWcdmaRrcChannelTypes.end() || (block && blockType == kWcdmaBlockTypes.end()) ||
        (block && m.hasUarfcn && m.block == WcdmaBlock::kSib11bis)) {
        return 0;
    }
    const std::size_t at = m.hasUarfcn ? kWcdmaRrcCellMessage : kWcdmaRrcMessage;
    const std::size_t length = m.pdu.size() + (block ? 1 : 0);
    const auto p = StartPayload(out, at + length, kWcdmaRrcLogCode, stamp);
    if (p.empty()) {
        return 0;
    }
    p[0] = type->type;
    p[1] = kRadioBearer;
    PutLe(p, kWcdmaRrcLength, 2, static_cast<std::uint32_t>(length));
    if (m.hasUarfcn) {
        PutLe(p, kWcdmaRrcUarfcn, 2, m.uarfcn);
        PutLe(p, kWcdmaRrcPsc, 2, m.psc);
    }
    if (block) {
        p[at] = static_cast<std::uint8_t>(blockType - kWcdmaBlockTypes.begin());
    }
    std::copy(m.pdu.begin(), m.pdu.end(),
              p.begin() + static_cast<std::ptrdiff_t>(at + length - m.pdu.size()));
    return kLogHeaderSize + p.size();
}

void LteRrcJoiner::Drop() {
    if (next_ != 0 || !skipping_) {
        ++dropped_;
    }
    next_ = 0;
    size_ = 0;
}

std::optional<SignallingMessage> LteRrcJoiner::Add(const SignallingMessage& m) {
    if (m.segment == 0) {
        return m;
    }
    if (m.segment == 1) {
        if (next_ != 0) {
            Drop();
        }
        first_ = m;
        first_.pdu = {};
        next_ = 1;
        size_ = 0;
        skipping_ = false;
    } else if (next_ == 0 || m.channel != first_.channel ||
               (m.segment != next_ && m.segment != kLteRrcLastSegment)) {
        // A part without the ones before it: the message is lost. Its later parts are passed
        // over without being counted again, up to its last one.
        Drop();
        skipping_ = m.segment != kLteRrcLastSegment;
        return std::nullopt;
    }
    if (m.pdu.size() > buffer_.size() - size_) {
        Drop();
        skipping_ = m.segment != kLteRrcLastSegment;
        return std::nullopt;
    }
    std::copy(m.pdu.begin(), m.pdu.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(size_));
    size_ += m.pdu.size();
    if (m.segment != kLteRrcLastSegment) {
        ++next_;
        return std::nullopt;
    }
    SignallingMessage whole = first_;
    whole.segment = 0;
    whole.pdu = std::span(buffer_).first(size_);
    whole.name = LteRrcMessageName(whole.channel, whole.pdu);
    next_ = 0;
    return whole;
}

}  // namespace norvane
