# Sourced by the scripts and tests: which of the two Windows builds this
# machine runs. Some x86-64 kernels run no 32-bit code at all ("Exec format
# error" for any i386 program, so for 32-bit Wine too); there the 64-bit
# build is the one to run, under 64-bit Wine.
#
# Sets and exports:
#   TREP_WIN         win32 or win64: the build to run here
#   TREP_WIN_DIR     its build folder, build/$TREP_WIN
#   TREP_WIN_WHY     one line saying which and why
#   TREP_RUNS_WIN32  1 when this machine runs 32-bit programs, else 0
#   TREP_WINE_PREFIX the build folder's Wine prefix for that build
#                    (scripts/wine-run.sh makes and uses the same one)
#
# TREP_WINDOWS_BUILD=win32|win64 overrides the choice (win64 runs the
# 64-bit path on a machine that runs both; win32 where 32-bit code does not
# run fails at the first program, as it would without this file).
# shellcheck shell=bash

trep_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Whether 32-bit programs run: the 32-bit Wine loader is itself an i386
# program, so its --version answers only where the kernel runs 32-bit code.
trep_probe_win32() {
  [ -x /usr/lib/wine/wine ] || return 1
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

if trep_probe_win32; then TREP_RUNS_WIN32=1; else TREP_RUNS_WIN32=0; fi
case "${TREP_WINDOWS_BUILD:-}" in
  win32|win64)
    TREP_WIN=$TREP_WINDOWS_BUILD
    TREP_WIN_WHY="Windows build: $TREP_WIN (chosen by TREP_WINDOWS_BUILD)"
    ;;
  "")
    if [ "$TREP_RUNS_WIN32" = 1 ]; then
      TREP_WIN=win32
      TREP_WIN_WHY="Windows build: win32 (this machine runs 32-bit programs)"
    else
      TREP_WIN=win64
      TREP_WIN_WHY="Windows build: win64 (this machine runs no 32-bit programs: $(
        /usr/lib/wine/wine --version 2>&1 >/dev/null | tail -n 1 | sed 's/^.*: //' || true))"
    fi
    ;;
  *)
    echo "TREP_WINDOWS_BUILD must be win32 or win64, not '$TREP_WINDOWS_BUILD'" >&2
    return 2 2>/dev/null || exit 2
    ;;
esac
TREP_WIN_DIR=$trep_root/build/$TREP_WIN
if [ "$TREP_WIN" = win64 ]; then
  TREP_WINE_PREFIX=$trep_root/build/wineprefix64
else
  TREP_WINE_PREFIX=$trep_root/build/wineprefix
fi
export TREP_WIN TREP_WIN_DIR TREP_WIN_WHY TREP_RUNS_WIN32 TREP_WINE_PREFIX
unset trep_root
