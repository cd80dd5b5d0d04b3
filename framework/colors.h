// Colours as the modem program's code writes them: 24-bit values with the byte order 0x00BBGGRR.
#pragma once

#include <QColor>
#include <cstdint>

namespace norvane {

using COLORREF = std::uint32_t;

constexpr COLORREF RGB(int red, int green, int blue) {
    return static_cast<COLORREF>(red & 0xFF) | (static_cast<COLORREF>(green & 0xFF) << 8) |
           (static_cast<COLORREF>(blue & 0xFF) << 16);
}

inline QColor ToQColor(COLORREF color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

}  // namespace norvane
