// The simulated modem's protocol, driven without a pty: what it answers, which masks switch
// which reports, what the reports hold, AT mode, noise and repeatability.
#include "tools/sim/modem.h"

#include <algorithm>
#include <array>
#include <string_view>

#include <gtest/gtest.h>

#include "diag/command_table.h"
#include "diag/hdlc.h"
#include "diag/log_decoder.h"

namespace norvane::sim {
namespace {

Bytes Row(std::string_view name) {
    const DiagCommandRow* row = FindCommandRow(name);
    EXPECT_NE(row, nullptr) << name;
    std::array<std::uint8_t, 1024> out{};
    return Bytes(out.begin(),
                 out.begin() + static_cast<std::ptrdiff_t>(StoredFrameToBytes(row->strFrame, out)));
}

Bytes Probe() {
    std::array<std::uint8_t, 64> out{};
    return Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(
                                                StoredFrameToBytes(DiagProbeFrame, out)));
}

struct Deframed {
    std::vector<Bytes> frames;
    int badFcs = 0;
};

Deframed Deframe(const Bytes& wire) {
    Deframed d;
    HdlcDeframer deframer;
    std::span<const std::uint8_t> in(wire);
    while (!in.empty()) {
        const auto step = deframer.Feed(in);
        in = in.subspan(step.consumed);
        if (step.status == HdlcDeframer::Status::kFrame) {
            d.frames.emplace_back(deframer.Payload().begin(), deframer.Payload().end());
        } else if (step.status == HdlcDeframer::Status::kBadFcs) {
            ++d.badFcs;
        }
    }
    return d;
}

std::int64_t UpTimeMs(const CellReport& r) {
    return ((r.hours * 60LL + r.minutes) * 60 + r.seconds) * 1000 + r.milliseconds;
}

bool InBandIOrVIII(int uarfcn) {
    return (uarfcn >= 10562 && uarfcn <= 10838) || (uarfcn >= 2937 && uarfcn <= 3088);
}

class Modem : public ::testing::Test {
  protected:
    Bytes Send(const Bytes& wire) {
        Bytes out;
        modem_.FromHost(wire, out);
        return out;
    }
    Bytes Tick(double seconds = 1.0) {
        uptimeMs_ += static_cast<std::uint64_t>(seconds * 1000);
        Bytes out;
        modem_.Tick(uptimeMs_, seconds, out);
        return out;
    }
    ModemOptions options_{.seed = 7, .startUptimeMs = 3'723'004};
    SimModem modem_{options_};
    std::uint64_t uptimeMs_ = 3'723'004;
};

TEST_F(Modem, ProbeIsEchoedAndLogMasksAreAcknowledged) {
    EXPECT_EQ(Send(Probe()), Probe());
    const Deframed reply = Deframe(Send(Row("ON Cell RSSI")));
    ASSERT_EQ(reply.frames.size(), 1u);
    const Bytes& r = reply.frames[0];
    ASSERT_GE(r.size(), 12u);
    EXPECT_EQ(r[0], 0x73);
    EXPECT_EQ(r[4], 3);                                            // operation: set mask
    EXPECT_EQ(Bytes(r.begin() + 8, r.begin() + 12), Bytes(4, 0));  // status: success
    EXPECT_TRUE(modem_.CellListOn());
    EXPECT_FALSE(modem_.SarPaOn());
    // Unknown commands get the bad-command reply.
    const Deframed bad = Deframe(Send(Row("VERNUM")));
    ASSERT_EQ(bad.frames.size(), 1u);
    EXPECT_EQ(bad.frames[0][0], 0x13);
}

TEST_F(Modem, NothingIsSentUntilALogCodeIsOn) {
    EXPECT_TRUE(Tick().empty());
    Send(Row("ON Cell RSSI"));
    EXPECT_FALSE(Tick().empty());
    Send(Row("OFF Cell RSSI"));
    EXPECT_FALSE(modem_.CellListOn());
    EXPECT_TRUE(Tick().empty());
}

TEST_F(Modem, CellListsDecodeToPlausibleDriftingCellsWithRisingUpTime) {
    Send(Row("ON Cell RSSI"));
    std::int64_t lastMs = -1;
    bool sawEscape = false;
    std::vector<int> counts;
    for (int i = 0; i < 120; ++i) {
        const Bytes wire = Tick();
        sawEscape = sawEscape || std::find(wire.begin(), wire.end(), kHdlcEscape) != wire.end();
        const Deframed d = Deframe(wire);
        ASSERT_EQ(d.frames.size(), 1u);
        const DecodedLogFrame f = DecodeLogFrame(d.frames[0]);
        ASSERT_EQ(f.kind, LogFrameKind::CellList);
        const CellReport& r = f.cells;
        if (i == 0) {
            EXPECT_EQ(r.hours, 1);  // started at 1 h 2 min 3.004 s, one second ago
            EXPECT_EQ(r.minutes, 2);
        }
        EXPECT_GT(UpTimeMs(r), lastMs);
        lastMs = UpTimeMs(r);
        ASSERT_GE(r.wcdmaCellCount, 1);
        ASSERT_LE(r.wcdmaCellCount, 8);
        EXPECT_LE(r.gsmCellCount, 6);
        counts.push_back(r.wcdmaCellCount);
        for (int k = 0; k < r.wcdmaCellCount; ++k) {
            const CellEntry& c = r.cells[static_cast<std::size_t>(k)];
            EXPECT_TRUE(InBandIOrVIII(c.uarfcn)) << c.uarfcn;
            EXPECT_GE(c.psc, 0);
            EXPECT_LE(c.psc, 511);
            EXPECT_GE(c.rscp, -120);
            EXPECT_LE(c.rscp, -50);
            EXPECT_EQ(c.rscpBarPos, c.rscp);
            EXPECT_GE(c.ecIo, -24);
            EXPECT_LE(c.ecIo, -1);
        }
    }
    EXPECT_TRUE(sawEscape) << "0x7D/0x7E values must show up on the wire";
    EXPECT_GT(*std::max_element(counts.begin(), counts.end()),
              *std::min_element(counts.begin(), counts.end()))
        << "cells appear and fade";
}

TEST_F(Modem, SarPaRunsFromOnAgc3UntilOffAgcAndPaCrosses80) {
    for (std::string_view row : {"ON_AGC", "ON_AGC1", "ON_AGC2"}) {
        EXPECT_EQ(Deframe(Send(Row(row))).frames.size(), 1u) << row;
        EXPECT_FALSE(modem_.SarPaOn());
    }
    Send(Row("ON_AGC3"));
    ASSERT_TRUE(modem_.SarPaOn());
    int below = 0, above = 0;
    std::array<int, 4> levels{};
    for (int i = 0; i < 40; ++i) {
        const Deframed d = Deframe(Tick());
        ASSERT_EQ(d.frames.size(), 1u);
        EXPECT_EQ(d.frames[0].size(), 32u);
        const DecodedLogFrame f = DecodeLogFrame(d.frames[0]);
        ASSERT_EQ(f.kind, LogFrameKind::SarPa);
        ASSERT_TRUE(f.sarPa.hasSarLevel);
        ++levels[static_cast<std::size_t>(f.sarPa.sarLevel)];
        (f.sarPa.paOverheated ? below : above) += 1;
    }
    EXPECT_GT(below, 0);
    EXPECT_GT(above, 0);
    EXPECT_GT(std::count_if(levels.begin(), levels.end(), [](int n) { return n > 0; }), 1);
    Send(Row("OFF_AGC"));
    EXPECT_FALSE(modem_.SarPaOn());
    EXPECT_TRUE(Tick().empty());
}

TEST_F(Modem, MaskWithABitCountLongerThanTheFrameIsRefused) {
    // Operation 3, equipment 4, 0xFFFFFFFF mask bits but only one mask byte.
    const Bytes payload = {0x73, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x20};
    std::array<std::uint8_t, 64> wire{};
    const std::size_t n = HdlcEncode(payload, wire);
    const Deframed d = Deframe(Send(Bytes(wire.begin(), wire.begin() + static_cast<long>(n))));
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(d.frames[0][0], 0x13);
    EXPECT_FALSE(modem_.CellListOn());
}

TEST(ModemAtMode, DiagOnlyAfterTheModeSwitchText) {
    SimModem modem(ModemOptions{.atMode = true, .seed = 3});
    Bytes out;
    modem.FromHost(Probe(), out);
    EXPECT_TRUE(out.empty());
    // What the monitor sends when the probe gets no answer: a flag, the text, then its frames.
    const std::string_view text = "AT$QCDMG\r\n";
    modem.FromHost(Bytes{kHdlcFlag, 'A', 'T', '$'}, out);
    EXPECT_TRUE(out.empty());
    modem.FromHost(Bytes(text.begin() + 3, text.end()), out);
    EXPECT_EQ(std::string(out.begin(), out.end()), "OK\r\n");
    EXPECT_TRUE(modem.DiagMode());
    out.clear();
    modem.FromHost(Row("ON Cell RSSI"), out);
    EXPECT_TRUE(modem.CellListOn());
    out.clear();
    modem.FromHost(Probe(), out);
    EXPECT_EQ(out, Probe());
}

TEST(ModemNoise, OnlyRealReportsSurviveTheCheckSequence) {
    SimModem modem(ModemOptions{.burst = 8, .noise = true, .numbered = true, .seed = 11});
    Bytes ignored;
    modem.FromHost(Row("ON Cell RSSI"), ignored);
    Bytes wire;
    for (int i = 0; i < 40; ++i) {
        modem.Tick(1000 + 50 * static_cast<std::uint64_t>(i), 0.05, wire);
    }
    const Deframed d = Deframe(wire);
    EXPECT_GT(d.badFcs, 40);
    ASSERT_EQ(d.frames.size(), 320u);
    for (std::size_t i = 0; i < d.frames.size(); ++i) {
        const DecodedLogFrame f = DecodeLogFrame(d.frames[i]);
        ASSERT_EQ(f.kind, LogFrameKind::CellList);
        EXPECT_EQ(f.cells.gsmCellCount, static_cast<int>(i % 256));
    }
    EXPECT_EQ(modem.CellListsSent(), 320u);
}

TEST(ModemSeed, SameSeedSameRun) {
    auto run = [](std::uint32_t seed) {
        SimModem modem(ModemOptions{.noise = true, .seed = seed});
        Bytes out;
        modem.FromHost(Row("ON Cell RSSI"), out);
        modem.FromHost(Row("ON_AGC3"), out);
        for (std::uint64_t t = 1; t <= 30; ++t) {
            modem.Tick(t * 1000, 1.0, out);
        }
        return out;
    };
    EXPECT_EQ(run(5), run(5));
    EXPECT_NE(run(5), run(6));
}

}  // namespace
}  // namespace norvane::sim
