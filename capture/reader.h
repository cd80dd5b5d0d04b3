// The capture reader: raw streams, pcap and pcapng, packet by packet (see capture.h for the
// formats and how failures are reported).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "diag/gsmtap.h"

typedef struct pcap pcap_t;

namespace norvane {

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
    std::size_t protocolAt_ = 0;  // where the link header's protocol type stands, when it has one
    std::size_t skipped_ = 0;
    bool keepPositions_ = false;
    std::vector<std::uint8_t> buffer_;  // raw streams
};

}  // namespace norvane
