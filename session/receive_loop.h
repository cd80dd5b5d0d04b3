// The body of the receive thread: wait for bytes on the open port, hand every byte read to the
// deframer at once, decode the frames, hand each report on in the order the frames arrived.
// Nothing read is thrown away: a frame split across reads is joined by the deframer, and a frame
// too long for its buffer is counted (overflow) and dropped up to the next flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "link/serial_port.h"
#include "session/sinks.h"

namespace norvane {

class FrameRecorder;
class LogConfigAnswers;

// Counts of what the loop has seen, for tools and tests; readable from any thread.
struct ReceiveStats {
    std::atomic<std::uint64_t> reads{0};
    std::atomic<std::uint64_t> bytes{0};  // read from the port
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> reports{0};
    std::atomic<std::uint64_t> badFcs{0};
    std::atomic<std::uint64_t> overflow{0};
    std::atomic<std::uint64_t> other{0};
    std::atomic<std::uint64_t> unknownVersion{0};  // known packets of a version not decoded
};

// What RunReceiveLoop returns.
inline constexpr std::uint32_t kLoopNoPort = 0;    // not open at the start ("Error OpenComPort")
inline constexpr std::uint32_t kLoopStopped = 1;   // `reading` was cleared
inline constexpr std::uint32_t kLoopPortGone = 2;  // the device went away (SerialPort::Gone)

// Reads `port` while `reading` is true and the port has not gone. Returns kLoopNoPort when the
// port was not open at its start (after the "Error OpenComPort" message), kLoopStopped when it
// ended because `reading` was cleared, kLoopPortGone when a read found the device gone.
// With a `recorder`, every read's bytes and every checked frame go to it, stamped at the read.
// Log-config answers (0x73) go to `answers`, for the session waiting for them. `order` is held
// from a frame's recording to the end of its report's hand-on, so that a position line recorded
// and shown under it falls between two frames in the recording and the reports alike.
std::uint32_t RunReceiveLoop(const SerialPort& port, const std::atomic<bool>& reading,
                             ReportSink& reports, MessageSink& messages,
                             ReceiveStats* stats = nullptr, FrameRecorder* recorder = nullptr,
                             LogConfigAnswers* answers = nullptr, std::mutex* order = nullptr);

}  // namespace norvane
