#include <cstdio>

int main() {
    std::fputs("norvane-sim: not built yet\n", stderr);
    return 2;
}
