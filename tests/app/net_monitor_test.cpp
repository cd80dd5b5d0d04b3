// "NetMonitor" on the start window, pressed twice against the simulated modem: each press runs
// a freshly built monitor, modal over the start window, that opens the port anew, shows cells,
// and is gone when its run ends.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <array>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/start_window.h"
#include "diag/command_table.h"
#include "diag/monitoring.h"
#include "framework/framework.h"
#include "framework/message_box.h"
#include "monitor/monitor_window.h"
#include "res/resource.h"
#include "tests/sim/sim_process.h"

namespace norvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Append(Bytes& out, std::string_view storedText) {
    std::array<std::uint8_t, 1024> buffer{};
    const std::size_t n = StoredFrameToBytes(storedText, buffer);
    ASSERT_GT(n, 0u);
    out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

void AppendRow(Bytes& out, std::string_view name) {
    const DiagCommandRow* row = FindCommandRow(name);
    ASSERT_NE(row, nullptr) << name;
    Append(out, row->strFrame);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What one monitor run sends: the start-up exchange, cells on, then Exit's stop sequence.
Bytes OneRun() {
    Bytes bytes;
    Append(bytes, DiagProbeFrame);
    AppendRow(bytes, "ON Cell RSSI");
    AppendRow(bytes, "OFF_AGC");
    AppendRow(bytes, "OFF Cell RSSI");
    bytes.push_back(0x7E);
    return bytes;
}

// Points the port list's simulator entry at this test's simulator for the test's lifetime.
class RuntimeDir {
  public:
    explicit RuntimeDir(const std::string& link) {
        if (const char* old = getenv("XDG_RUNTIME_DIR")) {
            previous_ = old;
            hadPrevious_ = true;
        }
        setenv("XDG_RUNTIME_DIR", link.substr(0, link.rfind('/')).c_str(), 1);
    }
    ~RuntimeDir() {
        if (hadPrevious_) {
            setenv("XDG_RUNTIME_DIR", previous_.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }

  private:
    std::string previous_;
    bool hadPrevious_ = false;
};

// What the test saw of one monitor while it ran.
struct Seen {
    QPointer<CComDlg> monitor;
    QWidget* parent = nullptr;
    bool modal = false;
    QString sarText;
    QString port;
    bool cells = false;
};

TEST(NetMonitorButton, EachPressRunsAFreshMonitorOverTheStartWindow) {
    test::SimProcess sim({"--rate", "20", "--seed", "7"});
    RuntimeDir runtime(sim.link());
    std::vector<std::string> messages;
    MessageBoxPresenter previous = SetMessageBoxPresenter(
        [&](const MessageBoxCall& call) { messages.push_back(call.caption + ": " + call.text); });

    CTessalyDlg start;
    SetMainWindow(&start);
    start.Create();
    start.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&start));

    std::vector<Seen> seen;
    // Runs inside the monitor's modal loop: looks at it, marks it, and presses "Exit".
    auto inspectAndExit = [&] {
        Seen s;
        s.monitor = qobject_cast<CComDlg*>(QApplication::activeModalWidget());
        if (s.monitor == nullptr) {
            seen.push_back(s);
            return;
        }
        CComDlg& m = *s.monitor;
        s.parent = m.parentWidget();
        s.modal = m.isModal();
        s.sarText = m.itemText(IDC_SAR_LABEL);
        s.port = m.itemText(IDC_PORT);
        s.cells = QTest::qWaitFor([&] { return !m.itemText(IDC_PSC_FIRST).isEmpty(); }, 5000);
        // A mark a fresh window would not carry.
        m.setItemText(IDC_SAR_LABEL, "used");
        seen.push_back(s);
        qobject_cast<QPushButton*>(m.item(IDOK))->click();
    };

    auto* button = qobject_cast<QPushButton*>(start.item(IDC_NETMONITOR));
    ASSERT_NE(button, nullptr);
    for (int press = 0; press < 2; ++press) {
        QTimer::singleShot(0, qApp, inspectAndExit);
        button->click();  // returns when the monitor's modal run has ended
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(press + 1));
        EXPECT_TRUE(seen.back().monitor.isNull()) << "the monitor outlived its run";
        EXPECT_TRUE(start.isVisible());
    }

    for (const Seen& s : seen) {
        EXPECT_EQ(s.parent, &start);
        EXPECT_TRUE(s.modal);
        EXPECT_EQ(s.sarText, QString::fromLatin1(kSarOffText));
        EXPECT_TRUE(s.port.startsWith(QString::fromStdString(sim.link()))) << s.port.toStdString();
        EXPECT_TRUE(s.cells);
    }
    EXPECT_TRUE(messages.empty()) << messages.front();

    // Both runs opened the port anew and stopped it with Exit's sequence, in order.
    Bytes expected = OneRun();
    const Bytes second = OneRun();
    expected.insert(expected.end(), second.begin(), second.end());
    Bytes recorded;
    (void)QTest::qWaitFor(
        [&] {
            recorded = ReadFile(sim.recordPath());
            return recorded.size() >= expected.size();
        },
        3000);
    EXPECT_EQ(recorded, expected);

    start.close();
    SetMainWindow(nullptr);
    SetMessageBoxPresenter(std::move(previous));
}

}  // namespace
}  // namespace norvane
