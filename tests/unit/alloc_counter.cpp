// Counting global operator new and delete, in a translation unit of their own so that they are
// not inlined into their callers. The array forms call these.
#include "tests/unit/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

std::size_t norvane::test::AllocationCount() {
    return g_allocations.load(std::memory_order_relaxed);
}
