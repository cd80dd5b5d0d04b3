// Port discovery: builds the list of serial devices that could be the modem's diagnostic port,
// in the order the NetMonitor window offers them, and preselects the diagnostic one.
//
// Four sources, in this order:
//   1. USB serial ports that are not CDC-ACM (ttyUSB, ttyHS, ...), in device node order, plus
//      the running simulator's link. These may preselect.
//   2. CDC-ACM ports (ttyACM), in device node order. Never preselect.
//   3. The simulator's link, while the simulator does not run (running, it is in source 1).
//   4. Every tty with hardware behind it, as "devnode - kernel driver".
// Every entry reads "device - description"; the port channel opens the text before the first
// " - ". Nothing removes duplicates: a USB port shows up in source 1 and again in source 4.
// Discovery only reads sysfs and the udev database; it never opens a port.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane {

// The drop-down list the entries go into (the window's port list, or PortList below).
class PortListView {
  public:
    virtual ~PortListView() = default;
    // Appends `entry` at the end (the list is unsorted) and returns its index.
    virtual int AddString(std::string_view entry) = 0;
    // Selects the entry at `index` from code; raises no selection-change notification.
    virtual void SetCurSel(int index) = 0;
};

// A plain list for the tools and tests.
struct PortList final : PortListView {
    std::vector<std::string> entries;
    int selected = -1;

    int AddString(std::string_view entry) override;
    void SetCurSel(int index) override;
};

inline constexpr std::string_view kPortEntrySeparator = " - ";
// Buffer sizes of the texts read, terminating zero included: a friendly name that does not fit
// skips its device; a port name that does not fit counts as missing.
inline constexpr std::size_t kFriendlyNameBufferSize = 261;
inline constexpr std::size_t kPortNameBufferSize = 255;
// Source 4: at most this many values (indexes 0 to 254), each text within 255 bytes.
inline constexpr int kMaxSerialCommValues = 255;
inline constexpr std::size_t kSerialCommTextBufferSize = 255;

// Substrings of a source-1 friendly name that mark the port to preselect (case-sensitive).
inline constexpr std::string_view kDiagnosMark = "Diagnos";
inline constexpr std::string_view kPcUiMark = "3G PC UI Interface";

// The roles a port can be given in its friendly name.
inline constexpr std::string_view kRoleDiagnostics = "Diagnostics";
inline constexpr std::string_view kRolePcUi = "3G PC UI Interface";  // Huawei's AT port
inline constexpr std::string_view kRoleModem = "Modem";
inline constexpr std::string_view kRoleNmea = "NMEA";

// Sources 1 and 2.
enum class PortClass {
    kPorts,  // USB serial ports other than CDC-ACM, and the running simulator
    kModem,  // CDC-ACM ports
};

// One device as a source reports it, before the list's rules apply.
struct PortCandidate {
    std::optional<std::string> portName;      // the device node
    std::optional<std::string> symbolicName;  // used when portName is missing or too long
    std::optional<std::string> friendlyName;  // vendor, model, role, kernel name
};

// Fills `list` from the four sources and makes the preselection. Reports nothing.
void FillPortList(PortListView& list);

// Adds one entry per candidate: skips a candidate without a friendly name, with a friendly name
// of 261 bytes or more, or without a usable port name; leaves out (but still tests) port
// "LPT1". With `preselect`, after each candidate that was not skipped, a friendly name holding
// "Diagnos" and then one holding "3G PC UI Interface" selects this call's newest entry, if it
// has added one. The last match wins.
void AddPortCandidates(PortListView& list, std::span<const PortCandidate> candidates,
                       bool preselect);

// Where norvane-sim publishes its pty: $XDG_RUNTIME_DIR/norvane-sim, or /tmp/norvane-sim-<uid>
// when XDG_RUNTIME_DIR is unset, not an absolute path, or holds " - ".
std::string SimulatorLinkPath();

// The simulator as a source-1 candidate while its link is ours and leads to a live pty
// (/dev/pts/N that exists); nullopt otherwise.
std::optional<PortCandidate> RunningSimulatorCandidate();

}  // namespace norvane
