// norvane-cli monitor --gps against a real gpsd: gpsfake plays the bundled drive into it while
// the monitor records the simulator; gpsd is stopped and started again mid-run.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;

struct Fix {
    double lat, lon;
};

// The fixes of the drive's GGA sentences (fix quality above 0).
std::vector<Fix> DriveFixes(const std::string& nmea) {
    std::vector<Fix> fixes;
    std::istringstream in(nmea);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) {
            f.push_back(field);
        }
        if (f[0] == "$GPGGA" && f[6] != "0") {
            const auto degrees = [](const std::string& v, int width) {
                return std::stod(v.substr(0, width)) + std::stod(v.substr(width)) / 60;
            };
            fixes.push_back({degrees(f[2], 2), degrees(f[4], 3)});
        }
    }
    return fixes;
}

// gpsfake (and the gpsd it starts) in a process group of its own, so both end together.
pid_t StartGpsd(int port, const std::string& log) {
    return test::Spawn({"/usr/bin/setsid", "gpsfake", "-q", "-c", "0.1", "-P", std::to_string(port),
                        NORVANE_SOURCE_DIR "/tools/sim/data/drive.nmea"},
                       log.c_str());
}
// Waits until gpsd takes connections on `port` (gpsfake needs a moment to start it).
bool WaitListening(int port) {
    for (int i = 0; i < 300; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up =
            fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0) {
            close(fd);
        }
        if (up) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}
void StopGpsd(pid_t group) {
    kill(-group, SIGKILL);
    test::WaitExit(group, 10s);
}

std::size_t Lines(const std::string& path) {
    const std::string text = test::ReadFile(path);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::size_t Count(const std::string& path, const std::string& pattern) {
    const std::regex re(pattern);
    const std::string text = test::ReadFile(path);
    return static_cast<std::size_t>(
        std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

// Waits until `path` holds `count` matches of `pattern`.
bool WaitFor(const std::string& path, const std::string& pattern, std::size_t count) {
    for (int i = 0; i < 300; ++i) {
        if (Count(path, pattern) >= count) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

TEST(MonitorGps, PositionsFollowTheReceiverAcrossAGpsdRestartAndReachTheCapture) {
    test::SimProcess sim({});
    // Below the ephemeral range (32768 up), so no connection of this machine holds it by chance.
    const int port = 20000 + getpid() % 10000;
    const std::string out = sim.Scratch("log.jsonl"), err = sim.Scratch("err"),
                      pcap = sim.Scratch("drive.pcap");
    const std::string cli = NORVANE_BINARY_DIR "/tools/norvane-cli";
    const std::string gpsfakeLog = sim.Scratch("gpsfake.log");
    pid_t gpsd = StartGpsd(port, gpsfakeLog);
    ASSERT_TRUE(WaitListening(port));
    const pid_t monitor =
        test::Spawn({"/bin/sh", "-c",
                     "exec " + cli + " monitor --gps localhost:" + std::to_string(port) +
                         " --record " + pcap + " '" + sim.Entry() + "' >" + out + " 2>" + err});
    // A whole pass of the drive holds its tunnel (no fix) and fixes after it.
    EXPECT_TRUE(WaitFor(out, R"("fix":"none"\}[\s\S]*"fix":"[23]d")", 1));
    StopGpsd(gpsd);
    const std::size_t fixedBefore = Count(out, R"("fix":"[23]d")");
    EXPECT_TRUE(WaitFor(err, "has gone away", 1));
    gpsd = StartGpsd(port, gpsfakeLog);
    EXPECT_TRUE(WaitFor(err, "answers again", 1));
    EXPECT_TRUE(WaitFor(out, R"("fix":"[23]d")", fixedBefore + 2))
        << test::ReadFile(err) << test::ReadFile(gpsfakeLog);
    kill(monitor, SIGTERM);
    EXPECT_EQ(test::WaitExit(monitor, 10s), 0);
    StopGpsd(gpsd);

    // Each position is one of the drive's fixes, a second or more after the one before.
    const std::vector<Fix> fixes =
        DriveFixes(test::ReadFile(NORVANE_SOURCE_DIR "/tools/sim/data/drive.nmea"));
    const std::regex position(
        R"re(\{"time":"[^"]*:(\d\d\.\d\d\d)Z","type":"position","lat":([-.\d]+),"lon":([-.\d]+),"alt":([-.\d]+|null),"speed":([.\d]+|null),"fix":"([23]d)"\})re");
    std::istringstream log(test::ReadFile(out));
    int positions = 0, lost = 0;
    double lastSecond = -1;
    for (std::string line; std::getline(log, line);) {
        std::smatch m;
        if (line.find(R"("type":"position","fix":"none")") != std::string::npos) {
            ++lost;
            continue;
        }
        if (line.find("position") == std::string::npos) {
            continue;
        }
        ASSERT_TRUE(std::regex_match(line, m, position)) << line;
        ++positions;
        const double lat = std::stod(m[2]), lon = std::stod(m[3]);
        EXPECT_TRUE(std::any_of(fixes.begin(), fixes.end(), [&](const Fix& f) {
            return std::abs(f.lat - lat) < 1e-6 && std::abs(f.lon - lon) < 1e-6;
        })) << line;
        EXPECT_TRUE(m[4] == "null" || m[6] == "3d") << line;  // altitude with a 3D fix only
        const double second = std::stod(m[1]);
        if (lastSecond >= 0) {
            EXPECT_GE(std::fmod(second - lastSecond + 60, 60), 0.99) << line;
        }
        lastSecond = second;
    }
    EXPECT_GE(positions, 4);
    EXPECT_GE(lost, 2) << "the tunnel and gpsd's end";
    EXPECT_EQ(Lines(err), 2u) << test::ReadFile(err);

    // The capture holds the same positions: it exports to the same rows as the log (their
    // times are the capture's, taken a little earlier than the printed ones).
    ASSERT_EQ(std::system((cli + " export " + pcap + " --csv " + sim.Scratch("p.csv") +
                           " 2>/dev/null && " + cli + " export " + out + " --csv " +
                           sim.Scratch("l.csv") + " 2>/dev/null")
                              .c_str()),
              0);
    const auto columns = [](const std::string& csv) {
        std::string cut;
        std::istringstream in(csv);
        for (std::string line; std::getline(in, line);) {
            cut += line.substr(line.find(',')) + '\n';
        }
        return cut;
    };
    const std::string rows = columns(test::ReadFile(sim.Scratch("p.csv")));
    EXPECT_EQ(rows, columns(test::ReadFile(sim.Scratch("l.csv"))));
    EXPECT_NE(rows.find(",WCDMA,"), std::string::npos);
    // Wireshark's reader opens the capture and finds the positions as UDP datagrams.
    ASSERT_EQ(std::system(("tshark -r " + pcap + " -Y udp.port==47290 >" + sim.Scratch("t") +
                           " 2>/dev/null")
                              .c_str()),
              0);
    EXPECT_EQ(Lines(sim.Scratch("t")), std::size_t(positions + lost));
}

}  // namespace
}  // namespace norvane
