// Captures of what went over the modem's diagnostic port: writing them while monitoring,
// sending them live to Wireshark, and reading them back.
//
// Two file formats, chosen by the file name's extension when writing:
//   .pcap  libpcap file, link type raw IPv4 (228), one GSMTAP packet per checked frame in both
//          directions (diag/gsmtap.h), time stamps in microseconds UTC;
//   .bin   the bytes exactly as read from the port (the modem's side only), no times.
// Reading also takes pcapng, nanosecond pcap and either byte order, told apart by the first bytes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "diag/gsmtap.h"

typedef struct pcap pcap_t;
typedef struct pcap_dumper pcap_dumper_t;

namespace norvane {

using CaptureClock = std::chrono::system_clock;
using CaptureTime = CaptureClock::time_point;

// A failure the owner shows to the user: one line, naming the file or address.
struct CaptureError {
    enum class Kind : std::uint8_t {
        kNone,
        kUnknownFormat,
        kCannotCreate,
        kCannotOpen,
        kWriteFailed,
        kBadAddress,
        kBadCapture
    };
    Kind kind = Kind::kNone;
    std::string message;
    explicit operator bool() const { return kind != Kind::kNone; }
};

enum class CaptureFormat : std::uint8_t { kRaw, kPcap, kPcapng };

// Writes one capture file. Safe to call from several threads (the receive thread records what
// was read, the UI thread what was written). Packets are gathered in memory and reach the file
// when Flush() is called (the owner calls it from a timer a little more often than once a
// second, so that packets reach the disk at least every second with one write), when a quarter
// of a megabyte has gathered, and on destruction. The file is written outside the lock that
// recording a packet takes, so a slow disk never holds the receive thread.
//
// A write that fails (disk full, file size limit) is returned once, by the call that met it;
// recording then stops, later calls do nothing, and the file is cut back to the end of its last
// whole packet, so it stays a valid capture. Nothing here throws.
class CaptureWriter {
  public:
    static std::unique_ptr<CaptureWriter> Create(const std::string& path, CaptureError& error);
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Bytes as read from the port: kept by raw captures, ignored by pcap.
    CaptureError WriteRead(CaptureTime time, std::span<const std::uint8_t> bytes);
    // One frame that passed its check sequence, unescaped, without CRC: kept by pcap captures.
    CaptureError WriteFrame(CaptureTime time, FrameDirection direction,
                            std::span<const std::uint8_t> payload);
    // A position line as the monitor printed it: kept by pcap captures (diag/gsmtap.h).
    CaptureError WritePosition(CaptureTime time, std::string_view line);
    CaptureError Flush();

    CaptureFormat format() const { return format_; }
    bool recording() const;

  private:
    CaptureWriter(std::string path, CaptureFormat format, int fd);
    bool Append(std::span<const std::uint8_t> bytes);  // cookie write target
    // Flush() when a quarter of a megabyte has gathered; called with `lock` on mutex_, which it
    // releases.
    CaptureError FlushIfFull(std::unique_lock<std::mutex>& lock);
    // Writes out_ to the file; with fileMutex_ held, not mutex_.
    CaptureError WriteOut();
    // Builds a packet into packet_ with `build` (its length, 0: none) and gathers it.
    template <typename Build>
    CaptureError Dump(CaptureTime time, Build build);

    const std::string path_;
    const CaptureFormat format_;
    // mutex_ guards what is gathered (pending_, boundaries_, stopped_) and is all the receive
    // thread takes while the buffer has room; the file is written under fileMutex_ alone, from
    // out_, which a flush swaps with pending_. Order: fileMutex_ before mutex_.
    mutable std::mutex mutex_;
    std::mutex fileMutex_;
    std::vector<std::uint8_t> out_;             // being written; capacity as pending_'s
    std::vector<std::uint64_t> outBoundaries_;  // packet ends inside out_
    int fd_ = -1;
    pcap_t* pcap_ = nullptr;
    std::FILE* stream_ = nullptr;            // what libpcap writes to: appends to pending_
    pcap_dumper_t* dumper_ = nullptr;        // libpcap's writer over stream_
    std::vector<std::uint8_t> pending_;      // not yet in the file; capacity fixed at creation
    std::vector<std::uint64_t> boundaries_;  // packet ends inside pending_, capacity fixed
    std::uint64_t written_ = 0;              // bytes in the file, always at a packet end
    bool stopped_ = false;
    std::uint8_t packet_[0xFFFF]{};  // the largest IPv4 packet
};

// Sends one GSMTAP datagram per frame to HOST[:PORT] (default 127.0.0.1:4729). Never blocks;
// a datagram that cannot be sent is counted and dropped.
class GsmtapSender {
  public:
    // `target`: "" for the default, "HOST", "HOST:PORT", "[IPv6]:PORT"; names are resolved.
    static std::unique_ptr<GsmtapSender> Create(const std::string& target, CaptureError& error);
    ~GsmtapSender();
    GsmtapSender(const GsmtapSender&) = delete;
    GsmtapSender& operator=(const GsmtapSender&) = delete;

    void Send(FrameDirection direction, std::span<const std::uint8_t> payload);
    std::size_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

  private:
    explicit GsmtapSender(int fd) : fd_(fd) {}
    const int fd_;
    std::atomic<std::size_t> dropped_{0};
};

// Reads a capture packet by packet. Packets that are not GSMTAP DIAG are skipped and counted.
// Next() allocates nothing: the payload points into the reader's buffers and stays valid until
// the next call.
class CaptureReader {
  public:
    struct Packet {
        bool hasTime = false;  // raw captures have no times
        CaptureTime time{};
        FrameDirection direction = FrameDirection::kFromModem;
        std::span<const std::uint8_t> bytes;  // a frame's payload, or a piece of a raw stream
        bool position = false;  // `bytes` is a position line (only with KeepPositions)
    };
    enum class Status { kPacket, kEnd, kError };

    static std::unique_ptr<CaptureReader> Open(const std::string& path, CaptureError& error);
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // kError leaves a one-line reason in `error`; the packets before it were good.
    Status Next(Packet& packet, CaptureError& error);
    CaptureFormat format() const { return format_; }
    std::size_t skipped() const { return skipped_; }
    // Positions recorded with the frames are returned too, not skipped.
    void KeepPositions() { keepPositions_ = true; }

  private:
    CaptureReader(std::string path, CaptureFormat format, std::FILE* file);
    const std::string path_;
    const CaptureFormat format_;
    std::FILE* file_ = nullptr;  // raw streams
    pcap_t* pcap_ = nullptr;
    std::size_t linkHeader_ = 0;  // bytes in front of the IPv4 packet
    std::size_t skipped_ = 0;
    bool keepPositions_ = false;
    std::vector<std::uint8_t> buffer_;  // raw streams
};

// What the monitoring session tells about the port's traffic.
class FrameRecorder {
  public:
    virtual ~FrameRecorder() = default;
    // Bytes as they came from the port, in order (receive thread).
    virtual void OnRead(CaptureTime time, std::span<const std::uint8_t> bytes) = 0;
    // A frame that passed its check sequence, read or about to be written, unescaped, no CRC.
    virtual void OnFrame(CaptureTime time, FrameDirection direction,
                         std::span<const std::uint8_t> payload) = 0;
};

// Records to a capture file and/or sends live GSMTAP. A failing file is reported once to
// `onFailure` (from the thread that met it); monitoring and the live datagrams go on.
class CaptureRecorder final : public FrameRecorder {
  public:
    using FailureSink = std::function<void(const CaptureError&)>;
    CaptureRecorder(std::unique_ptr<CaptureWriter> writer, std::unique_ptr<GsmtapSender> sender,
                    FailureSink onFailure);
    void OnRead(CaptureTime time, std::span<const std::uint8_t> bytes) override;
    void OnFrame(CaptureTime time, FrameDirection direction,
                 std::span<const std::uint8_t> payload) override;
    void OnPosition(CaptureTime time, std::string_view line);
    void Flush();  // from the owner's timer

  private:
    void Report(CaptureError error);
    const std::unique_ptr<CaptureWriter> writer_;
    const std::unique_ptr<GsmtapSender> sender_;
    const FailureSink onFailure_;
};

}  // namespace norvane
