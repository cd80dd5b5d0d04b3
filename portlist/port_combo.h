// The port list of a window: a non-editable QComboBox that port discovery fills
// (link/port_discovery.h). Each entry keeps its bytes as item data, so the device name handed to
// the session is exactly what discovery found, whatever its encoding. As in a Windows list,
// adding entries selects nothing: only discovery's preselection does, and code never raises the
// user's choice (setCurrentIndex only; a window listens to `activated`).
//
// Use:
//   if (FillPortCombo(*combo)) { start on PortComboEntry(*combo, combo->currentIndex()) }
//   combo->activated: start on PortComboEntry(*combo, index)
#pragma once

#include <QComboBox>
#include <string>
#include <string_view>

namespace norvane {

// Empties `combo` and fills it from discovery; true when discovery preselected an entry (it is
// then selected; otherwise nothing is).
bool FillPortCombo(QComboBox& combo);

// The entry at `index` as discovery wrote it ("device - description"); an entry added without
// item data by its text; empty for an index outside the list.
std::string PortComboEntry(const QComboBox& combo, int index);

// Selects the first entry whose device is `devicePath` (link/serial_port.h: PortDevicePath);
// false when there is none, and the selection stays.
bool SelectPortDevice(QComboBox& combo, std::string_view devicePath);

}  // namespace norvane
