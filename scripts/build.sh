#!/usr/bin/env bash
# Builds both programs with their unit tests: build/native/trep, and the
# Windows program twice from the same sources, build/win32/Trep.exe (32-bit)
# and build/win64/Trep.exe (64-bit). Both Windows builds are made on every
# machine; which one runs here is scripts/windows-build.sh's question.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S "$here" -B "$here/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build/native" -j "$jobs"

for arch in i686:win32 x86_64:win64; do
  cmake -S "$here" -B "$here/build/${arch#*:}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-${arch%%:*}.cmake" >/dev/null
  cmake --build "$here/build/${arch#*:}" -j "$jobs"
done
