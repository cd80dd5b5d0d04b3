// The radio window as a screen reader meets it: every value read back through its accessible
// name, from published packets, before any report, as reports age and after they go stale; the
// neighbours in order of strength; Tab reaching every value; and reports at any rate kept
// without allocating, the latest winning.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <functional>
#include <map>
#include <thread>

#include "diag/frame_pump.h"
#include "diag/hdlc.h"
#include "link/port_discovery.h"
#include "radio/history_plot.h"
#include "radio/radio_session.h"
#include "radio/radio_window.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/frames.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using std::chrono::milliseconds;
using test::Bytes;

// A log frame of `hex`, padded with zeros to `size` payload bytes (what a dump leaves out).
DecodedLogFrame Packet(std::uint16_t code, std::string_view hex, std::size_t size = 0) {
    return DecodeLogFrame(test::LogFrame(code, test::HexBytes(hex, size)));
}

// Published packets (the unit tier checks their decoding).
const DecodedLogFrame kLteCell =
    Packet(0xB0C2, "028F001405644B64640074BC01D60503000000060102010000");
const DecodedLogFrame kLteIdle =
    Packet(0xB17F, "040100009C18D60AECC44E00E2244E00FFFCE30FFED80A0047AD56021D310100A2624100");
const DecodedLogFrame kIdleNeighbours = Packet(
    0xB180, "040100009C1847008348E44DDEA44C00CAB4CC32B6D8420300000000FF773301FF77330122020100");
const DecodedLogFrame kPrimary = Packet(
    0xB193,
    "0101ffff19240c024006000001000300a01100008f2200000acc030005e6811490ca1200b2a445005a0400000020"
    "2300b2744a00fef8930449000000fef8e30e440a150000000000a10200000000fbff2c002e000100586412770000"
    "ca0c0000a78c0000000000006f00000004000000a428000000000000b7fffffffe0000005ffcfffff0edffff",
    528);
const DecodedLogFrame kSecondary = Packet(
    0xB193,
    "0101e4a419302801a4050000020003000001ffff5e120000ed070000f2150500f98a6a1fed9f1200a8e443003904"
    "00006009960000702200a7844a001861640ff6000000186154111fc20e00000000001f02000005000a0000000000"
    "2c00360000000000000068186b0d0a002ee806002d3902000000000049070000870400001f150200000000005700"
    "000018010000990800008506000000000000000000005d020000ed0b0000ee150500f78a6a1fedc71100a8943a00"
    "390400006009960000101f0071644700e594e3088e000000e594830d1c5a0d00000000001c02000005000a000000"
    "00002c00360000000000000070189bc100002e310000bc020100000000006f00000010000000a4a0000000000000"
    "57000000e50000009c0800008a0600000000000000000000");
const DecodedLogFrame kWcdmaCell =
    Packet(0x4127, "f1250000a729000041852d0800000700d01802060200030f9d9c000001000000");

// A cell list of PSC 397 at -95 dBm, Ec/Io -8 dB, and a stronger PSC 50 at -80 dBm, -10 dB.
const DecodedLogFrame kWcdmaList = DecodeLogFrame(
    test::CellList(1, 0, {test::Cell(10663, 397, 181, 0, 248), test::Cell(10663, 50, 196)}));

// What the accessibility tree says the value of the element named `name` is (rows hidden for the
// technology are not there).
std::string Read(QWidget& window, const QString& name) {
    std::vector<QAccessibleInterface*> todo{QAccessible::queryAccessibleInterface(&window)};
    while (!todo.empty()) {
        QAccessibleInterface* a = todo.back();
        todo.pop_back();
        const auto* widget = qobject_cast<const QWidget*>(a->object());  // not a table's cell
        if (a->text(QAccessible::Name) == name && widget != nullptr &&
            widget->accessibleName() == name && !widget->isHidden()) {
            return a->text(QAccessible::Value).toStdString();
        }
        for (int i = 0; i < a->childCount(); ++i) {
            todo.push_back(a->child(i));
        }
    }
    return "<" + name.toStdString() + " not found>";
}

// The neighbour table, a row a line.
std::vector<std::string> Rows(QWidget& window) {
    auto* table = window.findChild<QTableWidget*>();
    std::vector<std::string> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c) {
            cells << table->item(r, c)->text();
        }
        rows.push_back(cells.join(" | ").toStdString());
    }
    return rows;
}

// The signalling list, found by its accessible name.
QTableView* SignallingView(QWidget& window) {
    for (QTableView* t : window.findChildren<QTableView*>()) {
        if (t->accessibleName() == "Signalling") {
            return t;
        }
    }
    return nullptr;
}

struct Clock {
    std::atomic<long> ms{1'000'000};
    RadioClockSource Source() {
        return [this] { return RadioClock::time_point(milliseconds(ms.load())); };
    }
};

TEST(RadioWindow, ValuesFromPublishedPacketsAgeAndGoStale) {
    Clock clock;
    RadioWindow w(nullptr, nullptr, clock.Source());
    const std::string none = kNoReportText;
    const struct {
        const char* step;
        long advanceMs;
        std::vector<const DecodedLogFrame*> feed;
        std::map<QString, std::string> values;
        std::vector<std::string> neighbours;
    } steps[] = {
        {"before any report",
         0,
         {},
         {{"Technology", none},
          {"PCI", none},
          {"RSRP", none},
          {"RSRP age", none},
          {"Identity age", none},
          {"Neighbour count", none},
          {"Status", "No modem connected"}},
         {}},
        {"idle: identity, serving and neighbour",
         0,
         {&kLteCell, &kLteIdle, &kIdleNeighbours},
         {{"Technology", "LTE"},
          {"MCC / MNC", "262 / 01"},
          {"TAC", "1494"},
          {"Cell ID", "29127680 (eNB 113780, cell 0)"},
          {"PCI", "143"},
          {"EARFCN", "1300 (UL 19300)"},
          {"Band", "3, 20 MHz"},
          {"Identity age", "0 s ago"},
          {"RSRP", "-101.3 dBm, fair"},
          {"RSRQ", "-14.1 dB, fair"},
          {"RSSI", "-66.6 dBm, good"},
          {"Neighbour count", "1 cells"}},
         {"131 | 6300 | -102.1 | -17.3 | -75.8 | idle neighbour | 0 s ago"}},
        {"connected a second later: primary and an aggregated carrier",
         1000,
         {&kPrimary, &kSecondary},
         {{"RSRP", "-104.9 dBm, fair"},
          {"RSRQ", "-14.1 dB, fair"},
          {"RSSI", "-67.9 dBm, good"},
          {"RSRP age", "0 s ago"},
          {"PCI", "416"},  // the measured primary cell: the identity of PCI 143 is gone
          {"EARFCN", "1600"},
          {"Band", "3"},
          {"TAC", none},
          {"Identity age", none}},
         {"131 | 6300 | -102.1 | -17.3 | -75.8 | idle neighbour | 1 s ago",
          "94 | 1444 | -105.6 | -12.5 | -76.1 | SCell 1 | 0 s ago",
          "93 | 1444 | -108.9 | -15.7 | -76.3 | neighbour | 0 s ago"}},
        {"10 s after the idle reports: still shown",
         9000,
         {},
         {{"PCI", "416"}, {"Identity age", none}, {"RSRP", "-104.9 dBm, fair"}},
         {"131 | 6300 | -102.1 | -17.3 | -75.8 | idle neighbour | 10 s ago",
          "94 | 1444 | -105.6 | -12.5 | -76.1 | SCell 1 | 9 s ago",
          "93 | 1444 | -108.9 | -15.7 | -76.3 | neighbour | 9 s ago"}},
        {"a moment later the idle reports are stale",
         1,
         {},
         {{"Technology", "LTE"},
          {"PCI", "416"},
          {"TAC", none},
          {"Identity age", none},
          {"RSRP", "-104.9 dBm, fair"},
          {"Neighbour count", "2 cells"}},
         {"94 | 1444 | -105.6 | -12.5 | -76.1 | SCell 1 | 9 s ago",
          "93 | 1444 | -108.9 | -15.7 | -76.3 | neighbour | 9 s ago"}},
        {"then everything",
         1000,
         {},
         {{"RSRP", none}, {"RSRP age", none}, {"PCI", none}, {"Neighbour count", none}},
         {}},
        {"WCDMA: the list entry of the identity's PSC",
         0,
         {&kWcdmaCell, &kWcdmaList},
         {{"Technology", "WCDMA"},
          {"MCC / MNC", "262 / 03"},
          {"LAC", "40093"},
          {"Cell ID", "137200961 (RNC 2093, cell 34113)"},
          {"PSC", "397"},
          {"UARFCN", "10663 (UL 9713)"},
          {"Band", "I, 2132 MHz"},
          {"RSCP", "-95.0 dBm, fair"},
          {"Ec/Io", "-4.0 dB, good"},
          {"RSSI", "<RSSI not found>"}},
         {}},
        {"WCDMA, identity stale: the strongest entry",
         10500,
         {&kWcdmaList},
         {{"PSC", none}, {"RSCP", "-80.0 dBm, good"}, {"Ec/Io", "-5.0 dB, good"}},
         {}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        clock.ms += s.advanceMs;
        for (const DecodedLogFrame* f : s.feed) {
            w.TakeReport(*f);
        }
        w.Render();
        for (const auto& [name, value] : s.values) {
            EXPECT_EQ(Read(w, name), value) << name.toStdString();
        }
        EXPECT_EQ(Rows(w), s.neighbours);
    }
}

// Tab visits every value once, in reading order, with the LTE names.
TEST(RadioWindow, TabReachesEveryValue) {
    RadioWindow w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QStringList names;
    for (int i = 0; i < 32; ++i) {
        names << QApplication::focusWidget()->accessibleName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(
        names.join(", ").toStdString(),
        "Port, Technology, MCC / MNC, TAC, Cell ID, PCI, EARFCN, Band, Identity age, RSRP, "
        "RSRP age, RSRQ, RSRQ age, RSSI, RSSI age, Neighbour count, LTE neighbours, Position, "
        "Status, NR PCI, NR-ARFCN, NR band, NR cell ID, NR TAC, NR MCC / MNC, SS-RSRP, "
        "SS-RSRP age, SS-RSRQ, SS-RSRQ age, RRC state, Signalling, Port");
}

// Reports at any rate: taking one allocates nothing, the window draws at its own pace, and what
// it shows is the last report taken.
TEST(RadioWindow, LatestWinsAtAnyRateWithoutGrowing) {
    RadioWindow w;
    std::array<DecodedLogFrame, 2> frames{kLteIdle, kLteIdle};
    frames[1].lteIdle.rsrp = -16 * 80;
    const std::size_t before = test::AllocationCount();
    for (int i = 0; i < 100000; ++i) {
        w.TakeReport(frames[static_cast<std::size_t>(i % 2)]);
    }
    EXPECT_EQ(test::AllocationCount(), before);
    w.Render();
    EXPECT_EQ(Read(w, "RSRP"), "-80.0 dBm, good");

    std::atomic<bool> done{false};
    std::thread feeder([&] {
        for (int i = 0; i < 200000; ++i) {
            w.TakeReport(frames[static_cast<std::size_t>(i % 2)]);
        }
        w.TakeReport(frames[0]);
        done = true;
    });
    const std::uint64_t renders = w.Renders();
    QTest::qWait(300);
    feeder.join();
    QTest::qWait(100);
    EXPECT_LE(w.Renders() - renders, 400 / kRenderIntervalMs + 1);
    EXPECT_EQ(Read(w, "RSRP"), "-101.3 dBm, fair");
}

// The history at the highest rate, 10,000 reports 50 ms apart: a line for the serving cell before
// and after a handover and one for each neighbour, the handover marked once, the position with
// its fix; the history allocates nothing however long it is fed.
TEST(RadioWindow, HistoryOfServingCellAndNeighbours) {
    Clock clock;
    RadioWindow w(nullptr, nullptr, clock.Source());
    w.show();
    DecodedLogFrame idle = kLteIdle;
    for (int i = 0; i < 10000; ++i) {
        idle.lteIdle.pci = i < 5000 ? 405 : 406;
        idle.lteIdle.rsrp = -16 * (90 + i % 20);
        w.TakeReport(idle);
        w.TakeReport(kIdleNeighbours);
        clock.ms += 50;
        w.Render();
    }
    w.Plot().grab();  // paints
    EXPECT_EQ(w.Plot().Legend().join(", ").toStdString(),
              "PCI 405 on 6300 (serving), PCI 131 on 6300, PCI 406 on 6300 (serving)");
    const SignalHistory& h = w.History();
    int handovers = 0;
    for (std::int64_t s = h.newest() - kHistorySeconds - 10; s <= h.newest(); ++s) {
        handovers += h.HandoverAt(s) ? 1 : 0;
    }
    EXPECT_EQ(handovers, 1);
    w.TakePosition({FixMode::k3d, 48.1377583, -11.5778, 529, 12.5});
    EXPECT_EQ(Read(w, "Position"), "48.13776\u00b0 N, 11.57780\u00b0 W, 529 m, 45 km/h (3D fix)");
    w.TakePosition({});
    EXPECT_EQ(Read(w, "Position"), "no fix");

    SignalHistory history;
    std::array<HistoryValue, 12> cells{};
    const std::size_t before = test::AllocationCount();
    for (int i = 0; i < 10000; ++i) {
        for (std::size_t k = 0; k < cells.size(); ++k) {
            cells[k] = {
                {true, 100, static_cast<std::uint16_t>((i / 500 + k) % 40)}, -100.f - k, -10};
        }
        history.Take(i / 20, &cells[0], std::span(cells).subspan(1));
    }
    EXPECT_EQ(test::AllocationCount(), before);
    EXPECT_EQ(std::count_if(history.tracks().begin(), history.tracks().end(),
                            [](const auto& t) { return t.used; }),
              8);
}

// A real phone in connected mode, from its two neighbour logs only (no identity packet): the
// serving cell's PCI, EARFCN and band, its signal, and the neighbour as the later log has it.
// At the window's opening size eight neighbours fit in the table without scrolling.
TEST(RadioWindow, ConnectedModeFromARealPhonesNeighbourLogs) {
    Clock clock;
    RadioWindow w(nullptr, nullptr, clock.Source());
    w.show();
    const std::string bytes = test::ReadFile(NORVANE_SOURCE_DIR "/tests/data/lte-samples.bin");
    auto deframer = std::make_unique<HdlcDeframer>();
    FrameCounters counters;
    DecodedLogFrame intra;
    PumpFrames(
        *deframer, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
        counters, [&](auto, std::span<const std::uint8_t> frame) {
            const DecodedLogFrame d = DecodeLogFrame(frame);
            if (d.kind == LogFrameKind::LteIntraMeas || d.kind == LogFrameKind::LteNeighbourMeas) {
                w.TakeReport(d);
                intra = d.kind == LogFrameKind::LteIntraMeas ? d : intra;
            }
        });
    w.Render();
    const std::string none = kNoReportText;
    const std::map<QString, std::string> values = {{"Technology", "LTE"},
                                                   {"PCI", "405"},
                                                   {"EARFCN", "5780"},
                                                   {"Band", "17"},
                                                   {"TAC", none},
                                                   {"MCC / MNC", none},
                                                   {"Identity age", none},
                                                   {"RSSI", none},
                                                   {"RSRP", "-96.5 dBm, fair"},
                                                   {"Neighbour count", "1 cells"}};
    for (const auto& [name, value] : values) {
        EXPECT_EQ(Read(w, name), value) << name.toStdString();
    }
    EXPECT_EQ(Rows(w),
              std::vector<std::string>{"154 | 5780 | -110.8 | -24.4 |  | neighbour | 0 s ago"});

    ASSERT_EQ(intra.kind, LogFrameKind::LteIntraMeas);
    intra.lteIntra.count = 8;
    for (std::uint16_t k = 0; k < 8; ++k) {
        intra.lteIntra.cells[k] = {std::uint16_t(200 + k), -16 * (100 + k), -16 * 12};
    }
    clock.ms += 1000;
    w.TakeReport(intra);
    w.Render();
    auto* table = w.findChild<QTableWidget*>();
    ASSERT_EQ(table->rowCount(), 9);
    EXPECT_LE(table->rowViewportPosition(7) + table->rowHeight(7), table->viewport()->height());
}

// The signalling of real phones in the list, newest last, with the RRC state they show; a
// reconfiguration answered on another cell is a handover row and a mark on the plot; the list
// keeps the last 2,000 rows and stays where the user scrolled to.
TEST(RadioWindow, SignallingListRrcStateAndHandovers) {
    Clock clock;
    RadioWindow w(nullptr, nullptr, clock.Source());
    w.show();
    const std::string bytes =
        test::ReadFile(NORVANE_SOURCE_DIR "/tests/data/signalling-samples.bin");
    auto deframer = std::make_unique<HdlcDeframer>();
    FrameCounters counters;
    int messages = 0;
    PumpFrames(*deframer,
               std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
               counters, [&](auto, std::span<const std::uint8_t> frame) {
                   const DecodedLogFrame d = DecodeLogFrame(frame);
                   messages += d.kind == LogFrameKind::Rrc || d.kind == LogFrameKind::Nas;
                   w.TakeReport(d);
               });
    w.Render();
    QTableView* list = SignallingView(w);
    const auto row = [&](int r) {
        QStringList cells;
        for (int c = 0; c < list->model()->columnCount(); ++c) {
            cells << list->model()->index(r, c).data().toString();
        }
        return cells.join(" | ").toStdString();
    };
    // The captures put one after another: a reconfiguration of one is answered in the next.
    EXPECT_EQ(list->model()->rowCount(), messages + 1);
    EXPECT_EQ(row(0), "22:25:23.942 | UL | LTE | NAS | Service request");

    DecodedLogFrame f;
    f.kind = LogFrameKind::Rrc;
    f.hasModemTime = true;
    f.modemTimeUnixMs = 1450888361118;  // 16:32:41.118
    f.signalling.channel = SignallingChannel::kDlDcch;
    f.signalling.name = "RRCConnectionReconfiguration";
    f.signalling.pci = 185;
    f.signalling.earfcn = 5780;
    w.TakeReport(f);
    f.signalling.direction = SignallingDirection::kUplink;
    f.signalling.channel = SignallingChannel::kUlDcch;
    f.signalling.name = "RRCConnectionReconfigurationComplete";
    f.signalling.pci = 193;
    w.TakeReport(f);
    w.Render();
    const int n = list->model()->rowCount();
    EXPECT_EQ(row(n - 2),
              "16:32:41.118 | UL | LTE | UL-DCCH | RRCConnectionReconfigurationComplete");
    EXPECT_EQ(row(n - 1), "16:32:41.118 |  |  |  | Handover PCI 185 \u2192 193");
    EXPECT_EQ(Read(w, "RRC state"), "RRC connected");
    EXPECT_TRUE(w.History().HandoverAt(w.History().newest()));

    list->scrollToTop();  // the user looks back: new rows do not move the list
    for (int i = 0; i < 2500; ++i) {
        w.TakeReport(f);
    }
    w.Render();
    EXPECT_EQ(list->model()->rowCount(), 2000);
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
}

// On the simulated LTE anchor with an NR cell: both technologies, the NR cell's identity and
// signal, its neighbours in the table.
TEST(RadioWindow, ShowsTheSimulatedNrCellBesideItsLteAnchor) {
    QTemporaryDir dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
    test::SimProcess sim({"--rat", "lte-nr", "--rate", "10"}, SimulatorLinkPath());
    RadioSession session;
    auto* w = new RadioWindow(&session);
    const auto shows = [&](const char* name, const std::function<bool(const std::string&)>& ok) {
        return QTest::qWaitFor([&] { return ok(Read(*w, name)); }, 15000);
    };
    const auto is = [](std::string want) {
        return [want](const std::string& v) { return v == want; };
    };
    EXPECT_TRUE(shows("Technology", is("LTE + NR"))) << Read(*w, "Status");
    EXPECT_TRUE(shows("NR PCI", is("393")));
    EXPECT_TRUE(shows("NR band", is("n78, 100 MHz"))) << Read(*w, "NR band");
    EXPECT_TRUE(shows("SS-RSRP", [](const std::string& v) { return v.find(" dBm, ") != v.npos; }));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return std::ranges::any_of(Rows(*w), [](const std::string& r) {
                return r.find("NR neighbour, SSB") != std::string::npos;
            });
        },
        15000));
    w->close();
    delete w;
    qunsetenv("XDG_RUNTIME_DIR");
}

// On the simulated LTE modem through the window's own session, started on the preselected port:
// the identity the modem sends, then its measurements; closing the window ends the session.
TEST(RadioWindow, ShowsTheSimulatedLteModemThroughItsOwnSession) {
    QTemporaryDir dir;  // the port list finds the simulator there and preselects it
    qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
    test::SimProcess sim({"--rat", "lte", "--rate", "10"}, SimulatorLinkPath());
    RadioSession session;
    auto* w = new RadioWindow(&session);
    const auto shows = [&](const char* name, const std::string& value) {
        return QTest::qWaitFor([&] { return Read(*w, name) == value; }, 6000);
    };
    EXPECT_TRUE(shows("PCI", "212")) << Read(*w, "Status");
    EXPECT_TRUE(shows("MCC / MNC", "262 / 01"));
    EXPECT_TRUE(shows("TAC", "14881"));
    EXPECT_TRUE(shows("EARFCN", "1300 (UL 19300)"));
    EXPECT_TRUE(shows("Band", "3, 20 MHz"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Read(*w, "RSRP").find(" dBm, ") != std::string::npos; }, 3000))
        << Read(*w, "RSRP");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Rows(*w).size() >= 2; }, 3000));
    // The history draws the serving cell and the neighbours the modem measured.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            w->Plot().grab();
            const QStringList& legend = w->Plot().Legend();
            return legend.filter("(serving)").size() >= 1 && legend.size() >= 3;
        },
        3000))
        << w->Plot().Legend().join(", ").toStdString();
    EXPECT_EQ(Read(*w, "Status"), "Monitoring " + sim.link());
    // Its signalling: the list fills, the RRC state follows set-up and release.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Read(*w, "RRC state") == "RRC connected"; }, 15000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Read(*w, "RRC state") == "RRC idle"; }, 15000));
    EXPECT_GT(SignallingView(*w)->model()->rowCount(), 10);
    w->close();
    delete w;
    EXPECT_FALSE(session.PortOpen());
    qunsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace norvane
