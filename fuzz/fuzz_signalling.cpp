// Arbitrary bytes as a stream of signalling packets: records of a selector byte, a length byte
// and that many payload bytes, each decoded as LTE RRC, NAS or WCDMA RRC (by the selector) and
// handed to one joiner, and named as a PDU of every channel. A message must lie inside its
// payload (or the joiner), carry a name a JSON line can hold as it is, and build a GSMTAP packet
// of its own size.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "diag/gsmtap.h"
#include "diag/signalling.h"
#include "diag/signalling_names.h"

using namespace norvane;

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void CheckName(std::string_view name) {
    for (const char c : name) {
        Check(c >= ' ' && c <= '~' && c != '"' && c != '\\');
    }
}

bool Inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole) {
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

std::array<std::uint8_t, 0x10000> g_packet;

void CheckMessage(const SignallingMessage& m) {
    CheckName(m.name);
    CheckName(SignallingChannelName(m.channel));
    if (SignallingGsmtapHeader(m)) {
        Check(BuildSignallingPacket(m, g_packet) == kGsmtapPacketOverhead + m.pdu.size());
    }
}

constexpr std::uint16_t kNasCodes[] = {kLteNasEsmInLogCode, kLteNasEsmOutLogCode,
                                       kLteNasEmmInLogCode, kLteNasEmmOutLogCode};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto joiner = std::make_unique<LteRrcJoiner>();
    *joiner = LteRrcJoiner{};
    std::span<const std::uint8_t> in(data, size);
    while (in.size() >= 2) {
        const std::uint8_t selector = in[0];
        const auto payload = in.subspan(2, std::min<std::size_t>(in[1], in.size() - 2));
        in = in.subspan(2 + payload.size());
        SignallingMessage m;
        PacketDecode d = PacketDecode::kMalformed;
        switch (selector % 3) {
            case 0:
                d = DecodeLteRrc(payload, m);
                break;
            case 1:
                d = DecodeLteNas(kNasCodes[selector / 3 % 4], payload, m);
                break;
            default:
                d = DecodeWcdmaRrc(payload, m);
                break;
        }
        if (d == PacketDecode::kOk) {
            Check(Inside(m.pdu, payload) && m.segment <= kLteRrcLastSegment);
            CheckMessage(m);
            if (const auto whole = joiner->Add(m)) {
                Check(whole->segment == 0 && whole->pdu.size() <= kLteRrcJoinedMax);
                CheckMessage(*whole);
            }
        } else {
            Check(m.pdu.empty());
        }
        for (std::uint8_t c = 0; c <= static_cast<std::uint8_t>(SignallingChannel::kSib); ++c) {
            CheckName(LteRrcMessageName(static_cast<SignallingChannel>(c), payload));
            CheckName(WcdmaRrcMessageName(static_cast<SignallingChannel>(c), payload));
        }
        CheckName(LteNasMessageName(payload));
        CheckName(WcdmaBlockName(static_cast<WcdmaBlock>(selector)));
    }
    return 0;
}
