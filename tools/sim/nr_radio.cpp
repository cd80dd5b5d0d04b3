#include "tools/sim/nr_radio.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace norvane::sim {
namespace {

constexpr std::uint32_t kNrArfcn = 632628;  // band n78, 3489.42 MHz
constexpr std::size_t kMaxNeighbours = 4;
constexpr double kNewNeighbourRsrp = -121;
constexpr double kFadedBelow = -125;
constexpr std::uint16_t kBeams = 8;  // SSB indexes 0 to 7 below 6 GHz

// Neighbour PCIs on the serving channel. PCI 126 puts a 0x7E byte into the packets.
constexpr std::array<std::uint16_t, 6> kNeighbourPcis = {394, 126, 612, 871, 55, 392};

Q7 InQ7(double value) {
    return static_cast<Q7>(std::lround(value * 128));
}

NrMeasCell Measured(const SimNrCell& c, bool serving) {
    return {kNrArfcn, c.pci, serving, true, c.ssb, InQ7(c.rsrp), InQ7(c.rsrq)};
}

}  // namespace

NrScene::NrScene(std::uint32_t seed) : rng_(seed ^ 0x5A5A5A5Au) {
    serving_ = {393, 2, -88, -11, 0};
    neighbours_ = {{394, 5, -104, -15, 1}, {612, 0, -112, -17, -1}};
}

void NrScene::Drift(SimNrCell& cell, double seconds, double low, double high) {
    std::normal_distribution<double> step(0, 1.5 * std::sqrt(seconds));
    cell.rsrp = std::clamp(cell.rsrp + cell.trend * seconds + step(rng_), low, high);
    cell.rsrq = std::clamp(cell.rsrq + step(rng_) / 2, -19.5, -3.0);
}

void NrScene::Advance(double seconds) {
    Drift(serving_, seconds, -115, -70);
    serving_.rsrp += (-88 - serving_.rsrp) * 0.02;  // pulled back towards its level
    const auto chance = [&](double perSecond) {
        return std::bernoulli_distribution(std::min(1.0, perSecond * seconds))(rng_);
    };
    if (chance(0.2)) {  // the best beam moves to one beside it
        const bool up = std::bernoulli_distribution(0.5)(rng_);
        serving_.ssb = static_cast<std::uint16_t>((serving_.ssb + (up ? 1 : kBeams - 1)) % kBeams);
    }
    for (SimNrCell& n : neighbours_) {
        Drift(n, seconds, -140, -85);
        if (chance(0.05)) {
            n.trend = std::uniform_real_distribution<double>(-3, 2)(rng_);
        }
    }
    std::erase_if(neighbours_, [](const SimNrCell& n) { return n.rsrp < kFadedBelow; });
    if (neighbours_.size() < kMaxNeighbours && chance(0.3)) {
        std::vector<std::uint16_t> free;
        for (const std::uint16_t pci : kNeighbourPcis) {
            if (std::none_of(neighbours_.begin(), neighbours_.end(),
                             [&](const SimNrCell& n) { return n.pci == pci; })) {
                free.push_back(pci);
            }
        }
        if (!free.empty()) {
            const auto pick = [&](std::size_t n) {
                return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
            };
            neighbours_.push_back({free[pick(free.size())],
                                   static_cast<std::uint16_t>(pick(kBeams)), kNewNeighbourRsrp, -18,
                                   std::uniform_real_distribution<double>(1, 3)(rng_)});
        }
    }
}

NrCellIdentity NrScene::Identity() const {
    NrCellIdentity id;
    id.version = NrVersion(3, 0);
    id.pci = serving_.pci;
    id.arfcnDl = id.arfcnUl = kNrArfcn;  // TDD: one channel both ways
    id.band = 78;
    id.bandwidthDlMhz = id.bandwidthUlMhz = 100;
    id.cellId = 0x1A2B3C0D1;  // a 36-bit NR cell identity
    id.tac = 0x3A21;
    id.plmn.known = true;
    id.plmn.mcc = {'2', '6', '2'};
    id.plmn.mnc = {'0', '1'};
    return id;
}

NrMeasurement NrScene::Measurement(std::uint32_t version) const {
    NrMeasurement m;
    m.version = version;
    m.cells[m.count++] = Measured(serving_, true);
    for (const SimNrCell& n : neighbours_) {
        m.cells[m.count++] = Measured(n, false);
    }
    return m;
}

}  // namespace norvane::sim
