// Serial channel on a POSIX tty (or a pty slave, which behaves the same for everything here).
#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr Ms kReadPause{500};    // the pause that opens every read
constexpr Ms kReadTimeout{500};  // silence that ends a read with nothing
constexpr Ms kWriteBase{50};     // write budget: 50 ms plus 1 ms per byte
constexpr std::string_view kDevPrefix = "/dev/";
constexpr std::string_view kEntrySeparator = " - ";

// poll() until `deadline`, resuming after signals. Returns poll's result (0 on time-out).
int PollUntil(pollfd* fds, nfds_t count, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<Ms>(deadline - Clock::now());
        const int timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        const int r = poll(fds, count, timeout);
        if (r >= 0 || errno != EINTR) {
            return r;
        }
    }
}

// Line settings: 115200 baud, 8 data bits, no parity, one stop bit, raw bytes, receiver on,
// modem lines ignored. Hardware flow control stays as the port had it. Software flow control
// is switched off: every fresh Linux tty starts with IXON, and with it the tty would swallow
// each 0x11/0x13 the modem sends (and with IXOFF insert them into our frames), which breaks
// binary DIAG frames. False, with errno, when the terminal did not take them: tcsetattr succeeds
// when any of them took, so they are read back.
bool ApplyLineSettings(int fd, termios tio) {
    const tcflag_t keptHardwareFlow = tio.c_cflag & CRTSCTS;
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL | keptHardwareFlow;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    // No line-discipline timing: poll() before each read gives the time-outs.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    termios now{};
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || tcgetattr(fd, &now) != 0) {
        return false;
    }
    // The line discipline's flags are what change bytes; a driver may keep its own hardware bits
    // in c_cflag (a USB port that has no line to set, for one).
    if (now.c_iflag != tio.c_iflag || now.c_oflag != tio.c_oflag || now.c_lflag != tio.c_lflag) {
        errno = EINVAL;
        return false;
    }
    return true;
}

}  // namespace

std::string PortDevicePath(std::string_view portListEntry) {
    const auto cut = portListEntry.find(kEntrySeparator);
    const std::string_view device =
        cut == std::string_view::npos ? std::string_view{} : portListEntry.substr(0, cut);
    if (!device.empty() && device.front() == '/') {
        return std::string(device);
    }
    return std::string(kDevPrefix) + std::string(device);
}

SerialPort SerialPort::Open(const std::string& devicePath, PortError& error) {
    auto failed = [&](PortError::Step step, int err, int fd) {
        if (fd >= 0) {
            close(fd);
        }
        error = PortError{step, err, devicePath};
        return SerialPort();
    };
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return failed(PortError::Step::kOpen, errno, -1);
    }
    // flock holds for root too, where TIOCEXCL does not.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return failed(PortError::Step::kLock, errno, fd);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return failed(PortError::Step::kTerminal, errno, fd);
    }
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        return failed(PortError::Step::kWakeEvent, errno, fd);
    }
    // A port left with IXON or cooked input would corrupt frames: one that does not take the
    // settings is not opened. The flushes only drop stale bytes; a failed one leaves bytes that
    // the frame check refuses anyway.
    tcflush(fd, TCIOFLUSH);
    if (!ApplyLineSettings(fd, tio)) {
        const int err = errno;
        close(wakeFd);
        return failed(PortError::Step::kTerminal, err, fd);
    }
    // Later opens by others fail with EBUSY (root excepted). Not looked at: the flock above
    // already keeps out every program that locks its ports.
    ioctl(fd, TIOCEXCL);
    tcflush(fd, TCIFLUSH);
    return SerialPort(fd, wakeFd);
}

SerialPort::SerialPort(SerialPort&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      wakeFd_(std::exchange(other.wakeFd_, -1)),
      gone_(other.gone_.exchange(false)) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        wakeFd_ = std::exchange(other.wakeFd_, -1);
        gone_.store(other.gone_.exchange(false));
    }
    return *this;
}

ReadStatus SerialPort::WaitReadable() const {
    const auto deadline = Clock::now() + kReadTimeout;
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int r = PollUntil(fds, 2, deadline);
    if (r < 0) {
        // Only a lack of memory in the kernel gets here (the descriptors are ours): nothing was
        // read, and the pace is kept.
        std::this_thread::sleep_until(deadline);
        return ReadStatus::kSilence;
    }
    if (r == 0) {
        return ReadStatus::kSilence;
    }
    if (fds[1].revents & POLLIN) {
        return ReadStatus::kWoken;
    }
    // POLLHUP, POLLERR or POLLNVAL without data: the port has gone.
    return (fds[0].revents & POLLIN) ? ReadStatus::kData : ReadStatus::kGone;
}

ReadResult SerialPort::ReadFrame(std::span<std::uint8_t> dest, std::uint8_t frameEnd) const {
    if (!IsOpen()) {
        // No port to wait on: keep the caller's pace rather than spin.
        std::this_thread::sleep_for(kReadPause);
        return {};
    }
    // Every read opens with a pause; only a wake ends it early.
    pollfd pause{wakeFd_, POLLIN, 0};
    if (PollUntil(&pause, 1, Clock::now() + kReadPause) > 0) {
        return {ReadStatus::kWoken, 0};
    }

    std::size_t total = 0;
    for (;;) {
        const ReadStatus ready = WaitReadable();
        if (ready == ReadStatus::kGone) {
            return MarkGone();
        }
        if (ready != ReadStatus::kData) {
            return {ready, 0};  // silence gives up a partial frame
        }
        const ssize_t n = read(fd_, dest.data() + total, dest.size() - total);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return MarkGone();  // EIO, ENXIO, ENODEV, or end of file after poll said readable
        }
        total += static_cast<std::size_t>(n);
        // Only a chunk that ends on the closing byte ends the frame.
        if (dest[total - 1] == frameEnd) {
            return {ReadStatus::kData, total};
        }
        if (total == dest.size()) {
            return {ReadStatus::kOverflow, 0};  // the frame has not ended: it cannot fit
        }
    }
}

ReadResult SerialPort::Read(std::span<std::uint8_t> dest) const {
    if (!IsOpen()) {
        std::this_thread::sleep_for(kReadTimeout);
        return {};
    }
    for (;;) {
        const ReadStatus ready = WaitReadable();
        if (ready == ReadStatus::kGone) {
            return MarkGone();
        }
        if (ready != ReadStatus::kData) {
            return {ready, 0};
        }
        const ssize_t n = read(fd_, dest.data(), dest.size());
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return MarkGone();  // EIO, ENXIO, ENODEV, end of file
        }
        return {ReadStatus::kData, static_cast<std::size_t>(n)};
    }
}

ReadResult SerialPort::MarkGone() const {
    gone_.store(true, std::memory_order_release);
    return {ReadStatus::kGone, 0};
}

bool SerialPort::Write(std::span<const std::uint8_t> bytes) const {
    if (!IsOpen()) {
        return false;
    }
    const auto deadline = Clock::now() + kWriteBase + Ms(bytes.size());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return false;
        }
        pollfd p{fd_, POLLOUT, 0};
        if (PollUntil(&p, 1, deadline) <= 0 || !(p.revents & POLLOUT)) {
            return false;  // budget spent, or the port failed
        }
    }
    return true;
}

void SerialPort::Wake() const {
    if (wakeFd_ < 0) {
        return;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
}

void SerialPort::ClearWake() const {
    if (wakeFd_ < 0) {
        return;
    }
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(wakeFd_, &count, sizeof count);
}

void SerialPort::Close() {
    if (fd_ >= 0) {
        // A pty's tty outlives us: leave it open to others again. Not looked at: nothing is left
        // to undo when it fails.
        ioctl(fd_, TIOCNXCL);
        close(std::exchange(fd_, -1));
    }
    if (wakeFd_ >= 0) {
        close(std::exchange(wakeFd_, -1));
    }
    gone_.store(false);
}

}  // namespace norvane
