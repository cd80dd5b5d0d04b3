// A USB modem's tty unplugged and a tty added again, in a umockdev test bed. Each tty's DEVNAME
// is the slave of a real pty whose master plays the modem, so the session really opens the new
// node and the start-up bytes arrive there, or do not when the new tty is another device's.
#include <gtest/gtest.h>
#include <umockdev.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/pty_modem.h"
#include "tests/support/resume_support.h"

namespace norvane {
namespace {

using test::Bytes;

constexpr const char* kUsb = "/devices/pci0000:00/0000:00:14.0/usb1/";

struct Return {
    const char* what;
    const char* usb;  // the USB device the new tty belongs to ("1-1" is the lost one's)
    int iface;
    bool resumes;
};
void PrintTo(const Return& r, std::ostream* os) {
    *os << r.what;
}

class ReplugTty : public ::testing::TestWithParam<Return> {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        ASSERT_TRUE(preload != nullptr && std::strstr(preload, "umockdev-preload") != nullptr)
            << "run this test under umockdev-wrapper";
        bed_ = umockdev_testbed_new();
    }
    void TearDown() override { g_object_unref(bed_); }

    // Tty `tty` on interface `iface` of USB device `usb` (made when new), its node `devname`.
    std::string Plug(const std::string& usb, int iface, const std::string& tty,
                     const std::string& devname) {
        const std::string dev = kUsb + usb, intf = dev + "/" + usb + ":1." + std::to_string(iface);
        const std::string syspath = intf + "/" + tty + "/tty/" + tty;
        std::string text = "P: " + syspath + "\nE: DEVNAME=" + devname +
                           "\nE: SUBSYSTEM=tty\nE: USEC_INITIALIZED=" + std::to_string(++added_) +
                           "\n\nP: " + intf + "/" + tty + "\nE: SUBSYSTEM=usb-serial\n\n";
        if (!std::filesystem::exists(std::string("/sys") + intf)) {
            text += "P: " + intf + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n" +
                    "A: bInterfaceNumber=0" + std::to_string(iface) + "\\n\n\n";
        }
        if (!std::filesystem::exists(std::string("/sys") + dev)) {
            text += "P: " + dev + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" +
                    "A: idVendor=12d1\\nA: idProduct=1001\\n\n";
        }
        GError* error = nullptr;
        EXPECT_TRUE(umockdev_testbed_add_from_string(bed_, text.c_str(), &error))
            << (error ? error->message : "");
        return "/sys" + syspath;
    }
    void Unplug(const std::string& syspath) {
        umockdev_testbed_uevent(bed_, syspath.c_str(), "remove");
        umockdev_testbed_remove_device(bed_, syspath.c_str());
        umockdev_testbed_remove_device(bed_, syspath.substr(0, syspath.rfind("/tty/")).c_str());
    }

    UMockdevTestbed* bed_ = nullptr;
    int added_ = 1000;
};

TEST_P(ReplugTty, SessionResumesOnlyOnATtyOfTheSameUsbDeviceAndInterface) {
    const Return& r = GetParam();
    test::PtyModem first, second;
    const std::string lost = Plug("1-1", 2, "ttyUSB2", first.slave());
    test::ResumeView view;
    view.entry = first.slave() + " - Huawei E1550 - Diagnostics (ttyUSB2)";
    MonitoringSession session(view);
    session.Start();
    ASSERT_TRUE(session.ReceiveThreadRunning());

    first.CloseMaster();
    ASSERT_TRUE(test::Pump(session, [&] { return session.WaitingForModem(); }));
    Unplug(lost);
    Plug(r.usb, r.iface, "ttyUSB3", second.slave());
    const bool opened = test::Pump(
        session, [&] { return !second.Received().empty(); }, r.resumes ? 3 : 1.5);
    EXPECT_EQ(opened, r.resumes);
    EXPECT_EQ(session.WaitingForModem(), !r.resumes);
    if (r.resumes) {
        const Bytes startUp =
            test::Concat({test::StoredBytes(DiagProbeFrame), test::RowBytes(kRowCellsOn)});
        EXPECT_EQ(second.WaitFor(startUp.size()), startUp);
        EXPECT_EQ(view.returned, std::vector<std::string>{second.slave()});
        EXPECT_EQ(view.states, (std::vector<bool>{true, false}));
    }
    session.Shutdown();
}

INSTANTIATE_TEST_SUITE_P(, ReplugTty,
                         ::testing::Values(Return{"NewNameSameStick", "1-1", 2, true},
                                           Return{"OtherInterfaceSameStick", "1-1", 1, false},
                                           Return{"OtherStick", "1-2", 2, false}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace norvane
