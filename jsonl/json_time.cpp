#include "jsonl/json_time.h"

#include <ctime>

namespace norvane {

namespace {

void FormatSecond(std::int64_t second, std::string& text) {
    const std::time_t whole = static_cast<std::time_t>(second);
    std::tm tm{};
    gmtime_r(&whole, &tm);
    char buffer[32];
    text.assign(buffer, std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &tm));
}

void AppendMilliseconds(std::string& out, int ms) {
    const char digits[] = {'.', static_cast<char>('0' + ms / 100),
                           static_cast<char>('0' + ms / 10 % 10), static_cast<char>('0' + ms % 10),
                           'Z'};
    out.append(digits, sizeof digits);
}

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch());
    const auto seconds = std::chrono::floor<std::chrono::seconds>(ms);
    std::string out;
    FormatSecond(seconds.count(), out);
    AppendMilliseconds(out, static_cast<int>((ms - seconds).count()));
    return out;
}

void AppendWithTime(std::string& out, std::chrono::system_clock::time_point time,
                    std::string_view json, UtcSecondText& cache) {
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch());
    const auto seconds = std::chrono::floor<std::chrono::seconds>(ms);
    if (seconds.count() != cache.second) {
        cache.second = seconds.count();
        FormatSecond(cache.second, cache.text);
    }
    out += "{\"time\":\"";
    out += cache.text;
    AppendMilliseconds(out, static_cast<int>((ms - seconds).count()));
    out += "\",";
    out.append(json.substr(1));
}

}  // namespace norvane
