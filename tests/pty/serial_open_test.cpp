// Opening the port: entry text to device path, the failure messages, exclusive use, and the
// line settings the port is left with.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "link/serial_port.h"
#include "tests/pty/pty_pair.h"

namespace norvane {
namespace {

using test::PtyPair;
using test::RecordingMessages;

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(PortDevicePath, DeviceIsTheTextBeforeTheFirstSeparatorUnderDev) {
    EXPECT_EQ(PortDevicePath("ttyUSB1 - Huawei E220 HSDPA Modem - Diagnostics (ttyUSB1)"),
              "/dev/ttyUSB1");
    EXPECT_EQ(PortDevicePath("serial/by-id/usb-modem - by id"), "/dev/serial/by-id/usb-modem");
    EXPECT_EQ(PortDevicePath("/dev/ttyACM0 - cdc_acm"), "/dev/ttyACM0");
    EXPECT_EQ(PortDevicePath("/run/user/1000/norvane-sim - Simulated modem"),
              "/run/user/1000/norvane-sim");
    // No separator (also a bare hyphen without blanks): the device name is empty.
    EXPECT_EQ(PortDevicePath("ttyUSB0"), "/dev/");
    EXPECT_EQ(PortDevicePath("ttyUSB0-Diagnostics"), "/dev/");
    EXPECT_EQ(PortDevicePath(" - nothing before"), "/dev/");
}

TEST(OpenComPort, EmptyEntryShowsNoMobilePortAndOpensNothing) {
    RecordingMessages messages;
    EXPECT_EQ(OpenComPort("", messages), nullptr);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "          No Mobile Port !          ");
    EXPECT_EQ(messages.shown[0].caption, "Error");
}

TEST(OpenComPort, EntryWithoutSeparatorFailsToOpenWithReason) {
    PtyPair pty;
    RecordingMessages messages;
    EXPECT_EQ(OpenComPort(pty.slavePath(), messages), nullptr);  // "/dev/pts/N", no " - "
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(FirstLine(messages.shown[0].text), "Error while opening ComPort");
    EXPECT_NE(messages.shown[0].text.find("\n/dev/: "), std::string::npos)
        << messages.shown[0].text;
    EXPECT_EQ(messages.shown[0].caption, "Error");
}

TEST(OpenComPort, MissingDeviceNamesTheSystemReason) {
    RecordingMessages messages;
    EXPECT_EQ(OpenComPort("ttyNORVANE99 - gone", messages), nullptr);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Error while opening ComPort\n/dev/ttyNORVANE99: No such file or directory.");
}

TEST(OpenComPort, DeviceThatIsNoTerminalIsClosedWithHandleError) {
    RecordingMessages messages;
    EXPECT_EQ(OpenComPort("null - not a serial port", messages), nullptr);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error Handle the error while opening ComPort");
    EXPECT_EQ(messages.shown[0].caption, "Error");
    // Closed again: nothing keeps its lock.
    const int fd = open("/dev/null", O_RDWR);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}

TEST(OpenComPort, LineSettingsAreRawEightNoneOneAt115200KeepingHardwareFlow) {
    PtyPair pty;
    const int probe = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(probe, &before), 0);
    // A fresh Linux tty: canonical, echo, CR to NL, XON/XOFF output flow control.
    EXPECT_TRUE(before.c_iflag & IXON);
    before.c_cflag |= CRTSCTS | PARENB | CSTOPB;
    before.c_iflag |= IXOFF | IXANY;
    ASSERT_EQ(tcsetattr(probe, TCSANOW, &before), 0);

    RecordingMessages messages;
    ComPort* port = OpenComPort(pty.Entry(), messages);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(messages.shown.empty());

    termios t{};
    ASSERT_EQ(tcgetattr(probe, &t), 0);
    EXPECT_EQ(cfgetispeed(&t), B115200);
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CRTSCTS) << "hardware flow control is the port's own";
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY)) << "no software flow control on binary";
    EXPECT_FALSE(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK | INPCK));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    CloseComPort(port);
    // A port without hardware flow control stays without it.
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    ASSERT_EQ(tcsetattr(probe, TCSANOW, &t), 0);
    port = OpenComPort(pty.Entry(), messages);
    ASSERT_NE(port, nullptr);
    ASSERT_EQ(tcgetattr(probe, &t), 0);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    CloseComPort(port);
    close(probe);
}

TEST(OpenComPort, PortHeldElsewhereIsRefusedUntilReleased) {
    PtyPair pty;
    RecordingMessages messages;
    ComPort* first = OpenComPort(pty.Entry(), messages);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(OpenComPort(pty.Entry(), messages), nullptr);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error while opening ComPort\n" + pty.slavePath() +
                                          ": the port is in use by another program.");
    CloseComPort(first);

    // Another program's lock on the device counts the same.
    const int other = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenComPort(pty.Entry(), messages), nullptr);
    EXPECT_EQ(messages.shown.size(), 2u);
    close(other);

    ComPort* again = OpenComPort(pty.Entry(), messages);
    EXPECT_NE(again, nullptr);
    CloseComPort(again);
}

// Runs `body` in a child process as user and group "nobody"; returns its exit status.
template <typename Body>
int AsNobody(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0) {
            _exit(100);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(OpenComPort, OpenPortIsExclusiveForOtherUsersAndFreedOnClose) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    PtyPair pty;
    ASSERT_EQ(chmod(pty.slavePath().c_str(), 0666), 0);
    const std::string path = pty.slavePath();
    auto tryOpen = [&path] {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd >= 0) {
            close(fd);
            return 0;
        }
        return errno == EBUSY ? 1 : 2;
    };
    RecordingMessages messages;
    ComPort* port = OpenComPort(pty.Entry(), messages);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(AsNobody(tryOpen), 1) << "TIOCEXCL keeps other openers out";
    CloseComPort(port);
    // The pty outlives the port (the master is still open): the exclusive mode must go with it.
    EXPECT_EQ(AsNobody(tryOpen), 0);
}

TEST(OpenComPort, PermissionFailureNamesTheOwningGroup) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    PtyPair pty;
    ASSERT_EQ(chmod(pty.slavePath().c_str(), 0660), 0);
    struct stat st {};
    ASSERT_EQ(stat(pty.slavePath().c_str(), &st), 0);
    const group* g = getgrgid(st.st_gid);
    ASSERT_NE(g, nullptr);
    const std::string groupName = g->gr_name;
    const std::string expected = "Error while opening ComPort\n" + pty.slavePath() +
                                 ": Permission denied. Members of the group \"" + groupName +
                                 "\" may use it: sudo usermod -aG " + groupName +
                                 " $USER, then log out and in again.";
    const std::string entry = pty.Entry();
    EXPECT_EQ(AsNobody([&] {
                  RecordingMessages m;
                  ComPort* port = OpenComPort(entry, m);
                  return port == nullptr && m.shown.size() == 1 && m.shown[0].text == expected ? 0
                                                                                               : 1;
              }),
              0)
        << expected;
}

}  // namespace
}  // namespace norvane
