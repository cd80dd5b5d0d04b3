#include "tools/sim/radio.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace norvane::sim {
namespace {

// Channels of real networks: band I downlink 10562..10838, band VIII downlink 2937..3088.
// PSCs 125, 126, 381 and 382 put 0x7D and 0x7E bytes on the wire, so escapes occur all along.
struct Candidate {
    std::int16_t uarfcn;
    std::int16_t psc;
};
constexpr std::array<Candidate, 14> kNeighbours = {{
    {10713, 381},
    {10713, 17},
    {10688, 125},
    {10688, 256},
    {10737, 382},
    {10562, 44},
    {10838, 503},
    {10612, 300},
    {10663, 211},
    {2937, 97},
    {3011, 126},
    {3088, 420},
    {3037, 8},
    {2962, 333},
}};
constexpr Candidate kServing = {10713, 126};

// GSM 900 and 1800 neighbours: ARFCN and BSIC (network and base station colour codes).
constexpr std::array<SimGsmCell, 6> kGsmNeighbours = {{
    {62, 0x23, -71},
    {75, 0x11, -78},
    {1, 0x3F, -84},
    {124, 0x05, -90},
    {700, 0x2A, -95},
    {885, 0x17, -101},
}};
constexpr double kFadedBelow = -117;
constexpr double kNewCellRscp = -114;

}  // namespace

RadioScene::RadioScene(std::uint32_t seed, std::size_t maxCells, std::size_t startCells)
    : rng_(seed), maxCells_(maxCells) {
    cells_.push_back({kServing.uarfcn, kServing.psc, -72, -5, 0});
    for (std::size_t i = 1; i < startCells; ++i) {
        MaybeAddCell();
    }
}

void RadioScene::MaybeAddCell() {
    if (cells_.size() >= maxCells_) {
        return;
    }
    std::vector<Candidate> free;
    for (const Candidate& c : kNeighbours) {
        const bool active = std::any_of(cells_.begin(), cells_.end(), [&](const SimCell& s) {
            return s.uarfcn == c.uarfcn && s.psc == c.psc;
        });
        if (!active) {
            free.push_back(c);
        }
    }
    if (free.empty()) {
        return;
    }
    const Candidate c = free[std::uniform_int_distribution<std::size_t>(0, free.size() - 1)(rng_)];
    const double trend = std::uniform_real_distribution<double>(1.0, 4.0)(rng_);
    cells_.push_back({c.uarfcn, c.psc, kNewCellRscp, -18, trend});
}

void RadioScene::DropFadedCells() {
    cells_.erase(std::remove_if(cells_.begin() + 1, cells_.end(),
                                [](const SimCell& c) { return c.rscp < kFadedBelow; }),
                 cells_.end());
}

void RadioScene::Advance(double seconds) {
    clock_ += seconds;
    std::normal_distribution<double> jitter(0.0, 1.5 * std::sqrt(seconds));
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    for (std::size_t i = 0; i < cells_.size(); ++i) {
        SimCell& c = cells_[i];
        if (i == 0) {
            // The serving cell wanders around -75 dBm.
            c.rscp += (-75 - c.rscp) * 0.1 * seconds + jitter(rng_);
        } else {
            c.rscp += c.trend * seconds + jitter(rng_);
            if (c.rscp > -80 && c.trend > 0) {
                c.trend = -std::uniform_real_distribution<double>(0.5, 3.0)(rng_);
            }
            if (chance(rng_) < 0.05 * seconds) {
                c.trend = -c.trend;
            }
        }
        c.rscp = std::clamp(c.rscp, -120.0, -50.0);
        const double ecIoTarget = std::clamp(-5.0 + (c.rscp + 75) / 2.5, -26.0, -4.0);
        c.ecIo = std::clamp(c.ecIo + (ecIoTarget - c.ecIo) * 0.5 + jitter(rng_) * 0.3, -26.5, -3.0);
    }
    DropFadedCells();
    if (chance(rng_) < 0.3 * seconds) {
        MaybeAddCell();
    }
    if (chance(rng_) < 0.2 * seconds) {
        gsmCount_ = std::clamp(gsmCount_ + (chance(rng_) < 0.5 ? -1 : 1), 0, 6);
    }
    if (clock_ >= nextSarChange_) {
        sarLevel_ = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 3)(rng_));
        nextSarChange_ = clock_ + std::uniform_real_distribution<double>(3.0, 8.0)(rng_);
    }
}

std::vector<SimGsmCell> RadioScene::GsmCells() const {
    std::vector<SimGsmCell> out;
    for (int i = 0; i < gsmCount_ && i < static_cast<int>(kGsmNeighbours.size()); ++i) {
        SimGsmCell c = kGsmNeighbours[static_cast<std::size_t>(i)];
        c.rssi = static_cast<std::int8_t>(c.rssi + std::lround(3 * std::sin(clock_ / 7.0 + i)));
        out.push_back(c);
    }
    return out;
}

std::uint8_t RadioScene::PaValue() const {
    const double swing = 80 + 18 * std::sin(2 * std::numbers::pi * clock_ / 20.0);
    return static_cast<std::uint8_t>(std::lround(swing));
}

}  // namespace norvane::sim
