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
    double ecIo = -8;         // dB, -26.5 to -3 as real cells read
    double trend = 0;         // dB per second the RSCP is heading
};

struct SimGsmCell {
    std::uint16_t arfcn = 0;
    std::uint16_t bsic = 0;
    std::int8_t rssi = -80;  // dBm
};

class RadioScene {
  public:
    // `maxCells` WCDMA cells at most, `startCells` at first.
    RadioScene(std::uint32_t seed, std::size_t maxCells, std::size_t startCells);

    // Lets `seconds` of radio life pass: levels drift, cells come and go (1 to maxCells stay).
    void Advance(double seconds);

    const std::vector<SimCell>& Cells() const { return cells_; }
    int GsmCount() const { return gsmCount_; }
    // The GsmCount() GSM neighbours, their RSSI drifting.
    std::vector<SimGsmCell> GsmCells() const;
    // SAR level 0..3 and PA value; the PA value swings across 80 over about 20 s.
    std::uint8_t SarLevel() const { return sarLevel_; }
    std::uint8_t PaValue() const;

  private:
    void MaybeAddCell();
    void DropFadedCells();

    std::mt19937 rng_;
    std::size_t maxCells_;
    std::vector<SimCell> cells_;  // cells_[0] is the serving cell and stays
    int gsmCount_ = 2;
    std::uint8_t sarLevel_ = 1;
    double clock_ = 0;  // seconds since start
    double nextSarChange_ = 5;
};

}  // namespace norvane::sim
