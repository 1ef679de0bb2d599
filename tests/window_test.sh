#!/usr/bin/env bash
# Window tests: starts Trep.exe under Wine on a virtual display of its own
# and works its windows the way a person would, with the test tool
# windriver.exe (tests/tools/windriver.cc): reads texts and states of the
# controls, clicks, types, chooses, answers the notices, then checks the
# files made, the settings file and the exit code.
#
#   tests/window_test.sh           run every scenario
#   KEEP=1 tests/window_test.sh    keep the work folder to look at after a failure
#
# One line per check ("ok" or "FAIL", then what differed); the exit code is 1
# when any check failed, 2 when the programs or tools are missing.
#
# Every scenario copies Trep.exe (and the ReadMe.htm beside it) into a
# program folder of its own: the settings file dTrep.dat is read from and
# written to the program's folder, so each scenario starts with the settings
# it sets up and leaves nothing in build/.
set -u
export LC_ALL=C

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILT_EXE=$ROOT/build/win32/Trep.exe
README=$ROOT/build/win32/ReadMe.htm
DRIVER=$ROOT/build/win32/windriver.exe
TREP=$ROOT/build/native/trep
WINE_RUN=$ROOT/scripts/wine-run.sh
RUN_GUARD=180   # seconds a Trep.exe or windriver.exe run may last: a guard against a hang only
WAIT_GUARD=30   # seconds each wait of windriver.exe may last: a guard only

for f in "$BUILT_EXE" "$README" "$DRIVER" "$TREP" "$WINE_RUN"; do
  if [ ! -f "$f" ]; then
    echo "window_test: $f is missing; build with scripts/build.sh" >&2
    exit 2
  fi
done
for tool in wine wineserver Xvfb flock od cmp stat timeout; do
  if ! command -v "$tool" >/dev/null; then
    echo "window_test: the tool '$tool' is missing" >&2
    exit 2
  fi
done

# A Wine prefix for these tests alone, kept between runs (a new one takes a
# while), and used by one run at a time: one Trep.exe per prefix can run, and
# a Wine session keeps the display it began with, so nothing else may share
# it. The other tests use build/wineprefix.
export WINEPREFIX=$ROOT/build/wineprefix-window
mkdir -p "$ROOT/build"
exec 9>"$WINEPREFIX.lock"
if ! flock -w 900 9; then
  echo "window_test: another run holds $WINEPREFIX" >&2
  exit 2
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/trep-window.XXXXXX")
XVFB_PID=
TREP_PID=

wine_idle() { timeout 60 wineserver -w 2>/dev/null; }  # the prefix's session has ended
wine_stop() {  # ends every process of this run's prefix (all of them are this run's)
  wineserver -k 2>/dev/null
  wine_idle
}
cleanup() {
  if [ -n "$TREP_PID" ]; then
    wine_stop
    wait "$TREP_PID" 2>/dev/null
  fi
  wine_stop
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  if [ "${KEEP:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A session left over by a run that was killed would keep its display.
unset DISPLAY WAYLAND_DISPLAY
wine_stop
# Wine makes its prefix on first use, with links to the user's home folders:
# that must happen with the real HOME, before HOME points into $WORK.
if ! timeout 300 "$WINE_RUN" cmd /c exit 0 >/dev/null 2>&1; then
  echo "window_test: Wine does not run in $WINEPREFIX" >&2
  exit 2
fi
wine_idle

# The virtual display: Xvfb picks a free display number itself and writes it
# to fd 3 (-displayfd), so two runs never race for one.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
XVFB_PID=$!
for ((i = 0; i < 400; i++)); do  # a guard only: it answers within a moment
  [ -s "$WORK/display" ] && break
  kill -0 "$XVFB_PID" 2>/dev/null || break
  sleep 0.05
done
n=$(tr -dc 0-9 <"$WORK/display")
if [ -z "$n" ]; then
  echo "window_test: Xvfb did not start: $(cat "$WORK/xvfb.log")" >&2
  exit 2
fi
export DISPLAY=:$n

# Everything the programs could touch outside their folders is private to
# this run: the native program's instance lock ($XDG_RUNTIME_DIR) and HOME.
export XDG_RUNTIME_DIR=$WORK/runtime
export HOME=$WORK/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset XDG_DESKTOP_DIR

# win PATH: the path as Trep.exe sees it (drive Z: is the Unix root).
win() { local p=$1; echo "Z:${p//\//\\}"; }

# ---------------------------------------------------------------- checks ---

CHECKS=0
FAILS=0
PROBLEMS=()

short() {  # long texts (hex dumps, driver output) are cut for the report line
  local t=${1//$'\n'/ | }
  if [ ${#t} -gt 200 ]; then echo "${t:0:200}..."; else echo "$t"; fi
}
expect_eq() {  # WHAT EXPECTED ACTUAL
  [ "$2" == "$3" ] || PROBLEMS+=("$1: expected '$(short "$2")', got '$(short "$3")'")
}
fail_because() { PROBLEMS+=("$1"); }
report() {  # NAME: one line for every expectation since the last report
  CHECKS=$((CHECKS + 1))
  if [ ${#PROBLEMS[@]} -eq 0 ]; then
    echo "ok   $1"
  else
    FAILS=$((FAILS + 1))
    echo "FAIL $1"
    printf '       - %s\n' "${PROBLEMS[@]}"
  fi
  PROBLEMS=()
}

hex() {  # FILE OFFSET COUNT: the bytes as one hex string
  od -A n -t x1 -v -j "$2" -N "$3" "$1" 2>/dev/null | tr -d ' \n'
}
size_of() { stat -c %s "$1" 2>/dev/null || echo "(no file)"; }

# ------------------------------------------------------------ settings ---

# The 58-byte settings file: "TREP1600", ten 32-bit little-endian options,
# 48 and 3, two zero bytes. settings_hex FIELD=VALUE...: its bytes in hex,
# the options at their defaults but for those named.
SETTING_NAMES=(wizardAtStart rebuildMethod destinationMode useCrc useDescription alwaysOnTop
  memoryOption sizeMode wizardRunning sliderMax)
settings_hex() {
  local -A v=([wizardAtStart]=0 [rebuildMethod]=0 [destinationMode]=2 [useCrc]=1
    [useDescription]=0 [alwaysOnTop]=0 [memoryOption]=2 [sizeMode]=0 [wizardRunning]=0
    [sliderMax]=0)
  local a name out
  for a in "$@"; do v[${a%%=*}]=${a#*=}; done
  out=$(printf 'TREP1600' | od -A n -t x1 | tr -d ' \n')
  for name in "${SETTING_NAMES[@]}" 48 3; do
    local x=${v[$name]:-$name}
    out+=$(printf '%02x%02x%02x%02x' $((x & 255)) $(((x >> 8) & 255)) $(((x >> 16) & 255)) $(((x >> 24) & 255)))
  done
  echo "${out}0000"
}
write_settings() {  # FILE FIELD=VALUE...
  local h
  h=$(settings_hex "${@:2}")
  printf '%b' "$(sed 's/../\\x&/g' <<<"$h")" >"$1"
}
expect_settings() {  # FILE FIELD=VALUE...: the file holds exactly these options
  expect_eq "size of ${1##*/}" 58 "$(size_of "$1")"
  expect_eq "bytes of ${1##*/}" "$(settings_hex "${@:2}")" "$(hex "$1" 0 100)"
}

# ------------------------------------------------------------ fixtures ---

mkdir -p "$WORK/fx"
head -c 10000000 /dev/urandom >"$WORK/fx/movie.bin"  # 10,000,000 bytes
head -c 2000000 /dev/urandom >"$WORK/fx/batch.bin"   # 4 segments of 512 KiB
head -c 500 /dev/urandom >"$WORK/fx/small.bin"
head -c 1 /dev/urandom >"$WORK/fx/one.bin"
# A series of movie.bin by the native program (512 KiB: 20 segments).
mkdir -p "$WORK/fx/series"
if ! timeout "$RUN_GUARD" "$TREP" "/i=$WORK/fx/movie.bin" "/o=$WORK/fx/series" /q </dev/null; then
  echo "window_test: trep could not split the fixture" >&2
  exit 2
fi
SERIES_COUNT=20

# expect_series DIR BASE ORIGINAL SEG_BYTES: the names and sizes of a series
# with headers (652 bytes before the first payload, 8 before the others),
# and the native program rebuilds ORIGINAL from it byte for byte.
expect_series() {
  local dir=$1 base=$2 size n i payload want=() got rebuilt
  size=$(stat -c %s "$3")
  n=$(((size + $4 - 1) / $4))
  for ((i = 1; i <= n; i++)); do want+=("$(printf '%s%04d.trp' "$base" "$i")"); done
  got=$(ls -A "$dir" 2>/dev/null)
  expect_eq "files in ${dir#"$WORK/"}" "$(printf '%s\n' "${want[@]}")" "$got"
  [ "$got" == "$(printf '%s\n' "${want[@]}")" ] || return
  for ((i = 1; i <= n; i++)); do
    payload=$((size - (i - 1) * $4))
    [ "$payload" -gt "$4" ] && payload=$4
    expect_eq "size of ${want[i - 1]}" $((payload + (i == 1 ? 652 : 8))) "$(size_of "$dir/${want[i - 1]}")"
  done
  rebuilt=$WORK/rebuilt.$RANDOM
  mkdir -p "$rebuilt"
  timeout "$RUN_GUARD" "$TREP" "/i=$dir/${want[0]}" "/o=$rebuilt" /q </dev/null >/dev/null 2>&1
  expect_eq "exit code of trep's join" 0 "$?"
  cmp -s "$rebuilt/${3##*/}" "$3" || fail_because "trep's join of the series differs from ${3##*/}"
  rm -rf "$rebuilt"
}

# ----------------------------------------------------------- scenarios ---

SCENARIO_NO=0
SDIR=
BROKEN=0  # a step of the scenario failed: the rest of its steps would only wait for nothing

# scenario NAME: ends the last scenario; a fresh folder SDIR with the
# program folder "prog" (a settings file put there before start_trep is
# read) and an empty folder "out"; becomes the current folder.
scenario() {
  end_scenario
  SCENARIO_NO=$((SCENARIO_NO + 1))
  SDIR=$WORK/s$SCENARIO_NO
  mkdir -p "$SDIR/prog" "$SDIR/out"
  cd "$SDIR" || exit 2
  BROKEN=0
  echo "# $1"
}

# A scenario ends with its Trep.exe ended (wait_exit); one still running is
# ended here, and that is a failure of the scenario.
end_scenario() {
  [ -n "$TREP_PID" ] || return 0
  wine_stop
  wait "$TREP_PID" 2>/dev/null
  TREP_PID=
  if [ "$BROKEN" = 0 ]; then
    fail_because "Trep.exe still ran at the end of the scenario; stopped"
    report "scenario $SCENARIO_NO ends with Trep.exe ended"
  fi
}

# start_trep ARGS...: starts the scenario's copy of Trep.exe in the
# background, in SDIR, on the virtual display.
start_trep() {
  cp "$BUILT_EXE" "$README" "$SDIR/prog/"
  (cd "$SDIR" && exec timeout "$RUN_GUARD" "$WINE_RUN" "$SDIR/prog/Trep.exe" "$@" \
    </dev/null >"$SDIR/trep.out" 2>"$SDIR/trep.err") &
  TREP_PID=$!
}

# drive WHAT <<EOF ... EOF: windriver.exe runs the script on stdin (its
# commands are described at the top of tests/tools/windriver.cc); one check.
# DRIVEN holds what it printed ("ID: TEXT" and "notice: MESSAGE" lines).
DRIVE_NO=0
DRIVEN=
drive() {
  DRIVE_NO=$((DRIVE_NO + 1))
  local script=$SDIR/script.$DRIVE_NO rc
  cat >"$script"
  DRIVEN=
  if [ "$BROKEN" = 1 ]; then
    fail_because "not run: an earlier step of the scenario failed"
    report "$1"
    return
  fi
  timeout "$RUN_GUARD" "$WINE_RUN" "$DRIVER" "--timeout=$WAIT_GUARD" <"$script" \
    >"$SDIR/driven.$DRIVE_NO" 2>"$SDIR/driver-stderr.$DRIVE_NO"
  rc=$?
  DRIVEN=$(tr -d '\r' <"$SDIR/driven.$DRIVE_NO")
  if [ "$rc" != 0 ]; then
    BROKEN=1
    local why
    case $rc in
      1) why="an expectation failed" ;;
      2) why="script error" ;;
      3) why="a wait ran out of time" ;;
      124) why="windriver.exe did not end within ${RUN_GUARD}s" ;;
      *) why="windriver.exe ended with $rc: $(short "$(cat "$SDIR/driver-stderr.$DRIVE_NO")")" ;;
    esac
    fail_because "$why"
    local line
    while IFS= read -r line; do fail_because "  $line"; done <<<"$DRIVEN"
  fi
  report "$1"
}
printed() { sed -n "s/^$1: //p" <<<"$DRIVEN"; }  # ID: the text a "print ID" line printed

# wait_exit CODE: waits for Trep.exe to end (within RUN_GUARD of its start)
# and compares its exit code; one check.
wait_exit() {
  local rc
  if [ -z "$TREP_PID" ]; then
    fail_because "no Trep.exe was started"
  elif [ "$BROKEN" = 1 ]; then
    wine_stop
    wait "$TREP_PID" 2>/dev/null
    fail_because "not waited for: an earlier step of the scenario failed; Trep.exe stopped"
  else
    wait "$TREP_PID"
    rc=$?
    if [ "$rc" = 124 ]; then
      fail_because "Trep.exe did not end within ${RUN_GUARD}s"
    else
      expect_eq "exit code" "$1" "$rc"
    fi
  fi
  TREP_PID=
  report "Trep.exe ends with exit code $1"
}

# ====================================================== the scenarios ===

# ------------------------------------------------- batch mode's notice ---

scenario "batch mode (/i= without /q): the job runs, then the \"Finished\" notice"
cp "$WORK/fx/batch.bin" .
start_trep "/i=$(win "$SDIR/batch.bin")" "/o=$(win "$SDIR/out")"
drive "the notice reads \"Finished\", buttons \"OK\" and \"Open ReadMe\"; answered OK" <<EOF
expect-notice-buttons OK "Open ReadMe"
notice 1 Finished
EOF
wait_exit 0
expect_series "$SDIR/out" batc batch.bin $((512 * 1024))
report "out holds batc0001.trp .. batc0004.trp of 512 KiB; trep rebuilds batch.bin from them"

end_scenario
echo
if [ "$FAILS" -eq 0 ]; then
  echo "all $CHECKS checks passed"
  exit 0
fi
echo "$FAILS of $CHECKS checks failed"
exit 1
