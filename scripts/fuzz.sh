#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for a bounded time from the
# corpus kept in fuzz/corpus. Fails when any target finds a crash; the input
# that did it is kept in build/fuzz/findings.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-30}}
jobs=$(nproc 2>/dev/null || echo 2)

CC=clang CXX=clang++ cmake -S "$here" -B "$here/build/fuzz" -DTREP_FUZZ=ON -DTREP_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build/fuzz" -j "$jobs" >/dev/null

findings="$here/build/fuzz/findings"
mkdir -p "$findings"
status=0
for target in analysis command_line settings join recovery md5_lanes; do
  work=$(mktemp -d)
  # a target whose inputs are simple enough to be found unseeded has no corpus
  if [ -d "$here/fuzz/corpus/$target" ]; then cp "$here/fuzz/corpus/$target/"* "$work/"; fi
  echo "== fuzz_$target for ${seconds} s"
  if ! (cd "$findings" && "$here/build/fuzz/fuzz_$target" -max_total_time="$seconds" \
          -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 "$work" 2>"$findings/$target.log"); then
    echo "fuzz_$target FOUND A FAILURE: see $findings/$target.log and the crash file there"
    status=1
  else
    tail -n 1 "$findings/$target.log"
  fi
  rm -rf "$work"
done
exit $status
