#include "capture/gsmtap_sender.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace norvane {
namespace {

constexpr const char* kDefaultGsmtapHost = "127.0.0.1";

}  // namespace

std::unique_ptr<GsmtapSender> GsmtapSender::Create(const std::string& target, CaptureError& error) {
    error = {};
    std::string host = target;
    std::string port = std::to_string(kGsmtapUdpPort);
    const auto bad = [&](const std::string& why) {
        error = CaptureError{CaptureError::Kind::kBadAddress,
                             "Cannot send GSMTAP to \"" + target + "\": " + why};
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
    SendParts(GsmtapHeader(direction), payload);
}

void GsmtapSender::SendSignalling(const SignallingMessage& message) {
    if (const auto header = SignallingGsmtapHeader(message)) {
        SendParts(*header, message.pdu);
    }
}

void GsmtapSender::SendParts(std::span<const std::uint8_t> header,
                             std::span<const std::uint8_t> payload) {
    iovec parts[2] = {{const_cast<std::uint8_t*>(header.data()), header.size()},
                      {const_cast<std::uint8_t*>(payload.data()), payload.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    // With no socket listening (Wireshark only captures), each datagram draws an ICMP answer
    // that the next send reports as ECONNREFUSED without sending: that send is tried once more,
    // or every other datagram would be lost. Otherwise not looked at: a full socket buffer
    // (EAGAIN) loses this datagram only.
    if (::sendmsg(fd_, &message, MSG_DONTWAIT | MSG_NOSIGNAL) < 0 && errno == ECONNREFUSED) {
        (void)::sendmsg(fd_, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    }
}

}  // namespace norvane
