// Counts calls of the global operator new in a program that links norvane_alloc_counter.
#pragma once

#include <cstddef>

namespace norvane::test {

std::size_t AllocationCount();

}  // namespace norvane::test
