#include "session/texts.h"

#include <grp.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace norvane {
namespace {

// The second line of the open failure: the system's reason and, when access was refused, how
// to get it.
std::string OpenFailureReason(const std::string& path, int err) {
    std::string reason = path + ": ";
    if (err == EWOULDBLOCK || err == EBUSY) {
        return reason + "the port is in use by another program or window.";
    }
    reason += std::strerror(err);
    reason += '.';
    if (err != EACCES && err != EPERM) {
        return reason;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return reason;
    }
    std::string groupName = std::to_string(st.st_gid);
    std::array<char, 4096> scratch{};
    struct group g {};
    struct group* found = nullptr;
    if (getgrgid_r(st.st_gid, &g, scratch.data(), scratch.size(), &found) == 0 && found) {
        groupName = found->gr_name;
    }
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        reason += " Members of the group \"" + groupName + "\" may use it: sudo usermod -aG " +
                  groupName + " $USER, then log out and in again.";
    } else {
        reason += " Only its owner may open it (group \"" + groupName + "\" has no access).";
    }
    return reason;
}

}  // namespace

std::string PortErrorText(const PortError& error) {
    switch (error.step) {
        case PortError::Step::kOpen:
        case PortError::Step::kLock:
            return std::string(kOpenErrorText) + "\n" + OpenFailureReason(error.path, error.err);
        case PortError::Step::kTerminal:
        case PortError::Step::kWakeEvent:
            break;
    }
    return std::string(kHandleErrorText);
}

std::string LogsOffText(std::span<const std::uint16_t> codes) {
    std::string text = codes.size() == 1 ? "The modem did not switch on log "
                                         : "The modem did not switch on logs ";
    for (std::size_t i = 0; i < codes.size(); ++i) {
        char code[8];
        std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(codes[i]));
        text += i == 0 ? "" : ", ";
        text += code;
    }
    return text;
}

std::string UnwatchedText(const std::error_code& why) {
    return "The modem's going and return cannot be watched (" + why.message() +
           "): once it is back, choose its port again";
}

}  // namespace norvane
