#include <cstdio>

#include "tools/cli/commands.h"

namespace norvane::cli {

int RunPorts(std::span<const std::string_view>) {
    std::fputs("norvane-cli ports: not built yet\n", stderr);
    return 2;
}

}  // namespace norvane::cli
