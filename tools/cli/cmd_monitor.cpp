#include <cstdio>

#include "tools/cli/commands.h"

namespace norvane::cli {

int RunMonitor(std::span<const std::string_view>) {
    std::fputs("norvane-cli monitor: not built yet\n", stderr);
    return 2;
}

}  // namespace norvane::cli
