// The udev watch under a umockdev test bed: a Huawei stick (tests/data/huawei_e1550) whose
// diagnostic-side tty ttyUSB2 (USB device 1-1, interface 02, serial given here) goes away and a
// tty comes back, under a new name or not, on the same stick or another one. Events come
// through umockdev's emulated netlink socket, so the watch's descriptor must become readable.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <umockdev.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "link/modem_identity.h"
#include "link/udev_watch.h"

namespace norvane {
namespace {

constexpr const char* kStick = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";
constexpr const char* kSerial = "35A2F7C0";
constexpr const char* kLostTty =
    "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.2/ttyUSB2/tty/ttyUSB2";

bool Readable(int fd, int timeoutMs = 2000) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN) != 0;
}

class Watch : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        ASSERT_TRUE(preload != nullptr && std::strstr(preload, "umockdev-preload") != nullptr)
            << "run this test under umockdev-wrapper";
        bed_ = umockdev_testbed_new();
        const std::string path = std::string(NORVANE_SOURCE_DIR) + "/tests/data/huawei_e1550";
        Add(path + ".umockdev", true);
        umockdev_testbed_set_attribute(bed_, kStick, "serial", kSerial);
    }
    void TearDown() override { g_object_unref(bed_); }

    void Add(const std::string& text, bool isFile = false) {
        GError* error = nullptr;
        const gboolean ok = isFile ? umockdev_testbed_add_from_file(bed_, text.c_str(), &error)
                                   : umockdev_testbed_add_from_string(bed_, text.c_str(), &error);
        ASSERT_TRUE(ok) << (error ? error->message : "");
    }

    // A tty under USB device `usb` (created when new, with `serial`), interface `iface`.
    void Plug(const std::string& usb, int iface, const std::string& tty, const char* serial) {
        const std::string dev = "/devices/pci0000:00/0000:00:14.0/usb1/" + usb;
        const std::string intf = dev + "/" + usb + ":1." + std::to_string(iface);
        // No node file: umockdev keeps a removed tty's node, and DEVNAME names the node.
        std::string text = "P: " + intf + "/" + tty + "/tty/" + tty + "\nE: DEVNAME=/dev/" + tty +
                           "\nE: SUBSYSTEM=tty\nE: USEC_INITIALIZED=2000\n\n";
        text += "P: " + intf + "/" + tty + "\nE: SUBSYSTEM=usb-serial\n\n";
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
        Add(text);  // the test bed announces each device it adds
    }

    // The tty goes, with the USB serial port device it hangs from.
    void Unplug(const std::string& syspath) {
        umockdev_testbed_uevent(bed_, syspath.c_str(), "remove");
        const std::string port = syspath.substr(0, syspath.rfind("/tty/"));
        umockdev_testbed_remove_device(bed_, syspath.c_str());
        umockdev_testbed_remove_device(bed_, port.c_str());
    }

    ModemIdentity Lost() {
        UdevWatch w;
        EXPECT_EQ(w.Start(), 0);
        return IdentityOfNode(w.context(), "/dev/ttyUSB2");
    }

    UMockdevTestbed* bed_ = nullptr;
};

TEST(SameModem, MatchesTheNodeOrTheInterfaceWithTheSerialOrThePortPath) {
    const ModemIdentity lost{"/dev/ttyUSB2", "SN1", "1-1.2", 2, 0x12d1, 0x1001, {}, {}};
    struct Row {
        const char* what;
        ModemIdentity candidate;
        bool same;
    };
    const Row rows[] = {
        {"same node, nothing else known", {"/dev/ttyUSB2", {}, {}, {}, {}, {}, {}, {}}, true},
        {"new name, same serial elsewhere",
         {"/dev/ttyUSB7", "SN1", "2-4", 2, {}, {}, {}, {}},
         true},
        {"new name, same port, no serial", {"/dev/ttyUSB3", {}, "1-1.2", 2, {}, {}, {}, {}}, true},
        {"same port, other interface", {"/dev/ttyUSB3", "SN1", "1-1.2", 1, {}, {}, {}, {}}, false},
        {"same port, interface unknown",
         {"/dev/ttyUSB3", "SN1", "1-1.2", {}, {}, {}, {}, {}},
         false},
        {"other serial, other port", {"/dev/ttyUSB3", "SN2", "1-1.3", 2, {}, {}, {}, {}}, false},
        {"parent hub's port is not ours", {"/dev/ttyUSB3", {}, "1-1", 2, {}, {}, {}, {}}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SameModem(lost, row.candidate), row.same) << row.what;
    }
    // Two ttys without USB details and without a node are never the same modem.
    const ModemIdentity bare{"/dev/ttyS0", {}, {}, {}, {}, {}, {}, {}};
    EXPECT_FALSE(SameModem(bare, {"/dev/ttyS1", {}, {}, {}, {}, {}, {}, {}}));
    const ModemIdentity noSerial{"/dev/ttyUSB2", {}, "1-1.2", 2, {}, {}, {}, {}};
    EXPECT_FALSE(SameModem(noSerial, {"/dev/ttyUSB3", {}, "1-4", 2, {}, {}, {}, {}}));
    const ModemIdentity noPath{"/dev/ttyUSB2", {}, {}, 2, {}, {}, {}, {}};
    EXPECT_FALSE(SameModem(noPath, {"/dev/ttyUSB3", {}, {}, 2, {}, {}, {}, {}}));
}

TEST_F(Watch, IdentityIsReadFromTheTtysUsbInterfaceAndDevice) {
    const ModemIdentity id = Lost();
    EXPECT_EQ(id.devnode, "/dev/ttyUSB2");
    EXPECT_EQ(id.serial, kSerial);
    EXPECT_EQ(id.usbPortPath, "1-1");
    EXPECT_EQ(id.interfaceNumber, 2u);
    EXPECT_EQ(id.vendor, 0x12d1);
    EXPECT_EQ(id.product, 0x1001);
    UdevWatch w;
    ASSERT_EQ(w.Start(), 0);
    const ModemIdentity unknown = IdentityOfNode(w.context(), "/tmp/some-link");
    EXPECT_EQ(unknown.devnode, "/tmp/some-link");
    EXPECT_TRUE(unknown.usbPortPath.empty());
    EXPECT_FALSE(unknown.interfaceNumber);
}

TEST_F(Watch, ReportsRemovedAndAddedTtysThroughItsDescriptor) {
    UdevWatch w;
    ASSERT_EQ(w.Start(), 0);
    EXPECT_FALSE(Readable(w.fd(), 0));
    Unplug(kLostTty);
    ASSERT_TRUE(Readable(w.fd()));
    auto events = w.Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].action, TtyAction::kRemoved);
    EXPECT_EQ(events[0].identity.devnode, "/dev/ttyUSB2");
    Plug("1-1", 2, "ttyUSB3", nullptr);
    ASSERT_TRUE(Readable(w.fd()));
    events = w.Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].action, TtyAction::kAdded);
    EXPECT_EQ(events[0].identity.devnode, "/dev/ttyUSB3");
    EXPECT_EQ(events[0].identity.usbPortPath, "1-1");
    EXPECT_FALSE(Readable(w.fd(), 0));
}

struct Return {
    const char* what;
    const char* usb;
    int iface;
    const char* tty;
    const char* serial;  // of a USB device not there before
    const char* back;    // the node to open, or null
};

class Replug : public Watch, public ::testing::WithParamInterface<Return> {};

TEST_P(Replug, WaiterTellsWhetherTheSameModemIsBackAndWhere) {
    const Return& r = GetParam();
    Waiter waiter(Lost(), "/tmp/norvane-sim-unused");
    ASSERT_EQ(waiter.Start(), 0);
    EXPECT_EQ(waiter.linkFd(), -1);  // not opened through the link: not followed
    Unplug(kLostTty);
    ASSERT_TRUE(Readable(waiter.udevFd()));
    EXPECT_EQ(waiter.ReadEvents(), std::nullopt);
    Plug(r.usb, r.iface, r.tty, r.serial);
    ASSERT_TRUE(Readable(waiter.udevFd()));
    const auto back = waiter.ReadEvents();
    if (r.back != nullptr) {
        EXPECT_EQ(back, r.back);
    } else {
        EXPECT_EQ(back, std::nullopt);
    }
    // A waiter started only now finds the same answer in the udev database.
    Waiter late(waiter.lost(), {});
    ASSERT_EQ(late.Start(), 0);
    EXPECT_EQ(late.LookNow(), back);
}

INSTANTIATE_TEST_SUITE_P(
    , Replug,
    ::testing::Values(Return{"SameNodeAgain", "1-1", 2, "ttyUSB2", nullptr, "/dev/ttyUSB2"},
                      Return{"NewNameSamePort", "1-1", 2, "ttyUSB3", nullptr, "/dev/ttyUSB3"},
                      Return{"SameSerialOtherPort", "1-2", 2, "ttyUSB5", kSerial, "/dev/ttyUSB5"},
                      Return{"OtherInterfaceSameStick", "1-1", 1, "ttyUSB3", nullptr, nullptr},
                      Return{"OtherStickNoSerial", "1-2", 2, "ttyUSB5", nullptr, nullptr},
                      Return{"OtherStickOtherSerial", "1-2", 2, "ttyUSB5", "99X", nullptr}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(Watch, LookNowDoesNotTakeTheLostTtysLingeringRecordForItsReturn) {
    Waiter waiter(Lost(), {});
    ASSERT_EQ(waiter.Start(), 0);
    EXPECT_EQ(waiter.LookNow(), std::nullopt);
}

TEST_F(Watch, SimulatorLinkPublishedAgainIsNoticedThroughInotify) {
    char dir[] = "/tmp/norvane-watch-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/norvane-sim";
    Waiter waiter(ModemIdentity{link, {}, {}, {}, {}, {}, {}, {}}, link);
    ASSERT_EQ(waiter.Start(), 0);
    ASSERT_GE(waiter.linkFd(), 0);
    EXPECT_EQ(waiter.LookNow(), std::nullopt);
    // A link left behind by a killed simulator leads to a pty that is gone.
    ASSERT_EQ(symlink("/dev/pts/99999", link.c_str()), 0);
    ASSERT_TRUE(Readable(waiter.linkFd()));
    EXPECT_EQ(waiter.ReadEvents(), std::nullopt);
    // The simulator started again: replaces the stale link with one to its live pty.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink(ptsname(master), link.c_str()), 0);
    ASSERT_TRUE(Readable(waiter.linkFd()));
    EXPECT_EQ(waiter.ReadEvents(), link);
    EXPECT_EQ(waiter.LookNow(), link);
    close(master);
    EXPECT_EQ(waiter.LookNow(), std::nullopt);  // the pty went with its master
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace norvane
