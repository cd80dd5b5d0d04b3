// Writes the sample diagnostic-port stream to the file named by its one argument
// (tests/data/sample-stream.bin in the source tree).
#include <cstdio>

#include "tests/support/frames.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: make-sample-stream FILE\n", stderr);
        return 2;
    }
    const auto stream = norvane::test::SampleStream();
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr || std::fwrite(stream.data(), 1, stream.size(), f) != stream.size() ||
        std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
