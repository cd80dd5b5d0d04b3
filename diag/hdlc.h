// HDLC-like framing of the modem's diagnostic (DIAG) port.
//
// On the wire every DIAG frame is: payload, CRC-16/X.25 of the payload (low byte first),
// with every 0x7E or 0x7D among payload and CRC sent as 0x7D followed by the byte XOR 0x20,
// then one closing flag 0x7E. Some modems also send an opening flag; to the deframer that is
// just a boundary in front of an empty frame.
//
// Errors in diag: a function that refuses its input (a frame too big for its buffer, a length
// its bytes do not hold, a field out of range) returns nothing: an empty std::optional, a size of
// 0 with nothing written, nullptr from a lookup. The deframer and the decoder say what they found
// as an enum (HdlcDeframer::Status, LogFrameKind). No errno, no exceptions, no -1.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace norvane {

inline constexpr std::uint8_t kHdlcFlag = 0x7E;
inline constexpr std::uint8_t kHdlcEscape = 0x7D;
inline constexpr std::uint8_t kHdlcEscapeXor = 0x20;

// Size of every frame buffer in the system: one read request, every receive buffer and the
// largest frame written.
inline constexpr std::size_t kFrameBufferSize = 16534;

// CRC-16/X.25: polynomial 0x1021 reflected (0x8408), initial 0xFFFF, final XOR 0xFFFF.
std::uint16_t Crc16X25(std::span<const std::uint8_t> bytes);

// Builds the on-wire frame for `payload` into `out`: payload and CRC escaped, closing flag.
// Returns the number of bytes written, or 0 when the frame does not fit into `out`.
std::size_t HdlcEncode(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out);

// Streaming deframer. Feed it bytes in any pieces (whole reads, single bytes, anything between);
// it splits at 0x7E, undoes escapes and checks the CRC. It never allocates: the frame being
// collected lives in a fixed buffer of kFrameBufferSize bytes.
//
// Contract of Feed(): it consumes bytes from `in` until one frame ends or `in` is used up, and
// returns what happened and how many bytes it consumed. Call it again with the rest of the
// input until it has consumed everything.
//   kNeedMore  all of `in` consumed, no frame ended; bytes of an unfinished frame are kept.
//   kFrame     a frame ended with a valid CRC; Payload() is its unescaped payload without the
//              CRC, valid until the next call of Feed() or Reset().
//   kBadFcs    a frame ended whose CRC does not match, or that is too short to hold one (one or
//              two bytes); it is dropped.
//   kOverflow  a frame grew past kFrameBufferSize bytes without a flag; everything up to the
//              next flag is dropped and the deframer then starts afresh.
// An empty frame (two flags in a row, or a leading flag) is no frame and is not reported.
class HdlcDeframer {
  public:
    enum class Status { kNeedMore, kFrame, kBadFcs, kOverflow };
    struct Step {
        Status status;
        std::size_t consumed;
    };

    Step Feed(std::span<const std::uint8_t> in);
    std::span<const std::uint8_t> Payload() const { return {buffer_.data(), payloadLength_}; }
    void Reset();

  private:
    Step EndFrame(std::size_t consumed);
    Step Overflow(std::size_t consumed);

    std::array<std::uint8_t, kFrameBufferSize> buffer_{};
    std::size_t length_ = 0;         // unescaped bytes collected for the current frame
    std::size_t payloadLength_ = 0;  // length of the last frame handed out, without CRC
    bool escaped_ = false;           // the previous byte was 0x7D
    bool discarding_ = false;        // dropping an overlong frame up to the next flag
};

}  // namespace norvane
