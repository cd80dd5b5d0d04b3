// What the simulated modem "sees" on LTE: a serving cell on a real band 3 channel whose RSRP and
// RSRQ drift, idle phases with neighbours on the same channel that appear and fade, and
// connected phases with one to three aggregated cells (band 3, 7 and 20 carriers).
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "diag/lte_neighbour_packets.h"
#include "diag/lte_packets.h"

namespace norvane::sim {

struct SimLteCell {
    std::uint16_t pci = 0;
    std::uint32_t earfcn = 0;
    std::uint8_t resourceBlocks = 100;
    double rsrp = -95;  // dBm
    double rsrq = -10;  // dB
    double trend = 0;   // dB per second the RSRP is heading
};

class LteScene {
  public:
    explicit LteScene(std::uint32_t seed);

    // Lets `seconds` of radio life pass.
    void Advance(double seconds);

    // Connected: the serving cells are measured (0xB193), the primary cell's neighbours too
    // (0xB179, 0xB195); idle: the serving cell and its neighbours (0xB17F, 0xB180). A cycle is a
    // short idle phase, then a longer connected one.
    bool Connected() const;
    // The primary cell first, then the secondary cells in use (none while idle).
    std::vector<SimLteCell> Carriers() const;
    LteCellIdentity Identity() const;
    // The primary cell becomes cell `pci` on its channel (a handover): the cell left is a
    // neighbour from now on, and the cell taken is one no longer.
    void HandOver(std::uint16_t pci);

    // The reports of the scene now, in the units of the packets.
    LteIdleMeasurement IdleMeasurement() const;
    LteIdleNeighbours IdleNeighbours() const;
    LteServingCell ServingCell(std::size_t carrier) const;
    LteIntraMeasurement IntraMeasurement() const;
    LteNeighbourLayer ConnectedNeighbours() const;

  private:
    void Drift(SimLteCell& cell, double seconds, double low, double high);

    std::mt19937 rng_;
    std::vector<SimLteCell> carriers_;  // all three; the first Carriers().size() are in use
    std::vector<SimLteCell> neighbours_;
    double clock_ = 0;  // seconds since start
};

}  // namespace norvane::sim
