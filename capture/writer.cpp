#include "capture/writer.h"

#include <fcntl.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace norvane {
namespace {

constexpr int kSnapLength = 0xFFFF;
constexpr std::size_t kPendingLimit = 256 * 1024;  // flush when this much is gathered
constexpr std::size_t kPendingPackets = 4096;      // or this many packets

// Case does not matter: "DRIVE.PCAP" is a pcap capture too.
bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           std::equal(
               text.end() - static_cast<std::ptrdiff_t>(suffix.size()), text.end(), suffix.begin(),
               [](char t, char s) { return std::tolower(static_cast<unsigned char>(t)) == s; });
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, std::size_t& done) {
    done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::unique_ptr<CaptureWriter> CaptureWriter::Create(const std::string& path, CaptureError& error) {
    error = {};
    CaptureFormat format;
    if (EndsWith(path, ".pcap")) {
        format = CaptureFormat::kPcap;
    } else if (EndsWith(path, ".bin")) {
        format = CaptureFormat::kRaw;
    } else {
        error = CaptureError{CaptureError::Kind::kUnknownFormat,
                             "Cannot record to " + path + ": the name must end in .pcap or .bin"};
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = CaptureError{CaptureError::Kind::kCannotCreate,
                             "Cannot record to " + path + ": " + std::strerror(errno)};
        return nullptr;
    }
    std::unique_ptr<CaptureWriter> writer(new CaptureWriter(path, format, fd));
    if (format == CaptureFormat::kPcap) {
        // libpcap writes the file's layout; its output is gathered in memory and written by
        // this class, which knows where each packet ends and can cut a failed file back.
        cookie_io_functions_t io{};
        io.write = [](void* self, const char* data, std::size_t size) -> ssize_t {
            return static_cast<CaptureWriter*>(self)->Append(
                       {reinterpret_cast<const std::uint8_t*>(data), size})
                       ? static_cast<ssize_t>(size)
                       : -1;
        };
        writer->pcap_ = pcap_open_dead(kLinkTypeIpv4, kSnapLength);
        writer->stream_ = writer->pcap_ != nullptr ? fopencookie(writer.get(), "w", io) : nullptr;
        writer->dumper_ =
            writer->stream_ != nullptr ? pcap_dump_fopen(writer->pcap_, writer->stream_) : nullptr;
        if (writer->dumper_ == nullptr) {
            const std::string why =
                writer->pcap_ != nullptr ? pcap_geterr(writer->pcap_) : "out of memory";
            error = CaptureError{CaptureError::Kind::kCannotCreate,
                                 "Cannot record to " + path + ": " + why};
            return nullptr;
        }
        pcap_dump_flush(writer->dumper_);
        writer->boundaries_.push_back(writer->pending_.size());  // the file header
        if (CaptureError e = writer->Flush()) {
            error = CaptureError{CaptureError::Kind::kCannotCreate, e.message};
            return nullptr;
        }
    }
    return writer;
}

CaptureWriter::CaptureWriter(std::string path, CaptureFormat format, int fd)
    : path_(std::move(path)), format_(format), fd_(fd) {
    for (auto* bytes : {&pending_, &out_}) {
        bytes->reserve(kPendingLimit + sizeof(packet_) + 64);
    }
    for (auto* ends : {&boundaries_, &outBoundaries_}) {
        ends->reserve(kPendingPackets);
    }
}

CaptureWriter::~CaptureWriter() {
    Flush();  // a failure now has no one left to tell
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    if (dumper_ != nullptr) {
        pcap_dump_close(dumper_);  // closes stream_
    } else if (stream_ != nullptr) {
        std::fclose(stream_);
    }
    if (pcap_ != nullptr) {
        pcap_close(pcap_);
    }
    ::close(fd_);
}

bool CaptureWriter::Append(std::span<const std::uint8_t> bytes) {
    if (stopped_) {
        return true;  // a stopped capture drops what libpcap still hands over
    }
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    return true;
}

CaptureError CaptureWriter::WriteRead(CaptureTime, std::span<const std::uint8_t> bytes) {
    if (format_ != CaptureFormat::kRaw) {
        return {};
    }
    for (std::size_t at = 0; at < bytes.size();) {
        std::unique_lock lock(mutex_);
        if (stopped_) {
            return {};
        }
        const std::size_t n = std::min(bytes.size() - at, pending_.capacity() - pending_.size());
        const auto piece = bytes.subspan(at, n);
        pending_.insert(pending_.end(), piece.begin(), piece.end());
        at += n;
        if (CaptureError e = FlushIfFull(lock)) {
            return e;
        }
    }
    return {};
}

CaptureError CaptureWriter::WriteFrame(CaptureTime time, FrameDirection direction,
                                       std::span<const std::uint8_t> payload) {
    return Dump(time, [&] { return BuildGsmtapPacket(direction, payload, packet_); });
}

CaptureError CaptureWriter::WriteSignalling(CaptureTime time, const SignallingMessage& message) {
    return Dump(time, [&] { return BuildSignallingPacket(message, packet_); });
}

CaptureError CaptureWriter::WritePosition(CaptureTime time, std::string_view line) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
    return Dump(time, [&] { return BuildPositionPacket(bytes, packet_); });
}

template <typename Build>
CaptureError CaptureWriter::Dump(CaptureTime time, Build build) {
    std::unique_lock lock(mutex_);
    if (stopped_ || format_ != CaptureFormat::kPcap) {
        return {};
    }
    std::size_t length = build();
    if (length == 0) {
        return {};  // larger than an IPv4 packet: no frame of the modem is
    }
    while (pending_.size() + length + 64 > pending_.capacity() ||
           boundaries_.size() == boundaries_.capacity()) {
        lock.unlock();
        if (CaptureError e = Flush()) {
            return e;
        }
        lock.lock();
        if (stopped_) {
            return {};
        }
        length = build();  // packet_ may have been used by another thread meanwhile.
    }
    const auto since = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(seconds.count());
    header.ts.tv_usec = static_cast<suseconds_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(since - seconds).count());
    header.caplen = header.len = static_cast<bpf_u_int32>(length);
    pcap_dump(reinterpret_cast<u_char*>(dumper_), &header, packet_);
    pcap_dump_flush(dumper_);  // into pending_, not to the file
    boundaries_.push_back(pending_.size());
    return FlushIfFull(lock);
}

CaptureError CaptureWriter::Flush() {
    const std::lock_guard file(fileMutex_);
    {
        const std::lock_guard lock(mutex_);
        if (stopped_) {
            return {};
        }
        out_.swap(pending_);
        outBoundaries_.swap(boundaries_);
    }
    return WriteOut();
}

CaptureError CaptureWriter::FlushIfFull(std::unique_lock<std::mutex>& lock) {
    const bool full = pending_.size() >= kPendingLimit;
    lock.unlock();
    return full ? Flush() : CaptureError{};
}

CaptureError CaptureWriter::WriteOut() {
    std::size_t done = 0;
    const bool ok = WriteAll(fd_, out_.data(), out_.size(), done);
    if (ok) {
        written_ += out_.size();
        out_.clear();
        outBoundaries_.clear();
        return {};
    }
    const int why = errno;
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
        pending_.clear();
        boundaries_.clear();
    }
    // Cut the file back to the end of the last packet that reached it whole. A raw stream has
    // no packets: every byte that reached the file stays.
    std::uint64_t keep = written_ + done;
    if (format_ == CaptureFormat::kPcap) {
        std::uint64_t lastWhole = 0;
        for (const std::uint64_t end : outBoundaries_) {
            if (end <= done) {
                lastWhole = end;
            }
        }
        keep = written_ + lastWhole;
    }
    if (::ftruncate(fd_, static_cast<off_t>(keep)) != 0) {
        // Nothing more can be done; the message below already says recording stopped.
    }
    out_.clear();
    outBoundaries_.clear();
    return CaptureError{CaptureError::Kind::kWriteFailed,
                        "Recording to " + path_ + " stopped: " + std::strerror(why)};
}

}  // namespace norvane
