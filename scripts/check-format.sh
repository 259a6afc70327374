#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' '*.hpp')
if ! clang-format --dry-run --Werror $files; then
    echo "Format differs from .clang-format: run 'cmake --build build --target format'." >&2
    exit 1
fi
