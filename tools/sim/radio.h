// What the simulated modem "sees": WCDMA cells on real band I and band VIII channels whose RSCP
// and Ec/Io drift, cells that appear and fade, GSM neighbours, and the SAR level and PA value.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace norvane::sim {

struct SimCell {
    std::int16_t uarfcn = 0;  // downlink channel
    std::int16_t psc = 0;     // primary scrambling code 0..511
    double rscp = -90;        // dBm
    double ecIo = -8;         // dB
    double trend = 0;         // dB per second the RSCP is heading
};

class RadioScene {
  public:
    explicit RadioScene(std::uint32_t seed);

    // Lets `seconds` of radio life pass: levels drift, cells come and go (1 to 8 stay).
    void Advance(double seconds);

    const std::vector<SimCell>& Cells() const { return cells_; }
    int GsmCount() const { return gsmCount_; }
    // SAR level 0..3 and PA value; the PA value swings across 80 over about 20 s.
    std::uint8_t SarLevel() const { return sarLevel_; }
    std::uint8_t PaValue() const;

  private:
    void MaybeAddCell();
    void DropFadedCells();

    std::mt19937 rng_;
    std::vector<SimCell> cells_;  // cells_[0] is the serving cell and stays
    int gsmCount_ = 2;
    std::uint8_t sarLevel_ = 1;
    double clock_ = 0;  // seconds since start
    double nextSarChange_ = 5;
};

}  // namespace norvane::sim
