// Dialog templates 102 (start window) and 131 (NetMonitor), in template order, which is also
// the tab order. Rectangles are x, y, width, height in dialog units.
#include "res/resource.h"

namespace norvane {
namespace {

constexpr std::uint32_t kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr std::uint32_t kGroupBox = BS_GROUPBOX | BS_CENTER;
constexpr std::uint32_t kBar = WS_BORDER | PBS_SMOOTH;
constexpr std::uint32_t kStatusLabel = SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN;

// Cell row k (1 to 8) lies at y = 90 + 18k.
constexpr int RowY(int k) {
    return 90 + 18 * k;
}

constexpr ControlTemplate kControls102[] = {
    {IDC_PICTURE,
     ControlClass::Static,
     "#134",
     {6, 0, 336, 252},
     SS_BITMAP | SS_CENTERIMAGE | SS_NOTIFY},
    {IDC_HOMEPAGE, ControlClass::Static, " Homepage ...", {6, 258, 319, 9}, SS_LEFT | WS_GROUP},
    {IDC_QUIT, ControlClass::Button, "Quit", {258, 270, 70, 13}, kPush},
    {IDC_NETMONITOR, ControlClass::Button, "NetMonitor", {150, 270, 70, 13}, kPush},
    {IDC_RADIO, ControlClass::Button, "Radio", {42, 270, 70, 13}, kPush},
};

constexpr MenuItemTemplate kMenu129[] = {
    {"", ID_MENU_EMPTY},
};

constexpr ControlTemplate kControls131[] = {
    {IDOK, ControlClass::Button, "Exit", {312, 306, 54, 12}, kPush},
    {IDC_PORT,
     ControlClass::ComboBox,
     "",
     {60, 6, 259, 99},
     CBS_DROPDOWNLIST | CBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP},
    {IDC_STATIC, ControlClass::Static, "Mobile Port :", {12, 6, 42, 13}, SS_LEFT},
    {1052, ControlClass::Progress, "", {48, RowY(1), 212, 12}, kBar, WS_EX_TRANSPARENT},
    {1053, ControlClass::Progress, "", {47, 125, 212, 12}, kBar, WS_EX_TRANSPARENT},
    {1054, ControlClass::Progress, "", {48, RowY(3), 212, 12}, kBar, WS_EX_TRANSPARENT},
    {1055, ControlClass::Progress, "", {48, RowY(4), 212, 12}, kBar, WS_EX_TRANSPARENT},
    {1056, ControlClass::Progress, "", {48, RowY(5), 212, 12}, kBar, WS_EX_TRANSPARENT},
    {1057, ControlClass::Progress, "", {48, RowY(6), 212, 12}, kBar, WS_EX_TRANSPARENT},
    {1058, ControlClass::Progress, "", {48, RowY(7), 212, 12}, kBar, WS_EX_TRANSPARENT},
    {1059, ControlClass::Progress, "", {48, RowY(8), 212, 12}, kBar, WS_EX_TRANSPARENT},
    {IDC_STATIC, ControlClass::Button, "RSCP dBm", {42, 96, 252, 156}, kGroupBox},
    {IDC_STATIC, ControlClass::Button, "PSC", {12, 96, 30, 156}, kGroupBox},
    {IDC_STATIC, ControlClass::Button, "Ec/Io", {294, 96, 30, 156}, kGroupBox},
    {IDC_STATIC, ControlClass::Button, "Freq MHz", {324, 96, 36, 156}, kGroupBox},
    {IDC_WCDMA_CELLS, ControlClass::Static, "WCDMA Cells :", {12, 264, 54, 8}, SS_LEFT},
    {IDC_GSM_CELLS, ControlClass::Static, "GSM Cells :", {102, 264, 54, 8}, SS_LEFT},
    // PSC column
    {1065, ControlClass::Static, "", {18, RowY(1), 18, 8}, SS_LEFT},
    {1066, ControlClass::Static, "", {18, RowY(2), 18, 8}, SS_LEFT},
    {1067, ControlClass::Static, "", {18, RowY(3), 18, 8}, SS_LEFT},
    {1068, ControlClass::Static, "", {18, RowY(4), 18, 8}, SS_LEFT},
    {1069, ControlClass::Static, "", {18, RowY(5), 18, 8}, SS_LEFT},
    {1070, ControlClass::Static, "", {18, RowY(6), 18, 8}, SS_LEFT},
    {1071, ControlClass::Static, "", {18, RowY(7), 18, 8}, SS_LEFT},
    {1072, ControlClass::Static, "", {18, RowY(8), 18, 8}, SS_LEFT},
    // RSCP value column
    {1073, ControlClass::Static, "", {264, RowY(1), 24, 12}, SS_LEFT | SS_SUNKEN},
    {1074, ControlClass::Static, "", {264, RowY(2), 24, 12}, SS_LEFT | SS_SUNKEN},
    {1075, ControlClass::Static, "", {264, RowY(3), 24, 12}, SS_LEFT | SS_SUNKEN},
    {1076, ControlClass::Static, "", {264, RowY(4), 24, 12}, SS_LEFT | SS_SUNKEN},
    {1077, ControlClass::Static, "", {264, RowY(5), 24, 12}, SS_LEFT | SS_SUNKEN},
    {1078, ControlClass::Static, "", {264, RowY(6), 24, 12}, SS_LEFT | SS_SUNKEN},
    {1079, ControlClass::Static, "", {264, RowY(7), 24, 12}, SS_LEFT | SS_SUNKEN},
    {1080, ControlClass::Static, "", {264, RowY(8), 24, 12}, SS_LEFT | SS_SUNKEN},
    // Ec/Io column
    {1081, ControlClass::Static, "", {300, RowY(1), 18, 8}, SS_LEFT},
    {1082, ControlClass::Static, "", {300, RowY(2), 18, 8}, SS_LEFT},
    {1083, ControlClass::Static, "", {300, RowY(3), 18, 8}, SS_LEFT},
    {1084, ControlClass::Static, "", {300, RowY(4), 18, 8}, SS_LEFT},
    {1085, ControlClass::Static, "", {300, RowY(5), 18, 8}, SS_LEFT},
    {1086, ControlClass::Static, "", {300, RowY(6), 18, 8}, SS_LEFT},
    {1087, ControlClass::Static, "", {300, RowY(7), 18, 8}, SS_LEFT},
    {1088, ControlClass::Static, "", {300, RowY(8), 18, 8}, SS_LEFT},
    // Frequency column
    {1089, ControlClass::Static, "", {330, RowY(1), 24, 8}, SS_LEFT},
    {1090, ControlClass::Static, "", {330, RowY(2), 24, 8}, SS_LEFT},
    {1091, ControlClass::Static, "", {330, RowY(3), 24, 8}, SS_LEFT},
    {1092, ControlClass::Static, "", {330, RowY(4), 24, 8}, SS_LEFT},
    {1093, ControlClass::Static, "", {330, RowY(5), 24, 8}, SS_LEFT},
    {1094, ControlClass::Static, "", {330, RowY(6), 24, 8}, SS_LEFT},
    {1095, ControlClass::Static, "", {330, RowY(7), 24, 8}, SS_LEFT},
    {1096, ControlClass::Static, "", {330, RowY(8), 24, 8}, SS_LEFT},
    {IDC_UPTIME, ControlClass::Static, "Modem UpTime :", {174, 264, 192, 8}, SS_LEFT},
    {IDC_PA_LABEL, ControlClass::Static, "PA temperature Ok !", {156, 276, 138, 18}, kStatusLabel},
    {IDC_SAR_LABEL, ControlClass::Static, "Static", {12, 276, 144, 18}, kStatusLabel},
    {IDC_CAPTURE, ControlClass::Button, "Capture", {252, 306, 54, 12}, kPush},
    {IDC_ON_RSCP, ControlClass::Button, "On RSCP", {132, 306, 54, 12}, kPush},
    {IDC_OFF_RSCP, ControlClass::Button, "Off RSCP", {192, 306, 54, 12}, kPush},
    {IDC_ON_SARPA, ControlClass::Button, "On SAR/PA", {72, 306, 54, 12}, kPush},
    {IDC_OFF_SARPA, ControlClass::Button, "Off SAR/PA", {12, 306, 54, 12}, kPush},
};
static_assert(std::size(kControls131) == 57);

}  // namespace

const DialogTemplate kDialog102{
    IDD_NORVANE_DIALOG,
    "Norvane UMTS",
    {0, 0, 348, 293},
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_FIXEDSYS |
        DS_SETFONT,
    WS_EX_APPWINDOW,
    "MS Shell Dlg",
    8,
    kControls102,
    IDR_START_MENU,
    kMenu129,
};

const DialogTemplate kDialog131{
    IDD_NETMONITOR,
    "Norvane NetMonitor UMTS V.1.00 beta",
    {0, 0, 376, 330},
    WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
    0,
    "MS Shell Dlg",
    8,
    kControls131,
};

const DialogTemplate& DialogResource(int id) {
    switch (id) {
        case IDD_NORVANE_DIALOG:
            return kDialog102;
        case IDD_NETMONITOR:
            return kDialog131;
        default:
            qFatal("no dialog template %d", id);
    }
}

}  // namespace norvane
