// A USB modem's tty lost and a tty added again, in a umockdev test bed whose events come through
// its emulated netlink socket. Each tty's DEVNAME is the slave of a real pty whose master plays
// the modem, so the session really opens the new node and the start-up bytes arrive there, or
// do not when the new tty is another device's or another interface's.
#include <gtest/gtest.h>
#include <poll.h>
#include <umockdev.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "link/udev_watch.h"
#include "tests/support/pty_modem.h"
#include "tests/support/resume_support.h"

namespace norvane {
namespace {

using test::Bytes;

constexpr const char* kSerial = "35A2F7C0";

// The matching rules on identities the test bed below does not build.
TEST(SameModem, NeedsTheNodeOrTheInterfaceWithAKnownSerialOrPortPath) {
    const auto id = [](const char* node, const char* serial, const char* path,
                       std::optional<unsigned> iface) {
        return ModemIdentity{node, serial, path, iface, {}, {}, {}, {}};
    };
    const ModemIdentity lost = id("/dev/ttyUSB2", "SN1", "1-1.2", 2);
    const ModemIdentity noSerial = id("/dev/ttyUSB2", "", "1-1.2", 2);
    struct Row {
        const char* what;
        ModemIdentity lost, candidate;
        bool same;
    };
    const Row rows[] = {
        {"same node, nothing else known", lost, id("/dev/ttyUSB2", "", "", {}), true},
        {"new name, same port, no serial", noSerial, id("/dev/ttyUSB3", "", "1-1.2", 2), true},
        {"same port, interface unknown", lost, id("/dev/ttyUSB3", "SN1", "1-1.2", {}), false},
        {"parent hub's port is not ours", noSerial, id("/dev/ttyUSB3", "", "1-1", 2), false},
        {"no serial, no port path", id("/dev/ttyUSB2", "", "", 2), id("/dev/ttyUSB3", "", "", 2),
         false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SameModem(row.lost, row.candidate), row.same) << row.what;
    }
}

struct Return {
    const char* what;
    const char* usb;  // the USB device the new tty belongs to ("1-1" is the lost one's)
    int iface;
    const char* serial;  // of a USB device not there before
    bool resumes;
};

class TestBed : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        ASSERT_TRUE(preload != nullptr && std::strstr(preload, "umockdev-preload") != nullptr)
            << "run this test under umockdev-wrapper";
        bed_ = umockdev_testbed_new();
    }
    void TearDown() override { g_object_unref(bed_); }

    // Tty `tty` on interface `iface` of USB device `usb` (made when new, with `serial`), its node
    // `devname`; its sysfs path.
    std::string Plug(const std::string& usb, int iface, const std::string& tty,
                     const std::string& devname, const char* serial) {
        const std::string dev = "/devices/pci0000:00/0000:00:14.0/usb1/" + usb;
        const std::string intf = dev + "/" + usb + ":1." + std::to_string(iface);
        const std::string syspath = intf + "/" + tty + "/tty/" + tty;
        std::string text = "P: " + syspath + "\nE: DEVNAME=" + devname +
                           "\nE: SUBSYSTEM=tty\nE: USEC_INITIALIZED=" + std::to_string(++added_) +
                           "\n\nP: " + intf + "/" + tty + "\nE: SUBSYSTEM=usb-serial\n\n";
        if (!std::filesystem::exists("/sys" + intf)) {
            text += "P: " + intf + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n" +
                    "A: bInterfaceNumber=0" + std::to_string(iface) + "\\n\n\n";
        }
        if (!std::filesystem::exists("/sys" + dev)) {
            text += "P: " + dev + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" +
                    "A: idVendor=12d1\\nA: idProduct=1001\\n\n";
            if (serial != nullptr) {
                text += std::string("A: serial=") + serial + "\\n\n";
            }
        }
        GError* error = nullptr;
        EXPECT_TRUE(umockdev_testbed_add_from_string(bed_, text.c_str(), &error))
            << (error ? error->message : "");
        return syspath;
    }
    // The tty goes, with the USB serial port device it hangs from.
    void Unplug(const std::string& syspath) {
        umockdev_testbed_uevent(bed_, ("/sys" + syspath).c_str(), "remove");
        umockdev_testbed_remove_device(bed_, ("/sys" + syspath).c_str());
        const std::string port = syspath.substr(0, syspath.rfind("/tty/"));
        umockdev_testbed_remove_device(bed_, ("/sys" + port).c_str());
    }

    UMockdevTestbed* bed_ = nullptr;
    int added_ = 1000;
};

class Replug : public TestBed, public ::testing::WithParamInterface<Return> {};

// Events read together: the lost modem's tty added, then another device's tty removed, is its
// return; added, then removed again before it was looked at, is not.
TEST_F(TestBed, ARemovalCountsOnlyForTheTtyItRemoves) {
    const std::string lost = Plug("1-1", 2, "ttyUSB2", "/dev/ttyUSB2", kSerial);
    const std::string other = Plug("1-2", 0, "ttyUSB0", "/dev/ttyUSB0", nullptr);
    const ModemIdentity lostId = IdentityOfNode("/dev/ttyUSB2");
    Unplug(lost);
    for (const bool goesAgain : {false, true}) {
        Waiter waiter(lostId, {});
        ASSERT_FALSE(waiter.Start());
        const std::string tty = goesAgain ? "ttyUSB4" : "ttyUSB3";
        const std::string back = Plug("1-1", 2, tty, "/dev/" + tty, nullptr);
        Unplug(goesAgain ? back : other);
        pollfd ready{waiter.udevFd(), POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 2000), 1);
        EXPECT_EQ(waiter.ReadEvents(), goesAgain ? std::nullopt : std::optional("/dev/" + tty));
    }
}

TEST_P(Replug, SessionResumesOnlyOnATtyOfTheSameUsbDeviceAndInterface) {
    const Return& r = GetParam();
    test::PtyModem first, second;
    const std::string lost = Plug("1-1", 2, "ttyUSB2", first.slave(), kSerial);
    const ModemIdentity lostId = IdentityOfNode(first.slave());
    test::ResumeView view;
    view.entry = first.slave() + " - Huawei E1550 - Diagnostics (ttyUSB2)";
    MonitoringSession session(view);
    session.Start();
    ASSERT_TRUE(session.ReceiveThreadRunning());

    // Lost while udev still holds the tty's record: that record is not its return.
    first.CloseMaster();
    ASSERT_TRUE(test::Pump(session, [&] { return session.WaitingForModem(); }));
    Unplug(lost);
    Plug(r.usb, r.iface, "ttyUSB3", second.slave(), r.serial);
    EXPECT_EQ(test::Pump(
                  session, [&] { return !second.Received().empty(); }, r.resumes ? 3 : 1.5),
              r.resumes);
    EXPECT_EQ(session.WaitingForModem(), !r.resumes);
    EXPECT_EQ(view.returned, std::vector<std::string>(r.resumes ? 1 : 0, second.slave()));
    if (r.resumes) {
        const Bytes startUp =
            test::Concat({test::StoredBytes(DiagProbeFrame), test::RowBytes(kRowCellsOn)});
        EXPECT_EQ(second.WaitFor(startUp.size()), startUp);
        EXPECT_EQ(view.states, (std::vector<bool>{true, false}));
    }
    session.Shutdown();
    // A waiter started only now finds the same answer in the udev database.
    Waiter late(lostId, {});
    ASSERT_FALSE(late.Start());
    EXPECT_EQ(late.LookNow(), r.resumes ? std::optional(second.slave()) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(, Replug,
                         ::testing::Values(Return{"NewNameSameStick", "1-1", 2, nullptr, true},
                                           Return{"SameSerialOtherPort", "1-2", 2, kSerial, true},
                                           Return{"OtherInterfaceSameStick", "1-1", 1, nullptr,
                                                  false},
                                           Return{"OtherStickNoSerial", "1-2", 2, nullptr, false},
                                           Return{"OtherStickOtherSerial", "1-2", 2, "99X", false}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace norvane
