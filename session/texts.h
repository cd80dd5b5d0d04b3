// The fixed texts of the messages the monitor shows, kept exactly as users know them (the
// spaces around "No Mobile Port !" included), and the wording of a port that would not open.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "link/serial_port.h"

namespace norvane {

inline constexpr std::string_view kErrorCaption = "Error";
inline constexpr std::string_view kNoMobilePortText = "          No Mobile Port !          ";
inline constexpr std::string_view kOpenErrorText = "Error while opening ComPort";
inline constexpr std::string_view kHandleErrorText = "Error Handle the error while opening ComPort";
inline constexpr std::string_view kChangeModeText = "Change Mode \nFor use need Reset modem !!! ";
inline constexpr std::string_view kInfoCaption = "Info";
inline constexpr std::string_view kThreadErrorText = "Error Creating Thread";
inline constexpr std::string_view kRscpOffText = "RSCP Off";
inline constexpr std::string_view kNoPortText = "Error OpenComPort";
inline constexpr std::string_view kNoPortCaption = "Bad CommError";
// The up-time line while the port is gone and the session waits for the modem to come back.
inline constexpr std::string_view kDisconnectedText = "Modem disconnected - waiting";

// The message (caption kErrorCaption) for a port that did not open: kHandleErrorText for a
// device that is no terminal; otherwise kOpenErrorText and a second line with the system's
// reason and, when access was refused, how to get it.
std::string PortErrorText(const PortError& error);

// What an info message (kInfoCaption) says when the modem's answer to a mask leaves logs a view
// needs off: "The modem did not switch on log 0xB193" ("logs 0xB180, 0xB193" for several).
std::string LogsOffText(std::span<const std::uint16_t> codes);

// What an info message says once when a lost modem's going or return cannot be heard (`why`: the
// system's reason): choosing its port again is then the way back.
std::string UnwatchedText(const std::error_code& why);

}  // namespace norvane
