#!/usr/bin/env bash
# Every C++ file the project tracks follows the .clang-format at the root.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run -Werror "${files[@]}"
echo "clang-format: ${#files[@]} files follow the style"
