// The port list's rules on hand-made candidates: entry form, limits, LPT1, preselection.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/port_discovery.h"

namespace norvane {
namespace {

// Records every call, to see what was selected and when.
struct RecordingList final : PortListView {
    std::vector<std::string> entries;
    std::vector<int> selections;
    int AddString(std::string_view entry) override {
        entries.emplace_back(entry);
        return static_cast<int>(entries.size()) - 1;
    }
    void SetCurSel(int index) override { selections.push_back(index); }
};

PortCandidate Candidate(std::string port, std::string friendly) {
    PortCandidate c;
    c.portName = std::move(port);
    c.friendlyName = std::move(friendly);
    return c;
}

std::string DeviceOf(const std::string& entry) {
    return entry.substr(0, entry.find(kPortEntrySeparator));
}

TEST(PortList, EntryIsPortSeparatorFriendlyNameAndTheCutKeepsThePort) {
    PortList list;
    const std::vector<PortCandidate> c = {
        Candidate("/dev/ttyUSB5", "HUAWEI Mobile Connect - 3G PC UI Interface (ttyUSB5)")};
    AddPortCandidates(list, c, true);
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_EQ(list.entries[0],
              "/dev/ttyUSB5 - HUAWEI Mobile Connect - 3G PC UI Interface (ttyUSB5)");
    EXPECT_EQ(list.selected, 0);
    EXPECT_EQ(DeviceOf(list.entries[0]), "/dev/ttyUSB5");
}

TEST(PortList, LastMatchWinsWhicheverMarkItCarries) {
    for (const auto& [first, second] :
         {std::pair{"Stick - Diagnostics (ttyUSB1)", "Stick - 3G PC UI Interface (ttyUSB2)"},
          std::pair{"Stick - 3G PC UI Interface (ttyUSB1)", "Stick - Diagnostics (ttyUSB2)"}}) {
        RecordingList list;
        const std::vector<PortCandidate> c = {
            Candidate("/dev/ttyUSB0", "Stick - Modem"), Candidate("/dev/ttyUSB1", first),
            Candidate("/dev/ttyUSB2", second), Candidate("/dev/ttyUSB3", "Stick - NMEA")};
        AddPortCandidates(list, c, true);
        EXPECT_EQ(list.entries.size(), 4u);
        EXPECT_EQ(list.selections, (std::vector<int>{1, 2}));
    }
}

TEST(PortList, BothMarksInOneNameSelectTwiceAndTestsAreCaseSensitive) {
    RecordingList list;
    const std::vector<PortCandidate> c = {
        Candidate("/dev/a", "Diagnostics and 3G PC UI Interface"),
        Candidate("/dev/b", "diagnostics, 3g pc ui interface, DIAGNOS")};
    AddPortCandidates(list, c, true);
    EXPECT_EQ(list.selections, (std::vector<int>{0, 0}));
}

TEST(PortList, WithoutPreselectionNothingIsSelected) {
    RecordingList list;
    const std::vector<PortCandidate> c = {Candidate("/dev/ttyACM0", "Modem - Diagnostics")};
    AddPortCandidates(list, c, false);
    EXPECT_EQ(list.entries.size(), 1u);
    EXPECT_TRUE(list.selections.empty());
}

TEST(PortList, Lpt1IsLeftOutButItsNameStillSelectsTheEntryBefore) {
    RecordingList list;
    const std::vector<PortCandidate> c = {
        Candidate("/dev/ttyUSB0", "Stick - Modem"), Candidate("LPT1", "Printer Diagnostics"),
        Candidate("LPT2", "Printer"), Candidate("lpt1", "Printer")};
    AddPortCandidates(list, c, true);
    EXPECT_EQ(list.entries, (std::vector<std::string>{"/dev/ttyUSB0 - Stick - Modem",
                                                      "LPT2 - Printer", "lpt1 - Printer"}));
    EXPECT_EQ(list.selections, (std::vector<int>{0}));
}

TEST(PortList, MatchBeforeAnyEntrySelectsNothing) {
    RecordingList list;
    const std::vector<PortCandidate> c = {Candidate("LPT1", "Diagnostics port"),
                                          Candidate("/dev/ttyUSB0", "Stick - Modem")};
    AddPortCandidates(list, c, true);
    EXPECT_EQ(list.entries.size(), 1u);
    EXPECT_TRUE(list.selections.empty());
}

TEST(PortList, FriendlyNameMustFitItsBufferOrTheDeviceIsSkippedWhole) {
    const std::string fits(kFriendlyNameBufferSize - 1 - 8, 'x');
    RecordingList list;
    const std::vector<PortCandidate> c = {
        Candidate("/dev/ttyUSB0", "Diagnos " + fits),        // 260 bytes: listed
        Candidate("/dev/ttyUSB1", "Diagnos " + fits + "y"),  // 261 bytes: skipped
        PortCandidate{std::string("/dev/ttyUSB2"), std::nullopt, std::nullopt},  // no name
    };
    AddPortCandidates(list, c, true);
    ASSERT_EQ(list.entries.size(), 1u);
    EXPECT_EQ(DeviceOf(list.entries[0]), "/dev/ttyUSB0");
    EXPECT_EQ(list.selections, (std::vector<int>{0}));  // the skipped one selects nothing
}

TEST(PortList, PortNameThatDoesNotFitFallsBackToTheSymbolicName) {
    const std::string longest(kPortNameBufferSize - 1, 'p');
    const std::string tooLong(kPortNameBufferSize, 'p');
    PortList list;
    const std::vector<PortCandidate> c = {
        {longest, std::string("/dev/serial/by-id/a"), std::string("A")},
        {tooLong, std::string("/dev/serial/by-id/b"), std::string("B")},
        {std::nullopt, std::string("/dev/serial/by-id/c"), std::string("C")},
        {tooLong, std::nullopt, std::string("D Diagnostics")},  // no usable name: skipped
    };
    AddPortCandidates(list, c, true);
    EXPECT_EQ(list.entries, (std::vector<std::string>{longest + " - A", "/dev/serial/by-id/b - B",
                                                      "/dev/serial/by-id/c - C"}));
    EXPECT_EQ(list.selected, -1);
}

TEST(PortList, NoDuplicateRemovalAndSelectionIsTheListIndex) {
    PortList list;
    list.AddString("/dev/ttyS0 - serial");
    const std::vector<PortCandidate> c = {Candidate("/dev/ttyS0", "serial"),
                                          Candidate("/dev/ttyUSB1", "Stick - Diagnostics")};
    AddPortCandidates(list, c, true);
    EXPECT_EQ(list.entries, (std::vector<std::string>{"/dev/ttyS0 - serial", "/dev/ttyS0 - serial",
                                                      "/dev/ttyUSB1 - Stick - Diagnostics"}));
    EXPECT_EQ(list.selected, 2);
}

TEST(PortList, SelectingOutsideTheListSelectsNothing) {
    PortList list;
    list.AddString("a - b");
    list.SetCurSel(0);
    EXPECT_EQ(list.selected, 0);
    list.SetCurSel(1);
    EXPECT_EQ(list.selected, -1);
    list.SetCurSel(0);
    list.SetCurSel(-1);
    EXPECT_EQ(list.selected, -1);
}

// Restores XDG_RUNTIME_DIR after each case.
class SimulatorLink : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* v = std::getenv("XDG_RUNTIME_DIR")) {
            saved_ = v;
        }
    }
    void TearDown() override {
        if (saved_) {
            setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }
    std::optional<std::string> saved_;
};

TEST_F(SimulatorLink, LivesInTheRuntimeDirectoryOrUnderTmpWithTheUid) {
    const std::string tmp = "/tmp/norvane-sim-" + std::to_string(getuid());
    setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(SimulatorLinkPath(), "/run/user/1000/norvane-sim");
    setenv("XDG_RUNTIME_DIR", "/run/user/1000//", 1);
    EXPECT_EQ(SimulatorLinkPath(), "/run/user/1000/norvane-sim");
    setenv("XDG_RUNTIME_DIR", "/", 1);
    EXPECT_EQ(SimulatorLinkPath(), "/norvane-sim");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SimulatorLinkPath(), tmp);
    setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(SimulatorLinkPath(), tmp);
    setenv("XDG_RUNTIME_DIR", "run/user", 1);  // relative: ignored
    EXPECT_EQ(SimulatorLinkPath(), tmp);
    setenv("XDG_RUNTIME_DIR", "/run/a - b", 1);  // would be cut at " - "
    EXPECT_EQ(SimulatorLinkPath(), tmp);
}

}  // namespace
}  // namespace norvane
