// Port discovery: the list's rules on hand-made candidates, and discovery
// against the device descriptions in tests/data loaded into a umockdev test
// bed. Runs under umockdev-wrapper, whose preload library shows the test bed as
// /sys and /dev.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "link/port_discovery.h"
#include "link/port_text.h"
#include "link/udev_ports.h"
#include "tests/support/pty_modem.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

class Discovery : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        ASSERT_TRUE(preload != nullptr && std::strstr(preload, "umockdev-preload") != nullptr)
            << "run this test under umockdev-wrapper";
        // This test process's own runtime directory, emptied for each case.
        std::filesystem::remove_all(runtimeDir_);
        std::filesystem::create_directories(runtimeDir_);
        setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
    }
    void TearDown() override { g_object_unref(testbed_); }
    // A fresh test bed holding the description `name` only.
    void Load(const std::string& name) {
        g_object_unref(testbed_);  // first: it takes the test bed's environment with it
        testbed_ = umockdev_testbed_new();
        const std::string path = NORVANE_SOURCE_DIR "/tests/data/" + name + ".umockdev";
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_file(testbed_, path.c_str(), &error))
            << path << ": " << (error ? error->message : "");
    }
    PortList Discover() {
        PortList list;
        FillPortList(list);
        return list;
    }
    UMockdevTestbed* testbed_ = umockdev_testbed_new();
    const std::string runtimeDir_ = NORVANE_BINARY_DIR "/tests/udev/runtime";
    const std::string link_ = runtimeDir_ + "/norvane-sim";
};

// tests/data/NAME.ports holds what `norvane-cli ports` prints for
// NAME.umockdev: the list in order, "* " before the preselected entry, @LINK@
// for the simulator's link.
TEST_F(Discovery, CliPrintsTheFourSourcesInOrderWithThePreselectedEntryMarked) {
    for (const char* name : {"huawei_e1550", "qualcomm_mm_tagged", "two_diagnostic_sticks",
                             "acm_modem_and_uarts", "no_serial_device"}) {
        Load(name);
        std::string expected =
            test::ReadFile(NORVANE_SOURCE_DIR "/tests/data/" + std::string(name) + ".ports");
        expected.replace(expected.find("@LINK@"), 6, link_);
        std::FILE* pipe = popen(NORVANE_CLI " ports", "r");
        std::string out(8192, '\0');
        out.resize(std::fread(out.data(), 1, out.size(), pipe));
        EXPECT_EQ(pclose(pipe), 0);
        EXPECT_EQ(out, expected) << name;
    }
}

// Listed once: running, after the USB ports and preselected; stopped, as its bare link.
TEST_F(Discovery, RunningSimulatorComesAfterTheUsbPortsOnceAndWinsUntilItStops) {
    for (const auto& [name, position] : {std::pair{"huawei_e1550", 3}, {"no_serial_device", 0}}) {
        Load(name);
        test::PtyModem simulator(test::Peer::kDeaf);  // published as the link
        ASSERT_EQ(symlink(simulator.slave().c_str(), link_.c_str()), 0);
        PortList list = Discover();
        EXPECT_EQ(list.entries.at(position), link_ + " - Simulated UMTS modem Diagnostics (" +
                                                 simulator.slave().substr(5) + ")");
        EXPECT_EQ(std::count_if(list.entries.begin(), list.entries.end(),
                                [&](const std::string& e) { return e.starts_with(link_); }),
                  1);
        EXPECT_EQ(list.selected, position);
        simulator.CloseMaster();  // its pty goes, the link stays behind
        const PortList after = Discover();
        EXPECT_EQ(after.entries.size(), list.entries.size());
        EXPECT_NE(
            std::find(after.entries.begin(), after.entries.end(), link_ + " - Simulated modem"),
            after.entries.end());
        EXPECT_EQ(after.selected, position - 1);
        std::filesystem::remove(link_);
    }
}

// The table of known modems needs the port's interface number, from the interface's
// bInterfaceNumber or else udev's ID_USB_INTERFACE_NUM: without either the port has no role.
TEST_F(Discovery, AnInterfaceWithoutANumberGetsNoRoleFromTheTable) {
    const std::string intf = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.1";
    const std::string modem = "/dev/ttyUSB1 - Huawei E169/E620/E800 HSDPA Modem";
    for (const auto& [attribute, property, entry] :
         {std::tuple{"01", "", modem + " - Diagnostics (ttyUSB1)"},
          {"", "01", modem + " - Diagnostics (ttyUSB1)"},
          {"", "", modem + " (ttyUSB1)"}}) {
        Load("huawei_e1550");
        umockdev_testbed_set_attribute(testbed_, intf.c_str(), "bInterfaceNumber", attribute);
        umockdev_testbed_set_property(testbed_, (intf + "/ttyUSB1/tty/ttyUSB1").c_str(),
                                      "ID_USB_INTERFACE_NUM", property);
        EXPECT_EQ(Discover().entries.at(1), entry);
    }
}

TEST(PortList, EntriesAndPreselectionFollowTheListRules) {
    const std::string fits(kFriendlyNameBufferSize - 1 - 8,
                           'x');  // "Diagnos " + fits: 260 bytes
    const std::string longPort(kPortNameBufferSize - 1, 'p'), tooLong(kPortNameBufferSize, 'p');
    const struct {
        std::vector<PortCandidate> candidates;
        std::vector<std::string> entries;  // after an earlier source's "/dev/a - Diagnostics"
        int selected;
    } cases[] = {
        // A friendly name must fit its buffer, else the device is skipped whole.
        {{{"/dev/b", {}, "Diagnos " + fits},
          {"/dev/c", {}, "Diagnos " + fits + "y"},
          {"/dev/d", {}, {}}},
         {"/dev/b - Diagnos " + fits},
         1},
        // A port name that does not fit falls back to the symbolic name.
        {{{longPort, "/dev/serial/b", "B"},
          {tooLong, "/dev/serial/c", "C"},
          {{}, "/dev/serial/d", "D"},
          {tooLong, {}, "E Diagnostics"}},
         {longPort + " - B", "/dev/serial/c - C", "/dev/serial/d - D"},
         -1},
    };
    for (const auto& c : cases) {
        PortList list;
        list.AddString("/dev/a - Diagnostics");  // not removed as a duplicate
        AddPortCandidates(list, c.candidates, true);
        EXPECT_EQ(std::vector(list.entries.begin() + 1, list.entries.end()), c.entries);
        EXPECT_EQ(list.selected, c.selected) << c.entries[0];
    }
}

// A view of a longer literal's first bytes: a read past its end finds a byte, not a zero.
TEST(PortText, Utf8AtEveryBoundaryAndComparisonsEndingWithTheShorterText) {
    using namespace discovery;
    // Every lead-byte range at its edges; then overlong, surrogate, past U+10FFFF; then cut short.
    const std::string edges =
        "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    const std::pair<std::string_view, std::string> clean[] = {
        {edges, edges},
        {"\xC1\xBF\xE0\x9F\xBF\xED\xA0\x80\xF0\x8F\xBF\xBF\xF4\x90\x80\x80\xF5\x80\x80\x80",
         std::string(20, '?')},
        {std::string_view("a\xC2\x80", 2), "a?"},
        {std::string_view("a\xE1\x80\x80", 3), "a??"},
        {std::string_view("a\xF1\x80\x80\x80", 4), "a???"}};
    for (const auto& [raw, want] : clean) {
        EXPECT_EQ(CleanText(raw, 64), want) << raw;
    }
    EXPECT_TRUE(StartsWithNoCase("Diagnostic", "DIAGN") &&
                !StartsWithNoCase(std::string_view("Diagnostic", 4), "DIAGN"));
    for (const auto& [a, b] : {std::pair<std::string_view, std::string_view>{"ttyUSB2", "ttyUSB10"},
                               {"ttyUSB01", "ttyUSB1"},
                               {std::string_view("abe", 2), "abd"},
                               {std::string_view("x12", 2), "x1a"}}) {
        EXPECT_TRUE(NaturalLess(a, b) && !NaturalLess(b, a)) << a << " < " << b;
    }
}

TEST(PortText, FallbackNameAndKnownRoleNeedBothIds) {
    using discovery::UsbIds;
    const UsbIds both{0x12d1, 0x1001, 1}, noVendor{{}, 0x1001, 1}, noProduct{0x12d1, {}, 1};
    const std::tuple<const char*, const char*, UsbIds, const char*> names[] = {
        {"Huawei", "", both, "Huawei"},
        {"", "E220", both, "E220"},
        {"", "", both, "USB device 12d1:1001"},
        {"", "", noVendor, "USB device"},
        {"", "", noProduct, "USB device"}};
    for (const auto& [vendor, model, ids, want] : names) {
        EXPECT_EQ(discovery::ProductName(vendor, model, ids), want);
    }
    EXPECT_FALSE(discovery::KnownRole(noVendor) || discovery::KnownRole(noProduct));
}

}  // namespace
}  // namespace norvane
