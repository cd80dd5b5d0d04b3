// Signalling messages the modem logs as it sends and receives them: LTE RRC (0xB0C0), the plain
// LTE NAS messages (0xB0E2, 0xB0E3, 0xB0EC, 0xB0ED) and WCDMA RRC (0x412F). Their layouts, the
// decoders, and the joiner of LTE RRC messages the modem logs in parts. Offsets are from the
// start of the payload (the bytes after the 16-byte log header); fields are little-endian. The
// messages themselves (the RRC PDUs, UPER-encoded, and the NAS messages) are left as they are;
// diag/signalling_names.h names them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "diag/packet_fields.h"

namespace norvane {

inline constexpr std::uint16_t kLteRrcLogCode = 0xB0C0;    // LTE RRC over the air (equipment 11)
inline constexpr std::uint16_t kWcdmaRrcLogCode = 0x412F;  // WCDMA RRC over the air (equipment 4)
inline constexpr std::uint16_t kLteNasEsmInLogCode = 0xB0E2;   // ESM from the network
inline constexpr std::uint16_t kLteNasEsmOutLogCode = 0xB0E3;  // ESM to the network
inline constexpr std::uint16_t kLteNasEmmInLogCode = 0xB0EC;   // EMM from the network
inline constexpr std::uint16_t kLteNasEmmOutLogCode = 0xB0ED;  // EMM to the network

enum class SignallingProtocol : std::uint8_t { kRrc, kNas };
enum class SignallingRat : std::uint8_t { kLte, kWcdma };
enum class SignallingDirection : std::uint8_t { kDownlink, kUplink };

// The logical channel an RRC message went on; the first eight exist in LTE and WCDMA alike.
enum class SignallingChannel : std::uint8_t {
    kNone,  // a NAS message
    kBcchBch,
    kBcchDlSch,
    kMcch,
    kPcch,
    kDlCcch,
    kDlDcch,
    kUlCcch,
    kUlDcch,
    kBcchFach,                    // WCDMA
    kMsch,                        // WCDMA
    kSystemInformationContainer,  // WCDMA
    kSib,                         // WCDMA: one system information block, taken out of its message
};

// The WCDMA system information blocks, numbered as GSMTAP numbers them (its UMTS RRC sub-types),
// so that a capture of a block needs no table of its own.
enum class WcdmaBlock : std::uint8_t {
    kNone = 0,
    kMib = 16,
    kSib1 = 17,
    kSib2 = 18,
    kSib3 = 19,
    kSib4 = 20,
    kSib5 = 21,
    kSib5bis = 22,
    kSib6 = 23,
    kSib7 = 24,
    kSib8 = 25,
    kSib9 = 26,
    kSib10 = 27,
    kSib11 = 28,
    kSib11bis = 29,
    kSib12 = 30,
    kSib13 = 31,
    kSib13_1 = 32,
    kSib13_2 = 33,
    kSib13_3 = 34,
    kSib13_4 = 35,
    kSib14 = 36,
    kSib15 = 37,
    kSib15_1 = 39,
    kSib15_2 = 41,
    kSib15_3 = 44,
    kSib15_4 = 46,
    kSib15_5 = 47,
    kSib16 = 51,
    kSib17 = 52,
    kSib18 = 53,
    kSib19 = 54,
    kSb1 = 58,
    kSb2 = 59,
};

// One RRC or NAS message as the modem logged it.
struct SignallingMessage {
    SignallingProtocol protocol = SignallingProtocol::kRrc;
    SignallingRat rat = SignallingRat::kLte;
    // Uplink: the UL channels and the NAS logs of messages to the network.
    SignallingDirection direction = SignallingDirection::kDownlink;
    SignallingChannel channel = SignallingChannel::kNone;
    WcdmaBlock block = WcdmaBlock::kNone;  // channel kSib: which block
    // The message's name as Wireshark shows it (diag/signalling_names.h); empty for a message
    // type Wireshark gives no name (spares, types of later releases) and for a part of a message.
    std::string_view name;
    // LTE RRC of packet versions 30 on: 0 the whole message; 1..6 a part, 7 the last part
    // (LteRrcJoiner puts them together).
    std::uint8_t segment = 0;
    // LTE RRC: the cell and the time the message went at.
    std::uint32_t earfcn = 0;
    std::uint16_t pci = 0;
    std::uint16_t sfn = 0;  // system frame number, 0..4095
    std::uint8_t subframe = 0;
    // WCDMA RRC of the channel types that carry the cell.
    bool hasUarfcn = false;
    std::uint16_t uarfcn = 0;
    std::uint16_t psc = 0;
    // The message's bytes: a view into the payload it was decoded from (valid as long as those
    // bytes are), or into the joiner's buffer for a joined message.
    std::span<const std::uint8_t> pdu;
};

// --- 0xB0C0 LTE RRC. Per range of packet versions:
//   0 version | 1, 2 LTE RRC release | (v25 on: 3, 4 NR RRC release) | radio bearer id u8 | PCI
//   u16 | EARFCN (u16 before v8, then u32) | SFN word u16 (sub-frame bits 0-3, SFN bits 4-15) |
//   PDU number u8 (the channel, by the table below) | (v5 on: SIB mask u32) | PDU length u16 |
//   (v30 on: two bytes of unknown meaning, segment id u8) | the RRC PDU.
struct LteRrcLayout {
    std::uint8_t firstVersion, lastVersion;
    std::uint8_t pci, earfcn, earfcnWidth, sfn, pduNumber, length;
    std::uint8_t segment;  // 0: none (the PDU is always whole)
    std::uint8_t pdu;
};
inline constexpr std::array<LteRrcLayout, 5> kLteRrcLayouts{{
    {2, 4, 4, 6, 2, 8, 10, 11, 0, 13},
    {5, 7, 4, 6, 2, 8, 10, 15, 0, 17},
    {8, 24, 4, 6, 4, 10, 12, 17, 0, 19},
    {25, 29, 6, 8, 4, 12, 14, 19, 0, 21},
    {30, 255, 6, 8, 4, 12, 14, 19, 23, 24},
}};
inline constexpr unsigned kLteRrcSfnShift = 4;
inline constexpr std::uint8_t kLteRrcSubframeMask = 0x0F;
inline constexpr std::uint8_t kLteRrcLastSegment = 7;

// The channel of each PDU number, per group of versions (a version of no group has no layout
// here). Numbers not in a group's row (NB-IoT channels, copies of blocks) carry nothing this
// program reads.
inline constexpr std::array<SignallingChannel, 8> kLteRrcChannels{
    SignallingChannel::kBcchBch, SignallingChannel::kBcchDlSch, SignallingChannel::kMcch,
    SignallingChannel::kPcch,    SignallingChannel::kDlCcch,    SignallingChannel::kDlDcch,
    SignallingChannel::kUlCcch,  SignallingChannel::kUlDcch};
struct LteRrcPduNumbers {
    std::array<std::uint8_t, 8> versions;  // 0: no version
    std::array<std::uint8_t, 8> numbers;   // the PDU number of each of kLteRrcChannels
};
inline constexpr std::array<LteRrcPduNumbers, 4> kLteRrcPduNumbers{{
    {{2, 3, 4, 6, 7, 8, 13, 22}, {1, 2, 3, 4, 5, 6, 7, 8}},
    {{9, 12}, {8, 9, 10, 11, 12, 13, 14, 15}},
    {{14, 15, 16, 20, 24, 25}, {1, 2, 4, 5, 6, 7, 8, 9}},
    {{19, 26, 27, 29, 30, 31}, {1, 3, 6, 7, 8, 9, 10, 11}},
}};

// --- The plain LTE NAS logs: version u8 | NAS release (major, minor, revision) | the NAS
// message from byte 4 to the end.
inline constexpr std::size_t kLteNasMessage = 4;
struct LteNasLog {
    std::uint16_t code;
    SignallingDirection direction;
};
inline constexpr std::array<LteNasLog, 4> kLteNasLogs{{
    {kLteNasEsmInLogCode, SignallingDirection::kDownlink},
    {kLteNasEsmOutLogCode, SignallingDirection::kUplink},
    {kLteNasEmmInLogCode, SignallingDirection::kDownlink},
    {kLteNasEmmOutLogCode, SignallingDirection::kUplink},
}};

// --- 0x412F WCDMA RRC: channel type u8 | radio bearer id u8 | length u16 | (the types that
// carry the cell: UARFCN u16, PSC u16) | the message of `length` bytes. A message of the block
// types begins with the block's type byte; the block follows it.
inline constexpr std::size_t kWcdmaRrcLength = 2;
inline constexpr std::size_t kWcdmaRrcMessage = 4;
inline constexpr std::size_t kWcdmaRrcUarfcn = 4;
inline constexpr std::size_t kWcdmaRrcPsc = 6;
inline constexpr std::size_t kWcdmaRrcCellMessage = 8;
struct WcdmaRrcChannelType {
    std::uint8_t type;
    SignallingChannel channel;
    bool cell;  // UARFCN and PSC before the message; also: the newer firmware's block types
};
inline constexpr std::array<WcdmaRrcChannelType, 24> kWcdmaRrcChannelTypes{{
    {0x00, SignallingChannel::kUlCcch, false},
    {0x01, SignallingChannel::kUlDcch, false},
    {0x02, SignallingChannel::kDlCcch, false},
    {0x03, SignallingChannel::kDlDcch, false},
    {0x04, SignallingChannel::kBcchBch, false},
    {0x05, SignallingChannel::kBcchFach, false},
    {0x06, SignallingChannel::kPcch, false},
    {0x07, SignallingChannel::kMcch, false},
    {0x08, SignallingChannel::kMsch, false},
    {0x09, SignallingChannel::kSib, false},
    {0x0A, SignallingChannel::kSystemInformationContainer, false},
    {0xFE, SignallingChannel::kSib, false},
    {0xFF, SignallingChannel::kSib, false},
    {0x80, SignallingChannel::kUlCcch, true},
    {0x81, SignallingChannel::kUlDcch, true},
    {0x82, SignallingChannel::kDlCcch, true},
    {0x83, SignallingChannel::kDlDcch, true},
    {0x84, SignallingChannel::kBcchBch, true},
    {0x85, SignallingChannel::kBcchFach, true},
    {0x86, SignallingChannel::kPcch, true},
    {0x87, SignallingChannel::kMcch, true},
    {0x88, SignallingChannel::kMsch, true},
    {0x89, SignallingChannel::kSib, true},
    {0xF0, SignallingChannel::kSib, true},
}};

// The block of a block type byte. Type 31 is SIB11bis in the older firmware's packets (block
// types 9, 0xFE, 0xFF) and SIB19 in the newer's (0x89, 0xF0), which also name them 66 and 67.
inline constexpr std::array<WcdmaBlock, 32> kWcdmaBlockTypes{
    WcdmaBlock::kMib,     WcdmaBlock::kSib1,    WcdmaBlock::kSib2,    WcdmaBlock::kSib3,
    WcdmaBlock::kSib4,    WcdmaBlock::kSib5,    WcdmaBlock::kSib6,    WcdmaBlock::kSib7,
    WcdmaBlock::kSib8,    WcdmaBlock::kSib9,    WcdmaBlock::kSib10,   WcdmaBlock::kSib11,
    WcdmaBlock::kSib12,   WcdmaBlock::kSib13,   WcdmaBlock::kSib13_1, WcdmaBlock::kSib13_2,
    WcdmaBlock::kSib13_3, WcdmaBlock::kSib13_4, WcdmaBlock::kSib14,   WcdmaBlock::kSib15,
    WcdmaBlock::kSib15_1, WcdmaBlock::kSib15_2, WcdmaBlock::kSib15_3, WcdmaBlock::kSib16,
    WcdmaBlock::kSib17,   WcdmaBlock::kSib15_4, WcdmaBlock::kSib18,   WcdmaBlock::kSb1,
    WcdmaBlock::kSb2,     WcdmaBlock::kSib15_5, WcdmaBlock::kSib5bis, WcdmaBlock::kSib11bis};
inline constexpr std::uint8_t kWcdmaBlockType31 = 31;
inline constexpr std::uint8_t kWcdmaBlockTypeSib11bis = 66;
inline constexpr std::uint8_t kWcdmaBlockTypeSib19 = 67;

// Decoders of the payloads after the log header. The message's fields and its name are filled
// in; its pdu is a view into `payload`. kUnknownVersion: a packet version, PDU number, channel
// type or block type without a layout here. kMalformed: shorter than its layout, a length
// reaching beyond the payload, a segment id above 7, an empty message. Nothing outside `payload`
// is read.
PacketDecode DecodeLteRrc(std::span<const std::uint8_t> payload, SignallingMessage& out);
PacketDecode DecodeLteNas(std::uint16_t code, std::span<const std::uint8_t> payload,
                          SignallingMessage& out);
PacketDecode DecodeWcdmaRrc(std::span<const std::uint8_t> payload, SignallingMessage& out);

// Writers of whole log frames (header included) carrying `m`, for the simulated modem and the
// tests; the fields this program does not read (releases, radio bearer, SIB mask) are written as
// the modems of the public captures write them. Each returns the frame's size, or 0 (nothing
// usable written) for a version, channel or block without a layout here, a message longer than
// its length field holds, or a frame that does not fit `out`.
// 0xB0C0 in packet `version`: m's channel, PCI, EARFCN (cut to 16 bits before version 8), SFN
// and sub-frame, segment id (version 30 on) and PDU.
std::size_t WriteLteRrc(std::span<std::uint8_t> out, std::int64_t stamp, std::uint8_t version,
                        const SignallingMessage& m);
// The plain NAS log of m's direction and of its message's protocol (ESM when the protocol
// discriminator, the low half of the first octet, is 2; else EMM).
std::size_t WriteLteNas(std::span<std::uint8_t> out, std::int64_t stamp,
                        const SignallingMessage& m);
// 0x412F: the channel type of m's channel, the one that carries the cell when m.hasUarfcn; a
// block (channel kSib) in the older firmware's type 9, or 0x89 with the cell (not SIB11bis, whose
// type that firmware writes otherwise).
std::size_t WriteWcdmaRrc(std::span<std::uint8_t> out, std::int64_t stamp,
                          const SignallingMessage& m);

// The largest LTE RRC message the joiner puts together (the largest PDCP SDU is 8188 bytes).
inline constexpr std::size_t kLteRrcJoinedMax = 8192;

// Puts together the LTE RRC messages the modem logs in parts (segment ids 1..7, packet versions
// 30 on). It keeps one message in progress: a part continues it when it is the next one (ids
// in order, 7 last) on the same channel; anything else ends it unfinished, and it is dropped
// and counted, as is a message whose first part never came or that outgrows kLteRrcJoinedMax.
// A caller keeps one joiner for each radio of the modem, for the whole stream, and hands it
// every LTE RRC message in stream order:
//
//     LteRrcJoiner joiner;  // 8 KiB: owned by the caller, not on a small stack
//     const DecodedLogFrame f = DecodeLogFrame(payload);
//     if (f.kind == LogFrameKind::Rrc || f.kind == LogFrameKind::RrcSegment) {
//         if (const std::optional<SignallingMessage> m = joiner.Add(f.signalling)) { use *m; }
//     }
//
// Pure: no allocation, no I/O.
class LteRrcJoiner {
  public:
    // A whole message (segment 0) comes back as it is. The last part of a message comes back
    // as the whole message, named, with the first part's cell and time, its pdu a view into
    // this joiner, valid until the next call. Any other part: nothing.
    std::optional<SignallingMessage> Add(const SignallingMessage& m);
    // Messages dropped so far because a part was missing or they grew too long.
    std::uint64_t dropped() const { return dropped_; }

  private:
    void Drop();

    SignallingMessage first_;  // the first part's fields (without its pdu)
    std::uint8_t next_ = 0;    // the id the next part must have; 0: no message in progress
    bool skipping_ = false;    // the parts of a dropped message are still coming
    std::size_t size_ = 0;     // bytes in buffer_
    std::uint64_t dropped_ = 0;
    std::array<std::uint8_t, kLteRrcJoinedMax> buffer_{};
};

}  // namespace norvane
