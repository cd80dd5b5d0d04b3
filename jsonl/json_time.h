// The time stamp of the JSON lines the tools print and the recordings keep (reports, positions):
// UTC, ISO 8601, milliseconds cut, as the line's first key.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace norvane {

// "2026-01-31T12:34:56.789Z": UTC, ISO 8601, milliseconds (cut, not rounded).
std::string UtcText(std::chrono::system_clock::time_point time);

// The date and time of the last whole second formatted, kept by the caller so that a run of
// reports in one second formats it once.
struct UtcSecondText {
    std::int64_t second = -1;
    std::string text;  // "2026-01-31T12:34:56"
};

// Appends `json` (a whole object) to `out` with "time":"<UtcText>" put in as its first key.
void AppendWithTime(std::string& out, std::chrono::system_clock::time_point time,
                    std::string_view json, UtcSecondText& cache);

}  // namespace norvane
