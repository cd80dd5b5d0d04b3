// The capture writer: one .pcap or .bin file, written from the receive thread and the thread
// that sends commands (see capture.h for the formats and how failures are reported).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture.h"
#include "diag/gsmtap.h"
#include "diag/log_decoder.h"

typedef struct pcap pcap_t;
typedef struct pcap_dumper pcap_dumper_t;

namespace norvane {

// When the signalling message of `frame` went: the modem's time of day where the frame's stamp
// holds one, else `fallback` (the frame's time).
inline CaptureTime MessageTime(const DecodedLogFrame& frame, CaptureTime fallback) {
    return frame.hasModemTime ? CaptureTime(std::chrono::milliseconds(frame.modemTimeUnixMs))
                              : fallback;
}

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
    // A signalling message as a GSMTAP packet Wireshark decodes (diag/gsmtap.h): kept by pcap
    // captures; one GSMTAP has no type for is passed over.
    CaptureError WriteSignalling(CaptureTime time, const SignallingMessage& message);
    // A position line as the monitor printed it: kept by pcap captures (diag/gsmtap.h).
    CaptureError WritePosition(CaptureTime time, std::string_view line);
    CaptureError Flush();

    CaptureFormat format() const { return format_; }

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

}  // namespace norvane
