// Port discovery against device descriptions in tests/data, loaded into a umockdev test bed.
// Runs under umockdev-wrapper, whose preload library shows the test bed as /sys and /dev.
//
// The descriptions:
//   huawei_e1550             Huawei stick 12d1:1001 on option: modem, diagnostics, PC UI ports
//   qualcomm_mm_tagged       Qualcomm-based LTE module whose ports ModemManager tagged
//                            (QCDM, GPS, AT primary, AT PPP)
//   two_diagnostic_sticks    an hso card, a Sierra MC7710 and a stick that only names its
//                            diagnostic port in the interface string (its product string holds
//                            control characters and an invalid byte): ttyHS0..1, ttyUSB3..5, 10
//   acm_modem_and_uarts      a CDC-ACM modem with a QCDM-tagged port, an FTDI cable, a UART that
//                            answers (ttyS0), one that does not (ttyS1), and virtual ttys
//   no_serial_device         only the kernel's unanswered ttyS0..3 and virtual ttys
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "link/port_discovery.h"

namespace norvane {
namespace {

class Discovery : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        ASSERT_TRUE(preload != nullptr && std::strstr(preload, "umockdev-preload") != nullptr)
            << "run this test under umockdev-wrapper";
        testbed_ = umockdev_testbed_new();
        ASSERT_NE(testbed_, nullptr);
        char dir[] = "/tmp/norvane-udev-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        runtimeDir_ = dir;
        if (const char* v = std::getenv("XDG_RUNTIME_DIR")) {
            savedRuntimeDir_ = v;
        }
        setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
        link_ = runtimeDir_ + "/norvane-sim";
        fixedEntry_ = link_ + " - Simulated modem";
    }

    void TearDown() override {
        if (master_ >= 0) {
            close(master_);
        }
        if (testbed_ != nullptr) {
            g_object_unref(testbed_);
        }
        if (!runtimeDir_.empty()) {
            std::filesystem::remove_all(runtimeDir_);
        }
        if (savedRuntimeDir_) {
            setenv("XDG_RUNTIME_DIR", savedRuntimeDir_->c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }

    void Load(const std::string& name) {
        const std::string path = std::string(NORVANE_SOURCE_DIR) + "/tests/data/" + name;
        GError* error = nullptr;
        const gboolean ok = umockdev_testbed_add_from_file(testbed_, path.c_str(), &error);
        const std::string message = error ? error->message : "";
        if (error != nullptr) {
            g_error_free(error);
        }
        ASSERT_TRUE(ok) << path << ": " << message;
    }

    PortList Discover() {
        PortList list;
        FillPortList(list);
        return list;
    }

    // Starts a "simulator": a pty whose master stays open, published as the link.
    std::string StartSimulatorPty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(grantpt(master_), 0);
        EXPECT_EQ(unlockpt(master_), 0);
        const std::string slave = ptsname(master_);
        EXPECT_EQ(symlink(slave.c_str(), link_.c_str()), 0);
        return slave.substr(std::strlen("/dev/"));  // "pts/N"
    }

    UMockdevTestbed* testbed_ = nullptr;
    std::string runtimeDir_;
    std::optional<std::string> savedRuntimeDir_;
    std::string link_;
    std::string fixedEntry_;
    int master_ = -1;
};

TEST_F(Discovery, HuaweiStickListsModemDiagnosticsAndPcUiAndPreselectsThePcUiPort) {
    Load("huawei_e1550.umockdev");
    const PortList list = Discover();
    EXPECT_EQ(list.entries,
              (std::vector<std::string>{
                  "/dev/ttyUSB0 - Huawei E169/E620/E800 HSDPA Modem - Modem (ttyUSB0)",
                  "/dev/ttyUSB1 - Huawei E169/E620/E800 HSDPA Modem - Diagnostics (ttyUSB1)",
                  "/dev/ttyUSB2 - Huawei E169/E620/E800 HSDPA Modem - 3G PC UI Interface "
                  "(ttyUSB2)",
                  fixedEntry_,
                  "/dev/ttyUSB0 - option1",
                  "/dev/ttyUSB1 - option1",
                  "/dev/ttyUSB2 - option1",
              }));
    // Both the diagnostics and the PC UI port match; the later one wins.
    EXPECT_EQ(list.selected, 2);
}

TEST_F(Discovery, QcdmPortTaggedByModemManagerIsPreselected) {
    Load("qualcomm_mm_tagged.umockdev");
    const PortList list = Discover();
    EXPECT_EQ(list.entries,
              (std::vector<std::string>{
                  "/dev/ttyUSB0 - Quectel Wireless Solutions EC25 - Diagnostics (ttyUSB0)",
                  "/dev/ttyUSB1 - Quectel Wireless Solutions EC25 - NMEA (ttyUSB1)",
                  "/dev/ttyUSB2 - Quectel Wireless Solutions EC25 (ttyUSB2)",
                  "/dev/ttyUSB3 - Quectel Wireless Solutions EC25 - Modem (ttyUSB3)",
                  fixedEntry_,
                  "/dev/ttyUSB0 - option1",
                  "/dev/ttyUSB1 - option1",
                  "/dev/ttyUSB2 - option1",
                  "/dev/ttyUSB3 - option1",
              }));
    EXPECT_EQ(list.selected, 0);
}

TEST_F(Discovery, LaterOfSeveralMatchingDevicesWinsInDeviceNodeOrder) {
    Load("two_diagnostic_sticks.umockdev");
    const PortList list = Discover();
    EXPECT_EQ(list.entries,
              (std::vector<std::string>{
                  "/dev/ttyHS0 - Option Globetrotter HSDPA Modem - Diagnostics (ttyHS0)",
                  "/dev/ttyHS1 - Option Globetrotter HSDPA Modem - Modem (ttyHS1)",
                  "/dev/ttyUSB3 - Sierra Wireless MC7710 - Diagnostics (ttyUSB3)",
                  "/dev/ttyUSB4 - Sierra Wireless MC7710 - NMEA (ttyUSB4)",
                  "/dev/ttyUSB5 - Sierra Wireless MC7710 - Modem (ttyUSB5)",
                  // ttyUSB10 after ttyUSB5; the product string's tab, control byte and
                  // invalid byte are cleaned out of the name.
                  "/dev/ttyUSB10 - ACME Mobile Broadband Stick ? - Diagnostics (ttyUSB10)",
                  fixedEntry_,
                  "/dev/ttyHS0 - hso",
                  "/dev/ttyHS1 - hso",
                  "/dev/ttyUSB3 - qcserial",
                  "/dev/ttyUSB4 - qcserial",
                  "/dev/ttyUSB5 - qcserial",
                  "/dev/ttyUSB10 - option1",
              }));
    EXPECT_EQ(list.selected, 5);
}

TEST_F(Discovery, ModemClassDeviceThatMatchesIsListedButNeverSelected) {
    Load("acm_modem_and_uarts.umockdev");
    const PortList list = Discover();
    EXPECT_EQ(list.entries,
              (std::vector<std::string>{
                  "/dev/ttyUSB0 - Future Technology Devices International FT232 Serial (UART) IC "
                  "- FT232R USB UART (ttyUSB0)",
                  "/dev/ttyACM0 - Ericsson Business Mobile Networks F3507g Mobile Broadband "
                  "Module - Diagnostics (ttyACM0)",
                  "/dev/ttyACM1 - Ericsson Business Mobile Networks F3507g Mobile Broadband "
                  "Module (ttyACM1)",
                  fixedEntry_,
                  // Source 4: ttyS0's UART answered, ttyS1's did not; no virtual tty.
                  "/dev/ttyACM0 - cdc_acm",
                  "/dev/ttyACM1 - cdc_acm",
                  "/dev/ttyS0 - serial",
                  "/dev/ttyUSB0 - ftdi_sio",
              }));
    EXPECT_EQ(list.selected, -1);
}

TEST_F(Discovery, SerialDevicesAreReadByIndexUntilTheFirstFailure) {
    Load("acm_modem_and_uarts.umockdev");
    std::string data;
    std::string name;
    ASSERT_TRUE(ReadSerialCommValue(2, data, name));
    EXPECT_EQ(data, "/dev/ttyS0");
    EXPECT_EQ(name, "serial");
    EXPECT_TRUE(ReadSerialCommValue(3, data, name));
    EXPECT_FALSE(ReadSerialCommValue(4, data, name));
    EXPECT_FALSE(ReadSerialCommValue(-1, data, name));
}

TEST_F(Discovery, MachineWithoutSerialDevicesOffersOnlyTheFixedEntryUnselected) {
    Load("no_serial_device.umockdev");
    const PortList list = Discover();
    EXPECT_EQ(list.entries, (std::vector<std::string>{fixedEntry_}));
    EXPECT_EQ(list.selected, -1);
}

TEST_F(Discovery, EmptyTestBedOffersOnlyTheFixedEntry) {
    const PortList list = Discover();
    EXPECT_EQ(list.entries, (std::vector<std::string>{fixedEntry_}));
    EXPECT_EQ(list.selected, -1);
}

TEST_F(Discovery, RunningSimulatorIsListedAndPreselectedUntilItStops) {
    Load("no_serial_device.umockdev");
    const std::string pts = StartSimulatorPty();
    PortList list = Discover();
    EXPECT_EQ(list.entries,
              (std::vector<std::string>{link_ + " - Simulated UMTS modem Diagnostics (" + pts + ")",
                                        fixedEntry_}));
    EXPECT_EQ(list.selected, 0);

    // The simulator ends: its pty goes, the link stays behind.
    close(master_);
    master_ = -1;
    list = Discover();
    EXPECT_EQ(list.entries, (std::vector<std::string>{fixedEntry_}));
    EXPECT_EQ(list.selected, -1);
}

TEST_F(Discovery, RunningSimulatorComesAfterTheUsbPortsAndWins) {
    Load("huawei_e1550.umockdev");
    const std::string pts = StartSimulatorPty();
    const PortList list = Discover();
    ASSERT_EQ(list.entries.size(), 8u);
    EXPECT_EQ(list.entries[3], link_ + " - Simulated UMTS modem Diagnostics (" + pts + ")");
    EXPECT_EQ(list.entries[4], fixedEntry_);
    EXPECT_EQ(list.selected, 3);
}

TEST_F(Discovery, LinkThatDoesNotLeadToALivePtyIsNotTheSimulator) {
    Load("no_serial_device.umockdev");
    for (const char* target : {"/dev/null", "/dev/pts/999999", "/dev/pts/", "/dev/pts/1x", "pts/0",
                               "/dev/pts/../null"}) {
        std::filesystem::remove(link_);
        ASSERT_EQ(symlink(target, link_.c_str()), 0);
        EXPECT_EQ(Discover().entries, (std::vector<std::string>{fixedEntry_})) << target;
    }
    std::filesystem::remove(link_);
    std::FILE* plain = std::fopen(link_.c_str(), "w");
    ASSERT_NE(plain, nullptr);
    std::fclose(plain);
    EXPECT_EQ(Discover().entries, (std::vector<std::string>{fixedEntry_}));
}

std::string RunCli(const std::string& args, int* status) {
    const std::string command = std::string(NORVANE_CLI) + " " + args;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return {};
    }
    std::string out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    *status = pclose(pipe);
    return out;
}

TEST_F(Discovery, CliPrintsTheListWithThePreselectedEntryMarked) {
    Load("huawei_e1550.umockdev");
    int status = 0;
    const std::string out = RunCli("ports", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out,
              "  /dev/ttyUSB0 - Huawei E169/E620/E800 HSDPA Modem - Modem (ttyUSB0)\n"
              "  /dev/ttyUSB1 - Huawei E169/E620/E800 HSDPA Modem - Diagnostics (ttyUSB1)\n"
              "* /dev/ttyUSB2 - Huawei E169/E620/E800 HSDPA Modem - 3G PC UI Interface "
              "(ttyUSB2)\n"
              "  " +
                  fixedEntry_ +
                  "\n"
                  "  /dev/ttyUSB0 - option1\n"
                  "  /dev/ttyUSB1 - option1\n"
                  "  /dev/ttyUSB2 - option1\n");
}

TEST_F(Discovery, CliWithNothingSelectedMarksNoEntryAndHasHelp) {
    Load("no_serial_device.umockdev");
    int status = 0;
    EXPECT_EQ(RunCli("ports", &status), "  " + fixedEntry_ + "\n");
    EXPECT_EQ(status, 0);
    const std::string help = RunCli("ports --help", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("Usage: norvane-cli ports"), std::string::npos);
    RunCli("ports --bogus 2>/dev/null", &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
}

}  // namespace
}  // namespace norvane
