#!/usr/bin/env bash
# Every test: installs what is missing, builds both programs, runs the unit
# tests natively and under Wine, the whole-program tests, the window tests, the bad-input and
# fault tests (with files of 4 and 5 GiB; LARGE=0 leaves them out), the same native
# tests built with AddressSanitizer and UndefinedBehaviorSanitizer, and each
# fuzz target for a bounded time (FUZZ_SECONDS, default 30).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"

export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
unset DISPLAY

status=0
echo "== unit tests, native"
ctest --test-dir "$here/build/native" --output-on-failure || status=1
echo "== unit tests, Windows build under Wine"
ctest --test-dir "$here/build/win32" --output-on-failure || status=1
echo "== whole-program tests"
"$here/tests/programs_test.sh" || status=1
echo "== recovery files against par2 (par2cmdline), both ways"
"$here/tests/recovery_test.sh" || status=1
echo "== window tests: Trep.exe's windows under Wine on a virtual display"
"$here/tests/window_test.sh" || status=1
echo "== window tests: the setup wizard and the file-type association"
"$here/tests/wizard_test.sh" || status=1

echo "== bad input and faults"
"$here/tests/reliability_test.sh" || status=1

echo "== native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$here" -B "$here/build/sanitize" -DTREP_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$here/build/sanitize" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
ctest --test-dir "$here/build/sanitize" --output-on-failure || status=1
TREP_NATIVE="$here/build/sanitize/trep" "$here/tests/programs_test.sh" || status=1

echo "== fuzzing"
"$here/scripts/fuzz.sh" || status=1

[ $status -eq 0 ] && echo "== all tests passed" || echo "== some tests FAILED"
exit $status
