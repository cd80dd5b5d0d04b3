#include "tools/sim/lte_radio.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace norvane::sim {
namespace {

constexpr double kIdleSeconds = 3;
constexpr double kCycleSeconds = 12;
constexpr std::size_t kMaxNeighbours = 6;
constexpr double kNewNeighbourRsrp = -122;
constexpr double kFadedBelow = -126;

// Neighbour PCIs on the serving channel. PCI 126 puts a 0x7E byte into the packets.
constexpr std::array<std::uint16_t, 8> kNeighbourPcis = {17, 126, 301, 94, 455, 238, 62, 381};

Sixteenths InSixteenths(double value) {
    return static_cast<Sixteenths>(std::lround(value * 16));
}

// RSRQ = N x RSRP / RSSI over N resource blocks, so RSSI = RSRP - RSRQ + 10 log10(N).
double Rssi(const SimLteCell& c) {
    return c.rsrp - c.rsrq + 10 * std::log10(static_cast<double>(c.resourceBlocks));
}

}  // namespace

LteScene::LteScene(std::uint32_t seed) : rng_(seed) {
    carriers_ = {
        {212, 1300, 100, -92, -9, 0},   // band 3, 20 MHz
        {17, 3050, 75, -99, -11, 0},    // band 7, 15 MHz
        {126, 6300, 50, -104, -12, 0},  // band 20, 10 MHz
    };
    neighbours_ = {{301, 1300, 100, -108, -15, 1.5}, {94, 1300, 100, -114, -17, -1}};
}

void LteScene::Drift(SimLteCell& cell, double seconds, double low, double high) {
    std::normal_distribution<double> step(0, 1.5 * std::sqrt(seconds));
    cell.rsrp = std::clamp(cell.rsrp + cell.trend * seconds + step(rng_), low, high);
    cell.rsrq = std::clamp(cell.rsrq + step(rng_) / 2, -19.5, -3.0);
}

void LteScene::Advance(double seconds) {
    clock_ += seconds;
    for (std::size_t i = 0; i < carriers_.size(); ++i) {
        Drift(carriers_[i], seconds, -115, -75);
        // Each carrier is pulled back towards its own level, so they stay apart.
        carriers_[i].rsrp += (-92 - 6.0 * static_cast<double>(i) - carriers_[i].rsrp) * 0.02;
    }
    for (SimLteCell& n : neighbours_) {
        Drift(n, seconds, -140, -85);
        if (std::bernoulli_distribution(std::min(1.0, 0.05 * seconds))(rng_)) {
            n.trend = std::uniform_real_distribution<double>(-3, 2)(rng_);
        }
    }
    std::erase_if(neighbours_, [](const SimLteCell& n) { return n.rsrp < kFadedBelow; });
    if (neighbours_.size() < kMaxNeighbours &&
        std::bernoulli_distribution(std::min(1.0, 0.3 * seconds))(rng_)) {
        std::vector<std::uint16_t> free;
        for (const std::uint16_t pci : kNeighbourPcis) {
            if (std::none_of(neighbours_.begin(), neighbours_.end(),
                             [&](const SimLteCell& n) { return n.pci == pci; })) {
                free.push_back(pci);
            }
        }
        if (!free.empty()) {
            const std::uint16_t pci =
                free[std::uniform_int_distribution<std::size_t>(0, free.size() - 1)(rng_)];
            neighbours_.push_back({pci, carriers_[0].earfcn, 100, kNewNeighbourRsrp, -18,
                                   std::uniform_real_distribution<double>(1, 3)(rng_)});
        }
    }
}

bool LteScene::Connected() const {
    return std::fmod(clock_, kCycleSeconds) >= kIdleSeconds;
}

std::vector<SimLteCell> LteScene::Carriers() const {
    if (!Connected()) {
        return {carriers_[0]};
    }
    // One, two, then three carriers in successive connected phases.
    const auto cycle = static_cast<std::size_t>(clock_ / kCycleSeconds);
    return {carriers_.begin(), carriers_.begin() + static_cast<std::ptrdiff_t>(1 + cycle % 3)};
}

LteCellIdentity LteScene::Identity() const {
    LteCellIdentity id;
    id.version = 3;
    id.pci = carriers_[0].pci;
    id.earfcnDl = carriers_[0].earfcn;
    id.earfcnUl = carriers_[0].earfcn + 18000;  // band 3: uplink 18000 above the downlink
    id.band = 3;
    id.bandwidthDlRb = id.bandwidthUlRb = carriers_[0].resourceBlocks;
    id.cellId = 0x1A2B301;  // eNodeB 107187, cell 1
    id.tac = 0x3A21;
    id.plmn.known = true;
    id.plmn.mcc = {'2', '6', '2'};
    id.plmn.mnc = {'0', '1'};
    return id;
}

void LteScene::HandOver(std::uint16_t pci) {
    SimLteCell left = carriers_[0];
    left.trend = -1.5;  // the modem is moving away from it
    std::erase_if(neighbours_, [&](const SimLteCell& n) { return n.pci == pci; });
    if (neighbours_.size() == kMaxNeighbours) {
        neighbours_.erase(neighbours_.begin());
    }
    neighbours_.push_back(left);
    carriers_[0].pci = pci;
}

LteIdleMeasurement LteScene::IdleMeasurement() const {
    const SimLteCell& c = carriers_[0];
    return {5, c.earfcn, c.pci, InSixteenths(c.rsrp), InSixteenths(c.rsrq), InSixteenths(Rssi(c))};
}

LteIdleNeighbours LteScene::IdleNeighbours() const {
    LteIdleNeighbours m;
    m.version = 5;
    m.earfcn = carriers_[0].earfcn;
    for (const SimLteCell& n : neighbours_) {
        m.cells[m.count++] = {n.pci, InSixteenths(n.rsrp), InSixteenths(n.rsrq),
                              InSixteenths(Rssi(n))};
    }
    return m;
}

LteServingCell LteScene::ServingCell(std::size_t carrier) const {
    const SimLteCell& c = carriers_[carrier];
    LteServingCell s;
    s.subVersion = 36;
    s.earfcn = c.earfcn;
    s.pci = c.pci;
    s.servingIndex = static_cast<std::uint8_t>(carrier);
    s.hasServingFlag = s.isServing = true;
    s.rsrp = InSixteenths(c.rsrp);
    s.rsrq = InSixteenths(c.rsrq);
    s.rssi = InSixteenths(Rssi(c));
    return s;
}

LteIntraMeasurement LteScene::IntraMeasurement() const {
    const SimLteCell& c = carriers_[0];
    LteIntraMeasurement m;
    m.version = 4;
    m.earfcn = c.earfcn;
    m.pci = c.pci;
    m.rsrp = InSixteenths(c.rsrp);
    m.rsrq = InSixteenths(c.rsrq);
    for (const SimLteCell& n : neighbours_) {
        m.cells[m.count++] = {n.pci, InSixteenths(n.rsrp), InSixteenths(n.rsrq)};
    }
    return m;
}

LteNeighbourLayer LteScene::ConnectedNeighbours() const {
    LteNeighbourLayer layer;
    layer.subVersion = 4;
    layer.earfcn = carriers_[0].earfcn;
    for (const SimLteCell& n : neighbours_) {
        layer.cells[layer.count++] = {n.pci, InSixteenths(n.rsrp), InSixteenths(n.rsrq)};
    }
    return layer;
}

}  // namespace norvane::sim
