#!/usr/bin/env bash
# The test command: installs what is missing, builds both programs, then runs
# every stage below in this order, or only the stages named.
#
#   scripts/test.sh [STAGE...]
#
#   unit         the unit tests, natively and as a Windows program under Wine
#   programs     the whole-program tests of trep and Trep.exe, and of trep's
#                subcommands (pipes, check, the terminal)
#
# The Windows tests run the Windows build this machine runs (see
# scripts/windows-build.sh): the 32-bit one where 32-bit programs run, else
# the 64-bit one. Where both run, the 64-bit build's unit and whole-program
# tests run as well. TREP_WINDOWS_BUILD=win64 takes the 64-bit path alone.
#   recovery     recovery files against par2 (par2cmdline), both ways, and
#                the seeded driver of damaged series (PROPERTY_CASES,
#                default 200, from PROPERTY_SEED, default 1)
#   windows      the window tests: Trep.exe's windows under Wine on a virtual
#                display (the main window, then the setup wizard)
#   packages     the Debian package, the Windows zip and installer (made by
#                scripts/package.sh, installed and removed again)
#   reliability  bad input and faults, with files of 4 and 5 GiB (LARGE=0
#                leaves those out)
#   sanitize     the native unit tests built with AddressSanitizer and
#                UndefinedBehaviorSanitizer, and the whole-program checks
#                that run trep (unix_tool_test's too), with trep so built
#   fuzz         each fuzz target for a bounded time (FUZZ_SECONDS, default 30)
#
# Each stage's time is printed when it ends, and all of them with the total
# at the end. Exit code 0 when every stage run passed, 1 when any failed, 2
# for an unknown stage (nothing is run then).
# shellcheck disable=SC2317  # the stage_ functions are called by name
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

STAGES=(unit programs recovery windows packages reliability sanitize fuzz)
usage() { echo "usage: scripts/test.sh [STAGE...]  (STAGE: ${STAGES[*]}; none: all of them)"; }
chosen=" "
for arg in "$@"; do
  case " ${STAGES[*]} " in
    *" $arg "*) chosen+="$arg " ;;
    *)
      if [ "$arg" = -h ] || [ "$arg" = --help ]; then
        usage
        exit 0
      fi
      echo "scripts/test.sh: no stage '$arg'" >&2
      usage >&2
      exit 2
      ;;
  esac
done
[ $# -gt 0 ] || chosen=" ${STAGES[*]} "

stage_unit() {
  local status=0
  echo "== unit tests, native"
  ctest --test-dir "$here/build/native" --output-on-failure || status=1
  for build in "${WINDOWS_BUILDS[@]}"; do
    echo "== unit tests, Windows build $build under Wine"
    ctest --test-dir "$here/build/$build" --output-on-failure || status=1
  done
  return "$status"
}

stage_programs() {
  local status=0 build
  for build in "${WINDOWS_BUILDS[@]}"; do
    echo "== whole-program tests, with Trep.exe of $build"
    TREP_WINDOWS_BUILD=$build "$here/tests/programs_test.sh" || status=1
  done
  echo "== trep's subcommands: split, join, check, pipes and the terminal"
  "$here/tests/unix_tool_test.sh" || status=1
  return "$status"
}

stage_recovery() {
  local status=0
  echo "== recovery files against par2 (par2cmdline), both ways"
  "$here/tests/recovery_test.sh" || status=1
  # Random damage to random series, judged by par2 and the original bytes;
  # Trep.exe (the 64-bit build, which every machine here runs) on every
  # tenth case. The fixed rows first. A longer run for soaking:
  # python3 tests/series_property.py --cases 5000 --seed N.
  echo "== damaged series: the join and trep check against par2 and the original (seeded)"
  python3 "$here/tests/series_property.py" --exe --cases "${PROPERTY_CASES:-200}" \
    --seed "${PROPERTY_SEED:-1}" || status=1
  return "$status"
}

stage_windows() {
  local status=0
  echo "== window tests: Trep.exe's windows under Wine on a virtual display"
  "$here/tests/window_test.sh" || status=1
  echo "== window tests: the setup wizard and the file-type association"
  "$here/tests/wizard_test.sh" || status=1
  echo "== window tests: the main window by keyboard, double clicks and repeated commands"
  "$here/tests/keyboard_test.sh" || status=1
  return "$status"
}

stage_packages() {
  echo "== packages: the Debian package, the Windows zip and installer"
  if ! "$here/scripts/package.sh" >/dev/null; then
    echo "scripts/package.sh failed"
    return 1
  fi
  "$here/tests/package_test.sh"
}

stage_reliability() {
  echo "== bad input and faults"
  "$here/tests/reliability_test.sh"
}

stage_sanitize() {
  local status=0 reports
  echo "== native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake -S "$here" -B "$here/build/sanitize" -DTREP_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null ||
    return 1
  cmake --build "$here/build/sanitize" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null || return 1
  # A finding ends the program with exit code 1 (-fno-sanitize-recover=all),
  # which a check expecting a failure, or not reading stderr, could take for
  # the program's own: every report goes to a file of its own (log_path,
  # suffixed with the process id), and any such file fails the stage.
  reports=$(mktemp -d)
  local -a sanitizer_env=(
    "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$reports/report"
    "UBSAN_OPTIONS=${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}log_path=$reports/report:print_stacktrace=1"
  )
  env "${sanitizer_env[@]}" ctest --test-dir "$here/build/sanitize" --output-on-failure || status=1
  # Only the checks that run trep: the others run Trep.exe or the test tools
  # of build/native alone, as the programs and recovery stages did.
  echo "== whole-program checks that run trep, with trep built with the sanitizers"
  env "${sanitizer_env[@]}" TREP_NATIVE="$here/build/sanitize/trep" TREP_TESTS_NATIVE_ONLY=1 \
    "$here/tests/programs_test.sh" || status=1
  env "${sanitizer_env[@]}" TREP_NATIVE="$here/build/sanitize/trep" TREP_TESTS_NATIVE_ONLY=1 \
    "$here/tests/recovery_test.sh" || status=1
  # trep's subcommands, pipes and terminal (trep alone, no Windows program).
  env "${sanitizer_env[@]}" TREP_NATIVE="$here/build/sanitize/trep" \
    "$here/tests/unix_tool_test.sh" || status=1
  # Hostile series (damage of every kind) through the sanitized trep.
  env "${sanitizer_env[@]}" python3 "$here/tests/series_property.py" \
    --trep "$here/build/sanitize/trep" --cases 50 --seed 100000 || status=1
  if [ -n "$(ls -A "$reports")" ]; then
    echo "== FAILED: the sanitizers reported (each file one process that ended so):"
    local f
    for f in "$reports"/*; do
      echo "-- ${f##*/}"
      cat "$f"
    done
    status=1
  fi
  rm -rf "$reports"
  return "$status"
}

stage_fuzz() {
  echo "== fuzzing"
  "$here/scripts/fuzz.sh"
}

started=$SECONDS
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
times=("install and build: $((SECONDS - started)) s")

# shellcheck source=scripts/windows-build.sh
source "$here/scripts/windows-build.sh"
echo "== $TREP_WIN_WHY"
WINDOWS_BUILDS=("$TREP_WIN")
if [ "$TREP_WIN" = win32 ] && [ -z "${TREP_WINDOWS_BUILD:-}" ]; then
  WINDOWS_BUILDS+=(win64)
  echo "== this machine runs 64-bit programs too: the unit and whole-program tests run the 64-bit build as well"
fi

export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
unset DISPLAY

ran=()
failed=()
for stage in "${STAGES[@]}"; do
  case "$chosen" in *" $stage "*) ;; *) continue ;; esac
  ran+=("$stage")
  stage_started=$SECONDS
  "stage_$stage" || failed+=("$stage")
  times+=("stage $stage: $((SECONDS - stage_started)) s")
  echo "== ${times[-1]}"
done
printf '== %s\n' "${times[@]}" "total: $((SECONDS - started)) s"

scope=
[ $# -eq 0 ] || scope=" of ${ran[*]}"
if [ ${#failed[@]} -eq 0 ]; then
  echo "== all tests$scope passed"
  exit 0
fi
echo "== some tests FAILED, in: ${failed[*]}"
exit 1
