#include "session/capture.h"

#include <fcntl.h>
#include <netdb.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace norvane {
namespace {

constexpr int kLinkTypeIpv4 = 228;  // DLT_IPV4: packets begin with their IPv4 header
constexpr int kSnapLength = 0xFFFF;
constexpr std::size_t kPendingLimit = 256 * 1024;  // flush when this much is gathered
constexpr std::size_t kPendingPackets = 4096;      // or this many packets
constexpr std::size_t kRawPiece = 64 * 1024;
constexpr const char* kDefaultGsmtapHost = "127.0.0.1";
// First four bytes of the capture formats, as read on a little-endian host or written on one.
constexpr std::uint32_t kPcapMagicMicro = 0xA1B2C3D4;
constexpr std::uint32_t kPcapMagicNano = 0xA1B23C4D;
constexpr std::uint32_t kPcapngMagic = 0x0A0D0D0A;  // section header block type, a palindrome
// Link layers a GSMTAP capture taken on the loopback device may come with.
constexpr std::size_t kEthernetHeaderSize = 14;
constexpr std::size_t kLinuxCookedHeaderSize = 16;

// Case does not matter: "DRIVE.PCAP" is a pcap capture too.
bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           std::equal(
               text.end() - static_cast<std::ptrdiff_t>(suffix.size()), text.end(), suffix.begin(),
               [](char t, char s) { return std::tolower(static_cast<unsigned char>(t)) == s; });
}

CaptureError Error(CaptureError::Kind kind, std::string message) {
    return CaptureError{kind, std::move(message)};
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

// ---- CaptureWriter

std::unique_ptr<CaptureWriter> CaptureWriter::Create(const std::string& path, CaptureError& error) {
    error = {};
    CaptureFormat format;
    if (EndsWith(path, ".pcap")) {
        format = CaptureFormat::kPcap;
    } else if (EndsWith(path, ".bin")) {
        format = CaptureFormat::kRaw;
    } else {
        error = Error(CaptureError::Kind::kUnknownFormat,
                      "Cannot record to " + path + ": the name must end in .pcap or .bin");
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = Error(CaptureError::Kind::kCannotCreate,
                      "Cannot record to " + path + ": " + std::strerror(errno));
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
            error =
                Error(CaptureError::Kind::kCannotCreate, "Cannot record to " + path + ": " + why);
            return nullptr;
        }
        pcap_dump_flush(writer->dumper_);
        writer->boundaries_.push_back(writer->pending_.size());  // the file header
        if (CaptureError e = writer->Flush()) {
            error = Error(CaptureError::Kind::kCannotCreate, e.message);
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

bool CaptureWriter::recording() const {
    std::lock_guard lock(mutex_);
    return !stopped_;
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
    return Error(CaptureError::Kind::kWriteFailed,
                 "Recording to " + path_ + " stopped: " + std::strerror(why));
}

// ---- GsmtapSender

std::unique_ptr<GsmtapSender> GsmtapSender::Create(const std::string& target, CaptureError& error) {
    error = {};
    std::string host = target;
    std::string port = std::to_string(kGsmtapUdpPort);
    const auto bad = [&](const std::string& why) {
        error = Error(CaptureError::Kind::kBadAddress,
                      "Cannot send GSMTAP to \"" + target + "\": " + why);
        return nullptr;
    };
    if (!host.empty() && host.front() == '[') {  // [IPv6]:PORT
        const std::size_t close = host.find(']');
        if (close == std::string::npos || (close + 1 < host.size() && host[close + 1] != ':')) {
            return bad("expected [ADDRESS]:PORT");
        }
        if (close + 1 < host.size()) {
            port = host.substr(close + 2);
        }
        host = host.substr(1, close - 1);
    } else if (std::count(host.begin(), host.end(), ':') == 1) {
        port = host.substr(host.find(':') + 1);
        host = host.substr(0, host.find(':'));
    }
    if (host.empty()) {
        host = kDefaultGsmtapHost;
    }
    const bool digits =
        !port.empty() && port.size() <= 5 &&
        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || std::stoi(port) < 1 || std::stoi(port) > 65535) {
        return bad("port must be a number from 1 to 65535");
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        return bad(gai_strerror(rc));
    }
    const int fd = ::socket(found->ai_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // Connected, so each datagram needs no address; ICMP errors from a missing listener are
    // ignored by Send().
    const bool ok = fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) == 0;
    const int why = errno;
    freeaddrinfo(found);
    if (!ok) {
        if (fd >= 0) {
            ::close(fd);
        }
        return bad(std::strerror(why));
    }
    return std::unique_ptr<GsmtapSender>(new GsmtapSender(fd));
}

GsmtapSender::~GsmtapSender() {
    ::close(fd_);
}

void GsmtapSender::Send(FrameDirection direction, std::span<const std::uint8_t> payload) {
    auto header = GsmtapHeader(direction);
    iovec parts[2] = {{header.data(), header.size()},
                      {const_cast<std::uint8_t*>(payload.data()), payload.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    if (::sendmsg(fd_, &message, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
    }
}

// ---- CaptureReader

std::unique_ptr<CaptureReader> CaptureReader::Open(const std::string& path, CaptureError& error) {
    error = {};
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) {
        error = Error(CaptureError::Kind::kCannotOpen, path + ": " + std::strerror(errno));
        return nullptr;
    }
    std::uint8_t magic[4] = {};
    const std::size_t got = std::fread(magic, 1, sizeof magic, file);
    std::rewind(file);
    std::uint32_t le = 0;
    std::uint32_t be = 0;
    for (std::size_t i = 0; i < got; ++i) {
        le |= static_cast<std::uint32_t>(magic[i]) << (8 * i);
        be = (be << 8) | magic[i];
    }
    CaptureFormat format = CaptureFormat::kRaw;
    if (got == 4 && (le == kPcapMagicMicro || be == kPcapMagicMicro || le == kPcapMagicNano ||
                     be == kPcapMagicNano)) {
        format = CaptureFormat::kPcap;
    } else if (got == 4 && le == kPcapngMagic) {
        format = CaptureFormat::kPcapng;
    }
    std::unique_ptr<CaptureReader> reader(new CaptureReader(path, format, file));
    if (format == CaptureFormat::kRaw) {
        reader->buffer_.resize(kRawPiece);
        return reader;
    }
    char why[PCAP_ERRBUF_SIZE] = {};
    // libpcap owns the file from here and closes it with the handle.
    reader->file_ = nullptr;
    reader->pcap_ = pcap_fopen_offline_with_tstamp_precision(file, PCAP_TSTAMP_PRECISION_NANO, why);
    if (reader->pcap_ == nullptr) {
        std::fclose(file);
        error = Error(CaptureError::Kind::kBadCapture, path + ": not a readable capture: " + why);
        return nullptr;
    }
    switch (pcap_datalink(reader->pcap_)) {
        case DLT_RAW:
        case kLinkTypeIpv4:
            reader->linkHeader_ = 0;
            break;
        case DLT_EN10MB:  // Wireshark on the loopback device
            reader->linkHeader_ = kEthernetHeaderSize;
            break;
        case DLT_LINUX_SLL:  // Wireshark on "any"
            reader->linkHeader_ = kLinuxCookedHeaderSize;
            break;
        default:
            error = Error(CaptureError::Kind::kBadCapture,
                          path + ": link type " + std::to_string(pcap_datalink(reader->pcap_)) +
                              " is not raw IPv4, Ethernet or Linux cooked");
            return nullptr;
    }
    return reader;
}

CaptureReader::CaptureReader(std::string path, CaptureFormat format, std::FILE* file)
    : path_(std::move(path)), format_(format), file_(file) {}

CaptureReader::~CaptureReader() {
    if (pcap_ != nullptr) {
        pcap_close(pcap_);
    }
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

CaptureReader::Status CaptureReader::Next(Packet& packet, CaptureError& error) {
    error = {};
    packet = {};
    if (format_ == CaptureFormat::kRaw) {
        const std::size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        if (n > 0) {
            packet.bytes = {buffer_.data(), n};
            return Status::kPacket;
        }
        if (std::ferror(file_) != 0) {
            error = Error(CaptureError::Kind::kBadCapture, path_ + ": " + std::strerror(errno));
            return Status::kError;
        }
        return Status::kEnd;
    }
    for (;;) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int rc = pcap_next_ex(pcap_, &header, &data);
        if (rc == PCAP_ERROR_BREAK) {
            return Status::kEnd;
        }
        if (rc != 1) {
            error = Error(CaptureError::Kind::kBadCapture,
                          path_ + ": damaged capture: " + pcap_geterr(pcap_));
            return Status::kError;
        }
        std::span<const std::uint8_t> bytes(data, header->caplen);
        bool ipv4 = bytes.size() >= linkHeader_;
        if (ipv4 && linkHeader_ != 0) {
            // The protocol type is the last two bytes of both link headers (0x0800: IPv4).
            ipv4 = bytes[linkHeader_ - 2] == 0x08 && bytes[linkHeader_ - 1] == 0x00;
        }
        const GsmtapFrame frame =
            ipv4 ? ParseGsmtapPacket(bytes.subspan(linkHeader_)) : GsmtapFrame{};
        if (frame.check != GsmtapCheck::kOk &&
            !(frame.check == GsmtapCheck::kPosition && keepPositions_)) {
            ++skipped_;
            continue;
        }
        packet.hasTime = true;
        // Opened with nanosecond precision: tv_usec holds nanoseconds for every file.
        packet.time = CaptureTime(std::chrono::duration_cast<CaptureClock::duration>(
            std::chrono::seconds(header->ts.tv_sec) +
            std::chrono::nanoseconds(header->ts.tv_usec)));
        packet.direction = frame.direction;
        packet.bytes = frame.payload;
        packet.position = frame.check == GsmtapCheck::kPosition;
        return Status::kPacket;
    }
}

// ---- CaptureRecorder

CaptureRecorder::CaptureRecorder(std::unique_ptr<CaptureWriter> writer,
                                 std::unique_ptr<GsmtapSender> sender, FailureSink onFailure)
    : writer_(std::move(writer)), sender_(std::move(sender)), onFailure_(std::move(onFailure)) {}

void CaptureRecorder::OnRead(CaptureTime time, std::span<const std::uint8_t> bytes) {
    if (writer_ != nullptr) {
        Report(writer_->WriteRead(time, bytes));
    }
}

void CaptureRecorder::OnFrame(CaptureTime time, FrameDirection direction,
                              std::span<const std::uint8_t> payload) {
    if (writer_ != nullptr) {
        Report(writer_->WriteFrame(time, direction, payload));
    }
    if (sender_ != nullptr) {
        sender_->Send(direction, payload);
    }
}

void CaptureRecorder::OnPosition(CaptureTime time, std::string_view line) {
    if (writer_ != nullptr) {
        Report(writer_->WritePosition(time, line));
    }
}

void CaptureRecorder::Flush() {
    if (writer_ != nullptr) {
        Report(writer_->Flush());
    }
}

void CaptureRecorder::Report(CaptureError error) {
    if (error && onFailure_) {
        onFailure_(error);
    }
}

}  // namespace norvane
