// Counts calls of the global operator new in a program that links alloc_counter.cpp.
#pragma once

#include <cstddef>

namespace norvane::test {

std::size_t AllocationCount();

}  // namespace norvane::test
