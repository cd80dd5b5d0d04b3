// The serial channel to the modem's diagnostic port: open and configure it, read whole frames
// (everything up to a chunk that ends in 0x7E), write frames.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "diag/hdlc.h"
#include "link/messages.h"

namespace norvane {

// An open port: the tty descriptor and an eventfd that wakes a pending read. Opaque to callers.
struct ComPort;

// The one open modem port of the process, or nullptr.
extern std::atomic<ComPort*> g_hComPort;

// The fixed failure messages (first lines; the open failure gets a second line with the
// system's reason) and their caption.
inline constexpr std::string_view kNoMobilePortText = "          No Mobile Port !          ";
inline constexpr std::string_view kOpenErrorText = "Error while opening ComPort";
inline constexpr std::string_view kHandleErrorText = "Error Handle the error while opening ComPort";
inline constexpr std::string_view kErrorCaption = "Error";

// The device path a port list entry opens: the text before the first " - " (empty when there
// is none), with "/dev/" in front unless it begins with '/'.
std::string PortDevicePath(std::string_view portListEntry);

// Opens and configures the port named by a port list entry (`device - description`). On
// failure shows one of the three messages through `messages` and returns nullptr.
ComPort* OpenComPort(std::string_view portListEntry, MessageSink& messages);

// Reads one frame into `dest`: waits 500 ms, then collects chunks until one ends in 0x7E.
// Returns the number of bytes stored from dest[0], or 0 when nothing came within 500 ms, the
// port failed or went away, the bytes would pass the buffer, or the port was woken.
int ReadComFrame(ComPort* port, std::span<std::uint8_t, kFrameBufferSize> dest);

// Writes exactly `bytes` (at most kFrameBufferSize) within 50 ms + 1 ms per byte.
bool WriteComFrame(ComPort* port, std::span<const std::uint8_t> bytes);

// Makes a read in progress on `port`, and every later one, return 0 at once. Thread-safe.
void WakeComPort(ComPort* port);

// Undoes WakeComPort, so that reads on `port` wait for data again. Only while no read runs.
void ClearComPortWake(ComPort* port);

// Closes the port. No thread may be using it (wake it and join the reader first).
void CloseComPort(ComPort* port);

}  // namespace norvane
