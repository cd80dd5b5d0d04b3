// Watching for a modem to come back, without polling.
//
// UdevWatch listens to udev's own announcements (the "udev" netlink source: sent once udevd has
// run its rules, so the device node exists and has its permissions) for ttys being added or
// removed. LinkWatch follows the directory holding the simulator's link through inotify. Each
// exposes one non-blocking descriptor: the window hangs a QSocketNotifier on it, the tools poll
// it. When it is readable, Drain()/ReadEvents() consume what is pending.
//
// Waiter combines both for one lost port: given the identity of the port taken while it was
// open and the simulator's link path, it tells which device node to open once the same modem
// is back (see SameModem).
//
// All three are move-only and close their descriptors when destroyed. Starting one reports the
// errno of the call that failed as a std::error_code (empty when it started).
#pragma once

#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "link/modem_identity.h"

struct udev;
struct udev_monitor;

namespace norvane {

enum class TtyAction { kAdded, kRemoved };

struct TtyEvent {
    TtyAction action;
    ModemIdentity identity;
};

class UdevWatch {
  public:
    UdevWatch() = default;
    ~UdevWatch();
    UdevWatch(UdevWatch&& other) noexcept;
    UdevWatch& operator=(UdevWatch&& other) noexcept;
    UdevWatch(const UdevWatch&) = delete;
    UdevWatch& operator=(const UdevWatch&) = delete;

    // Connects to udev's announcements of tty devices.
    std::error_code Start();
    // Readable when events are pending; -1 before Start().
    int fd() const;
    // The udev context, for reading the database (IdentityOfNode, enumeration).
    udev* context() const { return udev_; }
    // Reads the pending events (at most `max`, so a flood cannot hold the caller; the
    // descriptor stays readable for the rest) and returns the ttys added or removed.
    std::vector<TtyEvent> Drain(int max = 64);

  private:
    void Reset();

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
};

class LinkWatch {
  public:
    LinkWatch() = default;
    ~LinkWatch();
    LinkWatch(LinkWatch&& other) noexcept;
    LinkWatch& operator=(LinkWatch&& other) noexcept;
    LinkWatch(const LinkWatch&) = delete;
    LinkWatch& operator=(const LinkWatch&) = delete;

    // Watches the directory of `linkPath` for the link being created, replaced or removed.
    // ENOENT when the directory does not exist.
    std::error_code Start(const std::string& linkPath);
    int fd() const { return fd_; }
    // Reads the pending notifications; true when one of them concerns the link (or some were
    // lost, so it may have).
    bool Drain();

  private:
    int fd_ = -1;
    std::string name_;  // the link's file name within the watched directory
};

class Waiter {
  public:
    // `lost`: the identity of the port that went away (IdentityOfNode while it was open).
    // `linkPath`: the simulator's link; followed only when the lost port was opened through it.
    Waiter(ModemIdentity lost, std::string linkPath);

    // Starts both watches; one that fails leaves the other running. The failure of the watch
    // that hears this modem come back, if any: the link's for a port opened through the
    // simulator's link, udev's for any other.
    std::error_code Start();
    // The descriptors to wait on; -1 for one not in use.
    int udevFd() const { return udev_.fd(); }
    int linkFd() const { return link_.fd(); }

    // Looks at what is there now: call once after Start(), so a modem that came back before
    // the watches began is not missed. The tty that went away, if udev still lists it, is not
    // taken for its return.
    std::optional<std::string> LookNow();
    // Consumes pending events; the device node to open once the same modem is back.
    std::optional<std::string> ReadEvents();

  private:
    bool FollowsLink() const { return !linkPath_.empty() && lost_.devnode == linkPath_; }

    ModemIdentity lost_;
    std::string linkPath_;
    UdevWatch udev_;
    LinkWatch link_;
};

}  // namespace norvane
