#include "jsonl/position_json.h"

#include <cmath>
#include <cstdio>

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

}  // namespace norvane
