// Sub-commands of norvane-cli. Each takes the arguments after its own name and returns the
// process exit status.
#pragma once

#include <span>
#include <string_view>

namespace norvane::cli {

int RunDecode(std::span<const std::string_view> args);
int RunPorts(std::span<const std::string_view> args);
int RunMonitor(std::span<const std::string_view> args);
int RunExport(std::span<const std::string_view> args);
int RunConvert(std::span<const std::string_view> args);

}  // namespace norvane::cli
