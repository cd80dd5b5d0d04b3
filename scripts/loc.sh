#!/usr/bin/env bash
# Non-blank lines of the product and of the tests (tests/, fuzz/, bench/) in the tracked C++,
# CMake, shell and Python files, and the tests' share of the product. The tests stay at most
# 40% of the product (aim: 25-33%).
set -euo pipefail
cd "$(dirname "$0")/.."

nonblank() { xargs -r grep -hcv '^[[:space:]]*$' | awk '{s += $1} END {print s + 0}'; }
files='\.(cpp|h|hpp|cmake|sh|py)$|CMakeLists\.txt$'
tests='^(tests?|fuzz|bench)/'

product=$(git ls-files | grep -E "$files" | grep -vE "$tests" | nonblank)
test=$(git ls-files | grep -E "$files" | grep -E "$tests" | nonblank)
ratio=$(awk -v t="$test" -v p="$product" 'BEGIN {printf "%.2f", p ? t / p : 0}')
echo "Lines (non-blank): product $product, tests+fuzz+bench $test, ratio $ratio (at most 0.40)"
