// Writes to standard output the bytes the program sends for the named stored frames, in order:
// "probe" the loopback probe, "flag" a lone 0x7E, any other name a row of the command table.
// The end-to-end test compares the simulator's record with this.
#include <cstdio>
#include <string_view>

#include "diag/command_table.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        const norvane::DiagCommandRow* row = norvane::FindCommandRow(name);
        std::uint8_t buffer[1024] = {0x7E};
        const std::size_t n = name == "flag" ? 1
                              : name == "probe"
                                  ? norvane::StoredFrameToBytes(norvane::DiagProbeFrame, buffer)
                              : row != nullptr ? norvane::StoredFrameToBytes(row->strFrame, buffer)
                                               : 0;
        if (n == 0 || std::fwrite(buffer, 1, n, stdout) != n) {
            std::fprintf(stderr, "e2e_frames: no stored frame '%s'\n", argv[i]);
            return 1;
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
