// The list's rules: which candidates become entries, in what order, which one is preselected, and
// the simulator's link. The devices themselves come from udev_ports.cpp.
#include "link/port_discovery.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "link/modem_identity.h"
#include "link/port_text.h"
#include "link/udev_ports.h"

namespace norvane {

using discovery::SerialCommValue;

int PortList::AddString(std::string_view entry) {
    entries.emplace_back(entry);
    return static_cast<int>(entries.size()) - 1;
}

void PortList::SetCurSel(int index) {
    // Like a drop-down list: an index outside the list leaves nothing selected.
    selected = (index >= 0 && static_cast<std::size_t>(index) < entries.size()) ? index : -1;
}

namespace {

bool FitsPortName(const std::optional<std::string>& name) {
    return name && name->size() < kPortNameBufferSize;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

constexpr std::string_view kSimulatorLinkName = "norvane-sim";
constexpr std::string_view kPtsPrefix = "/dev/pts/";

// Source 4's value `index`; fails past the last one and where a text would not fit its buffer.
bool SerialCommValueAt(const std::vector<SerialCommValue>& values, int index, std::string& data,
                       std::string& name) {
    if (index < 0 || static_cast<std::size_t>(index) >= values.size()) {
        return false;
    }
    const SerialCommValue& port = values[static_cast<std::size_t>(index)];
    if (port.devnode.size() >= kSerialCommTextBufferSize ||
        port.driver.size() >= kSerialCommTextBufferSize) {
        return false;
    }
    data = port.devnode;
    name = port.driver;
    return true;
}

}  // namespace

void AddPortCandidates(PortListView& list, std::span<const PortCandidate> candidates,
                       bool preselect) {
    int newest = -1;  // this call's newest entry
    for (const PortCandidate& c : candidates) {
        if (!c.friendlyName || c.friendlyName->size() >= kFriendlyNameBufferSize) {
            continue;
        }
        const std::string* port = FitsPortName(c.portName)       ? &*c.portName
                                  : FitsPortName(c.symbolicName) ? &*c.symbolicName
                                                                 : nullptr;
        if (port == nullptr) {
            continue;
        }
        if (*port != "LPT1") {
            std::string entry = *port;
            entry += kPortEntrySeparator;
            entry += *c.friendlyName;
            newest = list.AddString(entry);
        }
        // Made even when this device added nothing: the match then selects the entry before.
        if (preselect && newest >= 0) {
            if (Contains(*c.friendlyName, kDiagnosMark)) {
                list.SetCurSel(newest);
            }
            if (Contains(*c.friendlyName, kPcUiMark)) {
                list.SetCurSel(newest);
            }
        }
    }
}

void FillPortList(PortListView& list) {
    // One read of udev's list for the whole fill.
    const discovery::TtyScan scan = discovery::ScanTtys();
    // The simulator is listed once: while it runs, source 1 names it (and may preselect it);
    // otherwise source 3 offers its link, for a simulator started later.
    std::optional<PortCandidate> simulator = RunningSimulatorCandidate();
    std::vector<PortCandidate> ports = scan.Of(PortClass::kPorts);
    if (simulator) {
        ports.push_back(*simulator);
    }
    AddPortCandidates(list, ports, true);
    AddPortCandidates(list, scan.Of(PortClass::kModem), false);
    if (!simulator) {
        list.AddString(SimulatorLinkPath() + std::string(kPortEntrySeparator) + "Simulated modem");
    }
    std::string data;
    std::string name;
    for (int index = 0; index < kMaxSerialCommValues; ++index) {
        if (!SerialCommValueAt(scan.hardwarePorts, index, data, name)) {
            break;
        }
        list.AddString(data + std::string(kPortEntrySeparator) + name);
    }
}

std::string SimulatorLinkPath() {
    // A runtime directory holding " - " would be cut there when the entry is opened.
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] == '/' &&
        std::strstr(runtimeDir, " - ") == nullptr) {
        std::string path(runtimeDir);
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        if (path.back() != '/') {
            path += '/';
        }
        return path + std::string(kSimulatorLinkName);
    }
    return "/tmp/" + std::string(kSimulatorLinkName) + '-' + std::to_string(getuid());
}

std::optional<PortCandidate> RunningSimulatorCandidate() {
    const std::string link = SimulatorLinkPath();
    const std::optional<std::string> pty = LivePtyOfLink(link);
    if (!pty) {
        return std::nullopt;
    }
    PortCandidate c;
    c.portName = link;
    c.friendlyName =
        "Simulated UMTS modem Diagnostics (pts/" + pty->substr(kPtsPrefix.size()) + ")";
    return c;
}

}  // namespace norvane
