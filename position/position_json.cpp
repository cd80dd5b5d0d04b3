#include "position/position_json.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace norvane {
namespace {

void Fixed(std::string& out, const char* key, double value, int decimals) {
    out += ",\"";
    out += key;
    out += "\":";
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    out += buffer;
}

}  // namespace

std::string PositionJson(const Position& p) {
    if (p.fix == FixMode::kNone) {
        return R"({"type":"position","fix":"none"})";
    }
    std::string out = "{\"type\":\"position\"";
    Fixed(out, "lat", p.lat, 7);
    Fixed(out, "lon", p.lon, 7);
    Fixed(out, "alt", p.alt, 2);
    Fixed(out, "speed", p.speed, 2);
    out += p.fix == FixMode::k3d ? ",\"fix\":\"3d\"}" : ",\"fix\":\"2d\"}";
    return out;
}

std::string PositionLine(const Position& position, std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch());
    const auto seconds = std::chrono::floor<std::chrono::seconds>(ms);
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm tm{};
    gmtime_r(&whole, &tm);
    char stamp[48];
    const std::size_t n = std::strftime(stamp, sizeof stamp, "{\"time\":\"%Y-%m-%dT%H:%M:%S", &tm);
    std::string out(stamp, n);
    std::snprintf(stamp, sizeof stamp, ".%03dZ\",", static_cast<int>((ms - seconds).count()));
    out += stamp;
    out += PositionJson(position).substr(1);
    return out;
}

}  // namespace norvane
