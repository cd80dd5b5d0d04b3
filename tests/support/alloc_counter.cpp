// Replaces the global operator new/delete with counting versions. Kept in its own translation
// unit so that the replacements are not inlined into their callers.
#include "tests/support/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> g_allocations{0};

void* Allocate(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    return Allocate(size);
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    return Allocate(size);
}
// The nothrow forms too (std::stable_sort's buffer takes one): every allocation and its release
// then go through malloc and free, which the sanitizers see paired.
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
[[gnu::noinline]] void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace norvane::test {

std::size_t AllocationCount() {
    return g_allocations.load(std::memory_order_relaxed);
}

}  // namespace norvane::test
