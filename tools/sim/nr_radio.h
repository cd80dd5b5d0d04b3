// What the simulated modem "sees" on 5G NR: a serving cell on band n78 (NR-ARFCN 632628, 3489.42
// MHz, PCI 393) whose SS-RSRP and SS-RSRQ drift and whose best beam (SSB index) moves now and
// then, and NR neighbours on the same channel, each heard on a beam of its own, that appear and
// fade.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "diag/nr_packets.h"

namespace norvane::sim {

struct SimNrCell {
    std::uint16_t pci = 0;
    std::uint16_t ssb = 0;  // SSB index of its best beam, 0 to 7
    double rsrp = -90;      // SS-RSRP, dBm
    double rsrq = -11;      // SS-RSRQ, dB
    double trend = 0;       // dB per second the SS-RSRP is heading
};

class NrScene {
  public:
    explicit NrScene(std::uint32_t seed);

    // Lets `seconds` of radio life pass.
    void Advance(double seconds);

    // The serving cell's identity (0xB823 version 3.0).
    NrCellIdentity Identity() const;
    // The measurement database (0xB97F) of `version`: one layer, the serving cell first, then
    // the neighbours.
    NrMeasurement Measurement(std::uint32_t version) const;

  private:
    void Drift(SimNrCell& cell, double seconds, double low, double high);

    std::mt19937 rng_;
    SimNrCell serving_;
    std::vector<SimNrCell> neighbours_;
};

}  // namespace norvane::sim
