// The program's resources: IDs, the two dialog templates, the string table, bitmaps, the icon
// and the version block.
#pragma once

#include <QIcon>
#include <QString>

#include "framework/dialog_template.h"

namespace norvane {

// Dialogs, menus, bitmaps, icons, strings.
constexpr int IDD_NORVANE_DIALOG = 102;  // the start window
constexpr int IDD_NETMONITOR = 131;
constexpr int IDR_MAINFRAME = 128;  // icon group
constexpr int IDR_START_MENU = 129;
constexpr int IDB_START = 134;
constexpr int IDS_HOMEPAGE = 102;
constexpr int ID_MENU_EMPTY = 65535;

// Start window controls.
constexpr int IDC_HOMEPAGE = 102;
constexpr int IDC_PICTURE = 1013;
constexpr int IDC_QUIT = 1041;
constexpr int IDC_NETMONITOR = 1042;
constexpr int IDC_RADIO = 1101;  // opens the window of today's radio

// NetMonitor window controls. Cell row k (0 to 7) uses the first ID + k of each column.
constexpr int IDC_PORT = 1014;
constexpr int IDC_CAPTURE = 1015;
constexpr int IDC_OFF_RSCP = 1043;
constexpr int IDC_ON_SARPA = 1045;
constexpr int IDC_OFF_SARPA = 1046;
constexpr int IDC_BAR_FIRST = 1052;
constexpr int IDC_WCDMA_CELLS = 1063;
constexpr int IDC_GSM_CELLS = 1064;
constexpr int IDC_PSC_FIRST = 1065;
constexpr int IDC_RSCP_FIRST = 1073;
constexpr int IDC_ECIO_FIRST = 1081;
constexpr int IDC_FREQ_FIRST = 1089;
constexpr int IDC_UPTIME = 1097;
constexpr int IDC_SAR_LABEL = 1098;
constexpr int IDC_PA_LABEL = 1099;
constexpr int IDC_ON_RSCP = 1100;
constexpr int kCellRows = 8;

// The homepage, string 102. The one place the address is written.
constexpr char kHomepageUrl[] = "https://www.example.org/norvane/";

// The version block.
struct VersionInfo {
    int fileVersion[4];
    int productVersion[4];
    const char* fileDescription;
    const char* productName;
    const char* internalName;
    const char* originalFilename;
    const char* privateBuild;
};
extern const VersionInfo kVersionInfo;

extern const DialogTemplate kDialog102;
extern const DialogTemplate kDialog131;

// The template of a dialog ID; aborts on an unknown ID (a build fault, not a run-time event).
const DialogTemplate& DialogResource(int id);

// A string of the string table, or an empty string when there is none of that ID.
QString LoadString(int id);

// Qt resource paths of bitmap and icon resources.
QString BitmapPath(int id);
QIcon LoadIcon(int id);

// Makes the compiled-in images readable under their resource paths. The program then registers
// the bitmaps its templates name with the dialog framework.
void InitResources();

}  // namespace norvane
