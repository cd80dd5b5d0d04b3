// Writes the sample diagnostic-port stream (tests/data/sample-stream.bin) to the file named.
#include <cstdio>

#include "tests/support/frames.h"

int main(int argc, char** argv) {
    const auto s = norvane::test::SampleStream();
    std::FILE* f = argc == 2 ? std::fopen(argv[1], "wb") : nullptr;
    if (f == nullptr || std::fwrite(s.data(), 1, s.size(), f) != s.size() || std::fclose(f) != 0) {
        std::fputs("Usage: make-sample-stream FILE (a file that can be written)\n", stderr);
        return 2;
    }
    return 0;
}
