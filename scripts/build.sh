#!/usr/bin/env bash
# Builds both programs: build/native/trep and build/win32/Trep.exe, with
# their unit tests.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S "$here" -B "$here/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build/native" -j "$jobs"

cmake -S "$here" -B "$here/build/win32" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$here/build/win32" -j "$jobs"
