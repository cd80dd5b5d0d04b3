#include "capture/reader.h"

#include <pcap/pcap.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace norvane {
namespace {

constexpr std::size_t kRawPiece = 64 * 1024;
// First four bytes of the capture formats, as read on a little-endian host or written on one.
constexpr std::uint32_t kPcapMagicMicro = 0xA1B2C3D4;
constexpr std::uint32_t kPcapMagicNano = 0xA1B23C4D;
constexpr std::uint32_t kPcapngMagic = 0x0A0D0D0A;  // section header block type, a palindrome
// Link layers a GSMTAP capture taken on the loopback device may come with: the header's size and
// where in it the protocol type (0x0800: IPv4) stands.
struct LinkLayer {
    std::size_t size, protocolAt;
};
constexpr LinkLayer kRawIpv4{0, 0};
constexpr LinkLayer kEthernet{14, 12};
constexpr LinkLayer kLinuxCooked{16, 14};  // Wireshark on "any"
constexpr LinkLayer kLinuxCooked2{20, 0};  // tcpdump on "any"
#ifndef DLT_LINUX_SLL2
#define DLT_LINUX_SLL2 276
#endif

}  // namespace

std::unique_ptr<CaptureReader> CaptureReader::Open(const std::string& path, CaptureError& error) {
    error = {};
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) {
        error = CaptureError{CaptureError::Kind::kCannotOpen, path + ": " + std::strerror(errno)};
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
        error = CaptureError{CaptureError::Kind::kBadCapture,
                             path + ": not a readable capture: " + why};
        return nullptr;
    }
    switch (pcap_datalink(reader->pcap_)) {
        case DLT_RAW:
        case kLinkTypeIpv4:
            reader->linkHeader_ = kRawIpv4.size;
            break;
        case DLT_EN10MB:  // Wireshark on the loopback device
            reader->linkHeader_ = kEthernet.size;
            reader->protocolAt_ = kEthernet.protocolAt;
            break;
        case DLT_LINUX_SLL:
            reader->linkHeader_ = kLinuxCooked.size;
            reader->protocolAt_ = kLinuxCooked.protocolAt;
            break;
        case DLT_LINUX_SLL2:
            reader->linkHeader_ = kLinuxCooked2.size;
            reader->protocolAt_ = kLinuxCooked2.protocolAt;
            break;
        default:
            error =
                CaptureError{CaptureError::Kind::kBadCapture,
                             path + ": link type " + std::to_string(pcap_datalink(reader->pcap_)) +
                                 " is not raw IPv4, Ethernet or Linux cooked (v1 or v2)"};
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
            error =
                CaptureError{CaptureError::Kind::kBadCapture, path_ + ": " + std::strerror(errno)};
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
            error = CaptureError{CaptureError::Kind::kBadCapture,
                                 path_ + ": damaged capture: " + pcap_geterr(pcap_)};
            return Status::kError;
        }
        std::span<const std::uint8_t> bytes(data, header->caplen);
        bool ipv4 = bytes.size() >= linkHeader_;
        if (ipv4 && linkHeader_ != 0) {
            ipv4 = bytes[protocolAt_] == 0x08 && bytes[protocolAt_ + 1] == 0x00;
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

}  // namespace norvane
