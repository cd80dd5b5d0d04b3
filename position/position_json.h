// A position as a JSON line: what 'norvane-cli monitor --gps' prints and what a capture keeps
// beside the modem's frames (the window's recording and the monitor's alike), so that 'decode'
// prints it back and 'export' reads it.
#pragma once

#include <chrono>
#include <string>

#include "position/gps_client.h"

namespace norvane {

// {"type":"position","lat":..,"lon":..,"alt":..,"speed":..,"fix":"2d"|"3d"}: degrees to 7
// decimals, alt (metres above sea level, null on a 2D fix) and speed (m/s, null when not known)
// to 2; {"type":"position","fix":"none"} for no fix.
std::string PositionJson(const Position& position);

// The same with "time":"2026-01-31T12:34:56.789Z" (UTC, milliseconds cut) as its first key, the
// time stamp every report line of the tools carries.
std::string PositionLine(const Position& position, std::chrono::system_clock::time_point time);

}  // namespace norvane
