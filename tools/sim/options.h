// Command line of norvane-sim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/sim/modem.h"

namespace norvane::sim {

struct SimOptions {
    ModemOptions modem;
    double rateHz = 1.0;     // report periods per second
    std::string linkPath;    // empty: the default link
    std::string recordPath;  // empty: record nothing
    std::string replayPath;  // empty: the simulated radio scene; else a capture to play back
    double speed = 1.0;      // replay time scale: 2 plays twice as fast
    bool loop = false;       // replay again from the start at the end
    bool seedGiven = false;
    bool verbose = false;
    bool help = false;
};

extern const char* const kSimUsage;

// Parses argv; on a bad argument writes the reason to `error` and returns nothing.
std::optional<SimOptions> ParseSimOptions(int argc, char** argv, std::string& error);

// Where the port list looks for a running simulator: $XDG_RUNTIME_DIR/norvane-sim, or
// /tmp/norvane-sim-<uid> without a usable XDG_RUNTIME_DIR.
std::string DefaultLinkPath();

}  // namespace norvane::sim
