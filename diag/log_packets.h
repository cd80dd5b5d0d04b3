// The bytes of the DIAG log packets the monitor reads, and of the log-configuration command
// (0x73) that switches them on. The decoder, the simulated modem and the tests all build on
// these layouts; nothing else in the system knows an offset of these packets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace norvane {

// --- Log frame (command 0x10), as the deframer hands it on (CRC removed), little-endian:
//   0      command 0x10
//   1      zero
//   2..3   length of the log record (the frame from byte 4 on)
//   4..5   the same length, repeated as the log record's first field
//   6..7   log code
//   8..15  time stamp, 64 bits
//   16..   log payload
inline constexpr std::uint8_t kLogCommand = 0x10;
inline constexpr std::size_t kLogLengthOffset = 2;
inline constexpr std::size_t kLogRecordLengthOffset = 4;
inline constexpr std::size_t kLogCodeOffset = 6;
inline constexpr std::size_t kLogTimeStampOffset = 8;
inline constexpr std::size_t kLogHeaderSize = 16;

// The time stamp is the modem's system clock: its upper 48 bits count units of 1.25 ms, its low
// 16 bits a fraction of that unit, so one millisecond is 65536 / 1.25 = 52428.8 counts. The
// monitor has always shown the up-time as stamp / 52400 ms, a whole divisor that reads about
// 0.05 % fast (two seconds an hour); the window keeps that reading so its up-time stays
// comparable with what it showed before. The simulator writes up-time x 52400, so that its
// up-time reads back exactly.
inline constexpr std::int64_t kTimeStampPerMillisecond = 52400;

// A modem that knows the date counts the 1.25 ms units from 1980-01-06 00:00:00 UTC (the GPS
// epoch, no leap seconds) instead of from power-on. A count from 2000-01-01 on is taken as such a
// date: no modem runs twenty years without a restart.
inline constexpr std::int64_t kGpsEpochUnixMs = 315964800000;        // 1980-01-06T00:00:00Z
inline constexpr std::uint64_t kModemTimeFirstTicks = 504576000000;  // 2000-01-01 in 1.25 ms
inline constexpr std::int64_t kModemTimeEndUnixMs = 4102444800000;   // 2100-01-01T00:00:00Z

// The time of day the stamp gives, in milliseconds since 1970-01-01 UTC (cut, not rounded), or
// nothing when it is an up-time or lies at or after 2100.
std::optional<std::int64_t> ModemTimeUnixMs(std::int64_t stamp);

inline constexpr std::uint16_t kCellListLogCode = 0x4005;  // WCDMA cell list
inline constexpr std::uint16_t kSarPaLogCode = 0x117C;     // SAR level and PA temperature

// Writes the 16-byte log header of a frame of `frameLength` bytes (header included).
void PutLogHeader(std::span<std::uint8_t, kLogHeaderSize> out, std::size_t frameLength,
                  std::uint16_t code, std::int64_t stamp);

// Zeroes the payload of a log frame of `payloadSize` bytes and writes its header; false when it
// does not fit into `out`.
bool StartLogFrame(std::span<std::uint8_t> out, std::size_t payloadSize, std::uint16_t code,
                   std::int64_t stamp);

// The log code and payload of a log frame: the bytes after the header up to the end its length
// (bytes 2..3) declares. Nothing when `frame` is not a log frame, its length is shorter than the
// header's own fields, or the frame ends before that length. Bytes after it are not looked at.
struct LogPayload {
    std::uint16_t code = 0;
    std::span<const std::uint8_t> bytes;
};
std::optional<LogPayload> LogPayloadOf(std::span<const std::uint8_t> frame);

// --- WCDMA cell list, log code 0x4005. After the header:
//   16     bits 7..6 the packet version (0, 1, 2; 3 is not known), bits 5..0 the WCDMA count
//   17     the GSM count: the whole byte in version 0, bits 5..0 in versions 1 and 2
//   18..22 version 2 only: five bytes of unknown meaning
//   then the WCDMA records, then the GSM records (sizes per version below).
inline constexpr std::size_t kCellListCountOffset = 16;
inline constexpr std::size_t kCellListGsmCountOffset = 17;
inline constexpr unsigned kCellListVersionShift = 6;
inline constexpr std::uint8_t kCellListCountMask = 0x3F;
inline constexpr std::size_t kCellListMaxCells = 63;  // what six bits can count

struct CellListLayout {
    std::size_t recordsOffset;
    std::size_t wcdmaRecordSize;
    std::size_t gsmRecordSize;
};
inline constexpr std::array<CellListLayout, 3> kCellListLayouts{{
    {18, 10, 7},   // version 0
    {18, 11, 8},   // version 1: + reselection status
    {23, 16, 13},  // version 2: + reselection status, HCS priority, H value, HCS cell qualify
}};

// WCDMA record. The first ten bytes are the same in every version.
inline constexpr std::size_t kWcdmaUarfcn = 0;     // 16 bits
inline constexpr std::size_t kWcdmaPsc = 2;        // 16 bits
inline constexpr std::size_t kWcdmaRscp = 4;       // dBm + 276
inline constexpr std::size_t kWcdmaRscpRank = 5;   // signed 16 bits
inline constexpr std::size_t kWcdmaEcIo = 7;       // half dB + 256
inline constexpr std::size_t kWcdmaEcIoRank = 8;   // signed 16 bits
inline constexpr std::size_t kWcdmaReselect = 10;  // versions 1 and 2
inline constexpr std::size_t kWcdmaHcsPriority = 11;
inline constexpr std::size_t kWcdmaHValue = 13;
inline constexpr std::size_t kWcdmaHcsQualify = 15;
inline constexpr std::int32_t kRscpBias = 276;
inline constexpr std::int32_t kEcIoBias = 256;

// GSM record.
inline constexpr std::size_t kGsmArfcn = 0;  // 16 bits, the low 12 the channel
inline constexpr std::size_t kGsmBsic = 2;   // 16 bits
inline constexpr std::size_t kGsmRssi = 4;   // dBm, signed byte
inline constexpr std::size_t kGsmRank = 5;   // signed 16 bits
inline constexpr std::size_t kGsmReselect = 7;
inline constexpr std::size_t kGsmHcsPriority = 8;
inline constexpr std::size_t kGsmHValue = 10;
inline constexpr std::size_t kGsmHcsQualify = 12;
inline constexpr std::uint16_t kGsmArfcnMask = 0x0FFF;

// Field values of one record as they go on the wire (biased bytes, raw ranks).
struct WcdmaCellRecord {
    std::uint16_t uarfcn = 0;
    std::uint16_t psc = 0;
    std::uint8_t rscp = 0;  // dBm + 276
    std::int16_t rscpRank = -1;
    std::uint8_t ecIo = 0;  // half dB + 256
    std::int16_t ecIoRank = -1;
    std::uint8_t reselect = 0;
    std::int16_t hcsPriority = 0;
    std::int16_t hValue = 0;
    std::uint8_t hcsQualify = 0;
};
struct GsmCellRecord {
    std::uint16_t arfcn = 0;
    std::uint16_t bsic = 0;
    std::int8_t rssi = 0;
    std::int16_t rank = 0;
    std::uint8_t reselect = 0;
    std::int16_t hcsPriority = 0;
    std::int16_t hValue = 0;
    std::uint8_t hcsQualify = 0;
};

// Size of a cell list frame (header included) of this version and these counts.
std::size_t CellListSize(unsigned version, std::size_t wcdmaCells, std::size_t gsmCells);

// Writes a whole cell list log frame. The counts are the number of records given; the fields a
// version does not have are left out. Returns its size, or 0 (nothing written) for a version
// other than 0..2, more than 63 records of a kind, or a frame that does not fit into `out`.
std::size_t WriteCellList(std::span<std::uint8_t> out, unsigned version, std::int64_t stamp,
                          std::span<const WcdmaCellRecord> wcdma,
                          std::span<const GsmCellRecord> gsm);

// --- SAR/PA report, log code 0x117C: log record length 0x1C (a 32-byte frame).
inline constexpr std::uint8_t kSarPaRecordLength = 0x1C;
inline constexpr std::size_t kSarPaFrameSize = 32;
inline constexpr std::size_t kSarLevelOffset = 25;
inline constexpr std::size_t kPaValueOffset = 29;

// --- Log configuration (command 0x73), little-endian:
//   0      0x73, bytes 1..3 zero
//   4..7   operation: 0 switches every log off, 3 sets the mask of one equipment
//   8..11  equipment (log code >> 12)                  } operation 3 only
//   12..15 number of mask bits N                      }
//   16..   ceil(N/8) mask bytes; bit k (lowest first) selects log code equipment x 0x1000 + k
inline constexpr std::uint8_t kLogConfigCommand = 0x73;
inline constexpr std::size_t kLogConfigOperationOffset = 4;
inline constexpr std::uint32_t kLogConfigOpDisable = 0;
inline constexpr std::uint32_t kLogConfigOpItemCounts = 1;
inline constexpr std::uint32_t kLogConfigOpSetMask = 3;
inline constexpr std::size_t kLogConfigEquipmentOffset = 8;
inline constexpr std::size_t kLogConfigBitsOffset = 12;
inline constexpr std::size_t kLogConfigMaskOffset = 16;

// The operation of a log-configuration request, or nothing when `payload` is not one.
std::optional<std::uint32_t> LogConfigOperation(std::span<const std::uint8_t> payload);

struct LogMask {
    std::uint32_t equipment = 0;
    std::uint32_t bits = 0;
    std::span<const std::uint8_t> mask;  // ceil(bits / 8) bytes

    bool Selects(std::uint16_t code) const;
};

// The mask of a set-mask request (operation 3), or nothing when `payload` is not one or does not
// hold the ceil(N/8) mask bytes its bit count declares. Bytes after the mask are not looked at.
std::optional<LogMask> ParseLogMaskSet(std::span<const std::uint8_t> payload);

// Writes a set-mask request of `bits` mask bits selecting `codes`; returns its size, or 0 when it
// does not fit into `out` or a code is not of `equipment` or beyond the mask.
std::size_t BuildLogMaskSet(std::uint32_t equipment, std::uint32_t bits,
                            std::span<const std::uint16_t> codes, std::span<std::uint8_t> out);

// Answers of operations 1 and 3: 0x73, three zero bytes, the operation, then a status (0 is
// success) at 8. Operation 1's answer then holds the item count N of each of the 16 equipment
// ids (u32 each, 76 bytes in all); a set-mask request for an id sends N as its bit count, and
// an item at or beyond N cannot be switched on. Operation 3's answer echoes equipment, N and
// the ceil(N/8) mask bytes now in force, the modem's N possibly below the one sent.
inline constexpr std::size_t kLogConfigStatusOffset = 8;
inline constexpr std::size_t kLogConfigItemCountsOffset = 12;
inline constexpr std::size_t kLogConfigEquipmentCount = 16;
inline constexpr std::size_t kLogConfigItemCountsSize =
    kLogConfigItemCountsOffset + 4 * kLogConfigEquipmentCount;
inline constexpr std::size_t kLogConfigItemCountsRequestSize = 8;
inline constexpr std::size_t kLogConfigSetAnswerMaskOffset = 20;

using LogItemCounts = std::array<std::uint32_t, kLogConfigEquipmentCount>;

// Writes the item-count request (operation 1, 8 bytes); returns its size, or 0 when it does not
// fit into `out`.
std::size_t BuildLogItemCountsRequest(std::span<std::uint8_t> out);

// The item counts of a successful operation 1 answer, or nothing when `payload` is not one (other
// command or operation, non-zero status, shorter than 76 bytes).
std::optional<LogItemCounts> ParseLogItemCounts(std::span<const std::uint8_t> payload);

// The mask in force from a successful operation 3 answer, or nothing when `payload` is not one
// or does not hold the ceil(N/8) mask bytes its N declares.
std::optional<LogMask> ParseLogMaskSetAnswer(std::span<const std::uint8_t> payload);

// The status of a log-configuration answer (0: success), or nothing when `payload` is none or
// ends before its status.
std::optional<std::uint32_t> LogConfigStatus(std::span<const std::uint8_t> payload);

}  // namespace norvane
