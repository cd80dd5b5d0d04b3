// Dialog templates as data: what a Windows resource script would hold, in the same units and
// with the same style bits, so a template reads like its .rc source. The dialog framework
// (dialog.h) turns a template into Qt widgets.
#pragma once

#include <cstdint>
#include <span>

namespace norvane {

// Control IDs the dialog manager itself gives meaning to.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_STATIC = -1;

// Window styles (values as in the Windows headers).
constexpr std::uint32_t WS_POPUP = 0x80000000;
constexpr std::uint32_t WS_VISIBLE = 0x10000000;
constexpr std::uint32_t WS_CAPTION = 0x00C00000;
constexpr std::uint32_t WS_BORDER = 0x00800000;
constexpr std::uint32_t WS_VSCROLL = 0x00200000;
constexpr std::uint32_t WS_SYSMENU = 0x00080000;
constexpr std::uint32_t WS_GROUP = 0x00020000;
constexpr std::uint32_t WS_TABSTOP = 0x00010000;
constexpr std::uint32_t WS_EX_TRANSPARENT = 0x00000020;
constexpr std::uint32_t WS_EX_APPWINDOW = 0x00040000;

// Dialog styles.
constexpr std::uint32_t DS_3DLOOK = 0x0004;
constexpr std::uint32_t DS_FIXEDSYS = 0x0008;
constexpr std::uint32_t DS_SETFONT = 0x0040;
constexpr std::uint32_t DS_MODALFRAME = 0x0080;

// Static control styles. The low five bits are a type, not flags.
constexpr std::uint32_t SS_LEFT = 0x0000;
constexpr std::uint32_t SS_CENTER = 0x0001;
constexpr std::uint32_t SS_RIGHT = 0x0002;
constexpr std::uint32_t SS_BITMAP = 0x000E;
constexpr std::uint32_t SS_TYPEMASK = 0x001F;
constexpr std::uint32_t SS_NOTIFY = 0x0100;
constexpr std::uint32_t SS_CENTERIMAGE = 0x0200;
constexpr std::uint32_t SS_SUNKEN = 0x1000;

// Button styles. The low four bits are a type.
constexpr std::uint32_t BS_PUSHBUTTON = 0x0000;
constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x0001;
constexpr std::uint32_t BS_GROUPBOX = 0x0007;
constexpr std::uint32_t BS_TYPEMASK = 0x000F;
constexpr std::uint32_t BS_CENTER = 0x0300;

// Combo box styles.
constexpr std::uint32_t CBS_DROPDOWNLIST = 0x0003;
constexpr std::uint32_t CBS_SORT = 0x0100;
constexpr std::uint32_t CBS_NOINTEGRALHEIGHT = 0x0400;

// Progress bar styles.
constexpr std::uint32_t PBS_SMOOTH = 0x0001;

// The window classes a template may name.
enum class ControlClass { Button, Static, ComboBox, Progress };

// A rectangle in dialog units: position and size.
struct DialogRect {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    friend bool operator==(const DialogRect&, const DialogRect&) = default;
};

struct ControlTemplate {
    int id;
    ControlClass cls;
    // The control's text. For an SS_BITMAP static, "#<id>" names the bitmap resource.
    const char* text;
    DialogRect rect;
    std::uint32_t style;
    std::uint32_t exStyle = 0;
};

struct MenuItemTemplate {
    const char* text;
    int command;
};

struct DialogTemplate {
    int id;
    const char* title;
    DialogRect rect;
    std::uint32_t style;
    std::uint32_t exStyle;
    const char* fontName;
    int fontPoints;
    // Controls in template order, which is also the tab order.
    std::span<const ControlTemplate> controls;
    int menuId = 0;  // 0: no menu bar
    std::span<const MenuItemTemplate> menu = {};
};

}  // namespace norvane
