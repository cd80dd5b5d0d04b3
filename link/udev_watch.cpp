#include "link/udev_watch.h"

#include <libudev.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

namespace norvane {

namespace {

// The errno of the call that just failed; ENOMEM when libudev failed without setting one.
std::error_code LastError() {
    return std::error_code(errno != 0 ? errno : ENOMEM, std::system_category());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// UdevWatch

UdevWatch::~UdevWatch() {
    Reset();
}

UdevWatch::UdevWatch(UdevWatch&& other) noexcept
    : udev_(std::exchange(other.udev_, nullptr)),
      monitor_(std::exchange(other.monitor_, nullptr)) {}

UdevWatch& UdevWatch::operator=(UdevWatch&& other) noexcept {
    if (this != &other) {
        Reset();
        udev_ = std::exchange(other.udev_, nullptr);
        monitor_ = std::exchange(other.monitor_, nullptr);
    }
    return *this;
}

void UdevWatch::Reset() {
    if (monitor_ != nullptr) {
        udev_monitor_unref(monitor_);  // closes the socket
        monitor_ = nullptr;
    }
    if (udev_ != nullptr) {
        udev_unref(udev_);
        udev_ = nullptr;
    }
}

std::error_code UdevWatch::Start() {
    Reset();
    errno = 0;
    udev_ = udev_new();
    if (udev_ == nullptr) {
        return LastError();
    }
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) {
        const std::error_code error = LastError();
        Reset();
        return error;
    }
    // Both return 0 or a negative errno.
    int r = udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr);
    if (r >= 0) {
        r = udev_monitor_enable_receiving(monitor_);
    }
    if (r < 0) {
        Reset();
        return std::error_code(-r, std::system_category());
    }
    return {};
}

int UdevWatch::fd() const {
    return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1;
}

std::vector<TtyEvent> UdevWatch::Drain(int max) {
    std::vector<TtyEvent> events;
    if (monitor_ == nullptr) {
        return events;
    }
    // The socket is non-blocking: a null device means nothing more is pending (or a message
    // that was not udev's, which libudev drops).
    for (int i = 0; i < max; ++i) {
        udev_device* dev = udev_monitor_receive_device(monitor_);
        if (dev == nullptr) {
            break;
        }
        const char* action = udev_device_get_action(dev);
        if (action != nullptr && std::strcmp(action, "add") == 0) {
            events.push_back({TtyAction::kAdded, IdentityOf(dev)});
        } else if (action != nullptr && std::strcmp(action, "remove") == 0) {
            events.push_back({TtyAction::kRemoved, IdentityOf(dev)});
        }
        udev_device_unref(dev);
    }
    return events;
}

// ---------------------------------------------------------------------------------------------
// LinkWatch

LinkWatch::~LinkWatch() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

LinkWatch::LinkWatch(LinkWatch&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), name_(std::move(other.name_)) {}

LinkWatch& LinkWatch::operator=(LinkWatch&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        name_ = std::move(other.name_);
    }
    return *this;
}

std::error_code LinkWatch::Start(const std::string& linkPath) {
    const std::size_t slash = linkPath.rfind('/');
    if (slash == std::string::npos || slash + 1 == linkPath.size()) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    const std::string dir = slash == 0 ? "/" : linkPath.substr(0, slash);
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return LastError();
    }
    // The simulator removes a link left behind and makes its own (create); a link moved into
    // place, or the directory itself going away, is noticed as well.
    const uint32_t mask = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF |
                          IN_MOVE_SELF | IN_ONLYDIR;
    if (inotify_add_watch(fd, dir.c_str(), mask) < 0) {
        const std::error_code error = LastError();
        close(fd);
        return error;
    }
    if (fd_ >= 0) {
        close(fd_);
    }
    fd_ = fd;
    name_ = linkPath.substr(slash + 1);
    return {};
}

bool LinkWatch::Drain() {
    if (fd_ < 0) {
        return false;
    }
    bool concernsLink = false;
    alignas(inotify_event) char buffer[4096];
    while (true) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // EAGAIN: nothing more pending
        }
        // The kernel writes whole events; each length is checked against what was read.
        std::size_t offset = 0;
        const auto total = static_cast<std::size_t>(n);
        while (offset + sizeof(inotify_event) <= total) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            const std::size_t size = sizeof(inotify_event) + event.len;
            if (size > total - offset) {
                break;
            }
            if ((event.mask & IN_Q_OVERFLOW) != 0) {
                concernsLink = true;
            } else if (event.len > 0) {
                const char* name = buffer + offset + sizeof(inotify_event);
                if (strnlen(name, event.len) == name_.size() &&
                    std::memcmp(name, name_.data(), name_.size()) == 0) {
                    concernsLink = true;
                }
            }
            offset += size;
        }
    }
    return concernsLink;
}

// ---------------------------------------------------------------------------------------------
// Waiter

Waiter::Waiter(ModemIdentity lost, std::string linkPath)
    : lost_(std::move(lost)), linkPath_(std::move(linkPath)) {}

std::error_code Waiter::Start() {
    // Each watch on its own: the simulator's link is still followed where udev cannot be heard
    // (a container without its netlink socket), and the other way round.
    const std::error_code u = udev_.Start();
    const std::error_code l = FollowsLink() ? link_.Start(linkPath_) : std::error_code();
    return FollowsLink() ? l : u;
}

std::optional<std::string> Waiter::LookNow() {
    if (FollowsLink() && LivePtyOfLink(linkPath_)) {
        return linkPath_;
    }
    udev* context = udev_.context();
    if (context == nullptr) {
        return std::nullopt;
    }
    struct EnumerateUnref {
        void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    };
    std::unique_ptr<udev_enumerate, EnumerateUnref> e(udev_enumerate_new(context));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        return std::nullopt;
    }
    std::optional<std::string> back;
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(e.get()); entry != nullptr && !back;
         entry = udev_list_entry_get_next(entry)) {
        udev_device* tty = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (tty == nullptr) {
            continue;
        }
        const ModemIdentity candidate = IdentityOf(tty);
        udev_device_unref(tty);
        // The record of the tty that went away may outlive it for a moment.
        if (!candidate.devnode.empty() && !SameRecord(lost_, candidate) &&
            SameModem(lost_, candidate)) {
            back = candidate.devnode;
        }
    }
    return back;
}

std::optional<std::string> Waiter::ReadEvents() {
    std::optional<std::string> back;
    if (link_.Drain() && LivePtyOfLink(linkPath_)) {
        back = linkPath_;
    }
    for (const TtyEvent& event : udev_.Drain()) {
        if (event.action == TtyAction::kAdded && !event.identity.devnode.empty() &&
            SameModem(lost_, event.identity)) {
            back = event.identity.devnode;
        } else if (event.action == TtyAction::kRemoved && back == event.identity.devnode) {
            back.reset();  // came and went again before we looked
        }
    }
    return back;
}

}  // namespace norvane
