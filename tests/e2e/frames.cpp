// Writes the bytes the program sends for the named stored frames, one after the other, to
// standard output: "probe" is the loopback probe, "flag" a lone 0x7E, any other name a row of
// the command table. The end-to-end test compares the simulator's record with this.
#include <cstdio>
#include <string_view>

#include "diag/command_table.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        std::uint8_t buffer[1024];
        std::size_t n = 0;
        if (name == "flag") {
            buffer[0] = 0x7E;
            n = 1;
        } else if (name == "probe") {
            n = norvane::StoredFrameToBytes(norvane::DiagProbeFrame, buffer);
        } else if (const norvane::DiagCommandRow* row = norvane::FindCommandRow(name)) {
            n = norvane::StoredFrameToBytes(row->strFrame, buffer);
        } else {
            std::fprintf(stderr, "e2e_frames: no stored frame '%s'\n", argv[i]);
            return 2;
        }
        if (n == 0 || std::fwrite(buffer, 1, n, stdout) != n) {
            return 1;
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
