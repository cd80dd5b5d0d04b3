// How a measurement of the serving cell is rated good / fair / poor, and the range its bar spans.
// One table for the radio window and the drive-test export, so a map and the window agree.
#pragma once

namespace norvane {

enum class Quality { Poor, Fair, Good };

// Good from `good` up, fair from `fair` up, poor below; the bar spans barMin..barMax. The limits
// are the usual drive-test ones.
struct SignalScale {
    double good;
    double fair;
    int barMin;
    int barMax;
};
inline constexpr SignalScale kRsrpScale{-90, -105, -140, -44};  // dBm
inline constexpr SignalScale kRsrqScale{-10, -15, -20, -3};     // dB
inline constexpr SignalScale kRssiScale{-75, -85, -110, -25};   // dBm, carrier's total power
inline constexpr SignalScale kRscpScale{-85, -100, -120, -25};  // dBm
inline constexpr SignalScale kEcIoScale{-10, -15, -24, 0};      // dB

constexpr Quality Rate(double value, const SignalScale& scale) {
    return value >= scale.good   ? Quality::Good
           : value >= scale.fair ? Quality::Fair
                                 : Quality::Poor;
}

}  // namespace norvane
