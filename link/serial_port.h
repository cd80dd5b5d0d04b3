// The serial channel to the modem's diagnostic port: open and configure it, read what the modem
// sent (as it comes, or up to a chunk that ends in a frame's closing byte), write frames.
//
// Errors in link: a call that can fail reports why as the errno of the system or libudev call
// that failed, typed, never as a bare -1: opening a port gives a PortError (step, errno, path),
// starting a watch a std::error_code (empty when it started). A read gives a ReadResult (what it
// found and how many bytes it stored), a write whether it wrote everything; a port that went away
// also says so in Gone(). Discovery lists what it can read
// and leaves out what it cannot. A descriptor not in use is -1, as poll() takes it. close()'s
// result is nowhere looked at: on Linux the descriptor is released whatever it returns.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace norvane {

// Why a port did not open. The channel reports the cause only; the session words it.
struct PortError {
    enum class Step {
        kOpen,       // open() failed
        kLock,       // another program holds the port (flock)
        kTerminal,   // not a terminal, or it did not take the line settings (termios)
        kWakeEvent,  // no eventfd to wake a pending read
    };
    Step step = Step::kOpen;
    int err = 0;       // errno of the failed call
    std::string path;  // the device path tried
};

// What a read found.
enum class ReadStatus : std::uint8_t {
    kData,      // bytes were stored
    kSilence,   // nothing (or, for ReadFrame, no whole frame) came in time; also on a closed port
    kWoken,     // Wake() ended it
    kOverflow,  // ReadFrame: the frame did not end within the buffer; what was read is dropped
    kGone,      // the device went away (hang-up, EIO, ENXIO, ENODEV, end of file); see Gone()
};

struct ReadResult {
    ReadStatus status = ReadStatus::kSilence;
    std::size_t length = 0;  // bytes stored from dest[0]; 0 unless kData
};

// The device path a port list entry opens: the text before the first " - " (empty when there
// is none), with "/dev/" in front unless it begins with '/'.
std::string PortDevicePath(std::string_view portListEntry);

// An open port: the tty descriptor, locked for this process alone, and an eventfd that wakes a
// pending read. Move-only; the destructor closes both. A default-constructed port is closed.
class SerialPort {
  public:
    // Opens and configures `devicePath`. On failure the result is closed and `error` says why.
    static SerialPort Open(const std::string& devicePath, PortError& error);

    SerialPort() = default;
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort() { Close(); }

    bool IsOpen() const { return fd_ >= 0; }

    // Reads one frame into `dest`: waits 500 ms, then collects chunks until one ends in
    // `frameEnd` (kData with its length). kSilence when no such chunk came within 500 ms of the
    // last (a partial frame is given up), kOverflow when the bytes would pass `dest`, kWoken,
    // kGone. On a closed port it waits 500 ms and gives kSilence. A poll() that fails is taken
    // as silence, after the time it would have waited.
    ReadResult ReadFrame(std::span<std::uint8_t> dest, std::uint8_t frameEnd) const;

    // Waits for bytes (at most 500 ms, no pause before) and stores what has come, up to
    // dest.size(), from dest[0] (kData). Otherwise kSilence, kWoken or kGone, as ReadFrame.
    // Nothing read is ever given up.
    ReadResult Read(std::span<std::uint8_t> dest) const;

    // True once a read found the device gone (hang-up, EIO, ENXIO, ENODEV, end of file): the
    // modem was unplugged, reset or its simulator ended. Stays true for this descriptor, which
    // will never deliver again. Thread-safe.
    bool Gone() const { return gone_.load(std::memory_order_acquire); }

    // Writes exactly `bytes` within 50 ms + 1 ms per byte. False on a closed port.
    bool Write(std::span<const std::uint8_t> bytes) const;

    // Makes a read in progress, and every later one, return 0 at once. Thread-safe.
    void Wake() const;
    // Undoes Wake(), so that reads wait for data again. Only while no read runs.
    void ClearWake() const;

    // No thread may be reading (wake it and join the reader first).
    void Close();

  private:
    SerialPort(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}
    ReadResult MarkGone() const;
    // Waits up to 500 ms for the tty or the wake; kData when the tty is readable.
    ReadStatus WaitReadable() const;

    int fd_ = -1;      // the tty, non-blocking, locked with flock and TIOCEXCL
    int wakeFd_ = -1;  // eventfd; once written it stays readable and ends every read at once
    mutable std::atomic<bool> gone_{false};
};

}  // namespace norvane
