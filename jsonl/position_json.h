// A position as a JSON object: with its time (jsonl/json_time.h) the line 'norvane-cli monitor
// --gps' prints and a capture keeps beside the modem's frames (the window's recording and the
// monitor's alike), so that 'decode' prints it back and 'export' reads it.
#pragma once

#include <string>

#include "position/gps_client.h"

namespace norvane {

// {"type":"position","lat":..,"lon":..,"alt":..,"speed":..,"fix":"2d"|"3d"}: degrees to 7
// decimals, alt (metres above sea level, null on a 2D fix) and speed (m/s, null when not known)
// to 2; {"type":"position","fix":"none"} for no fix.
std::string PositionJson(const Position& position);

}  // namespace norvane
