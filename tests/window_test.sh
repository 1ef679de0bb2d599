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
# shellcheck source=scripts/windows-build.sh
source "$ROOT/scripts/windows-build.sh" || exit 2  # TREP_WIN_DIR: the Windows build this machine runs
echo "$TREP_WIN_WHY"
BUILT_EXE=$TREP_WIN_DIR/Trep.exe
README=$TREP_WIN_DIR/ReadMe.htm
DRIVER=$TREP_WIN_DIR/windriver.exe
PROBE=$TREP_WIN_DIR/noticeprobe.exe
TREP=$ROOT/build/native/trep
WINE_RUN=$ROOT/scripts/wine-run.sh
RUN_GUARD=180   # seconds a Trep.exe or windriver.exe run may last: a guard against a hang only
WAIT_GUARD=30   # seconds each wait of windriver.exe may last: a guard only

for f in "$BUILT_EXE" "$README" "$DRIVER" "$PROBE" "$TREP" "$WINE_RUN"; do
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
# it. The other tests use build/wineprefix. Its user folders (the desktop,
# the default output folder, among them) link to WINE_HOME, never to the
# user's own home.
export WINEPREFIX=$TREP_WINE_PREFIX-window
WINE_HOME=$TREP_WINE_PREFIX-window-home
mkdir -p "$WINE_HOME"
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
  # A scenario that set the dots per inch and did not get to put them back.
  [ -n "${DPI_SET:-}" ] && set_dpi ""
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
# Wine makes its prefix on first use, with links to the folders of HOME.
if ! HOME=$WINE_HOME timeout 300 "$WINE_RUN" cmd /c exit 0 >/dev/null 2>&1; then
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

SHORT_LIMIT=200  # driver output is worth more room
# shellcheck source=tests/lib/checks.sh
source "$ROOT/tests/lib/checks.sh"

# steps TEXT: windriver lines written "a; b; c" in a table cell, one a line
# ("-": none).
steps() { [ "$1" = - ] || echo "${1//; /$'\n'}"; }

size_of() { stat -c %s "$1" 2>/dev/null || echo "(no file)"; }

# ------------------------------------------------------------ settings ---

# The 58-byte settings file: "TREP1600", ten 32-bit little-endian options,
# 48 and 3, and recoveryFiles in 16 bits. settings_hex FIELD=VALUE...: its bytes in hex,
# the options at their defaults but for those named.
SETTING_NAMES=(wizardAtStart rebuildMethod destinationMode useCrc useDescription alwaysOnTop
  memoryOption sizeMode wizardRunning sliderMax)
settings_hex() {
  local -A v=([wizardAtStart]=0 [rebuildMethod]=0 [destinationMode]=2 [useCrc]=1
    [useDescription]=0 [alwaysOnTop]=0 [memoryOption]=2 [sizeMode]=0 [wizardRunning]=0
    [sliderMax]=0 [recoveryFiles]=0)
  local a name out
  for a in "$@"; do v[${a%%=*}]=${a#*=}; done
  out=$(printf 'TREP1600' | od -A n -t x1 | tr -d ' \n')
  for name in "${SETTING_NAMES[@]}" 48 3; do
    local x=${v[$name]:-$name}
    out+=$(printf '%02x%02x%02x%02x' $((x & 255)) $(((x >> 8) & 255)) $(((x >> 16) & 255)) $(((x >> 24) & 255)))
  done
  local r=${v[recoveryFiles]}
  printf '%s%02x%02x\n' "$out" $((r & 255)) $(((r >> 8) & 255))
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
head -c 20000 /dev/urandom >"$WORK/fx/many.bin"
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
FAILED=0  # a step of the scenario failed; the next steps still run
BROKEN=0  # a step timed out or could not run: the rest would only wait for nothing
AFTER_FAILURE_GUARD=20  # seconds Trep.exe is given to end after a failed step: a guard only

# scenario NAME: ends the last scenario; a fresh folder SDIR with the
# program folder "prog" (a settings file put there before start_trep is
# read) and an empty folder "out"; becomes the current folder. PROG_DIR is
# the program folder; a scenario may name another before start_trep.
scenario() {
  end_scenario
  SCENARIO_NO=$((SCENARIO_NO + 1))
  SDIR=$WORK/s$SCENARIO_NO
  mkdir -p "$SDIR/prog" "$SDIR/out"
  PROG_DIR=$SDIR/prog
  cd "$SDIR" || exit 2
  FAILED=0
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
  if [ "$FAILED" = 0 ]; then
    fail_because "Trep.exe still ran at the end of the scenario; stopped"
    report "scenario $SCENARIO_NO ends with Trep.exe ended"
  fi
}

# start_trep ARGS...: starts the scenario's copy of Trep.exe (in PROG_DIR)
# in the background, in SDIR, on the virtual display.
start_trep() {
  mkdir -p "$PROG_DIR"
  cp "$BUILT_EXE" "$README" "$PROG_DIR/"
  (cd "$SDIR" && exec timeout "$RUN_GUARD" "$WINE_RUN" "$PROG_DIR/Trep.exe" "$@" \
    </dev/null >"$SDIR/trep.out" 2>"$SDIR/trep.err") &
  TREP_PID=$!
}

# start_probe NOTICE...: noticeprobe.exe in place of Trep.exe, raising each
# NOTICE ("message|upper|lower|timeout|kind") through the notice dialog;
# what each returned goes to SDIR/trep.out.
start_probe() {
  (cd "$SDIR" && exec timeout "$RUN_GUARD" "$WINE_RUN" "$PROBE" "$@" \
    </dev/null >"$SDIR/trep.out" 2>"$SDIR/trep.err") &
  TREP_PID=$!
}

# drive WHAT <<EOF ... EOF: windriver.exe runs the script on stdin (its
# commands are described at the top of tests/tools/windriver.cc); one check.
# After a step that timed out the scenario's later steps are not run.
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
    # A failed expectation (1) leaves the program as it was; anything else
    # leaves it in a state the next steps cannot count on.
    FAILED=1
    [ "$rc" != 1 ] && BROKEN=1
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
  local rc i stopped=0
  if [ -z "$TREP_PID" ]; then
    fail_because "no Trep.exe was started"
  elif [ "$BROKEN" = 1 ]; then
    wine_stop
    wait "$TREP_PID" 2>/dev/null
    fail_because "not waited for: an earlier step of the scenario failed; Trep.exe stopped"
  else
    if [ "$FAILED" = 1 ]; then
      # A failed step may have left a notice open that nobody answers.
      for ((i = 0; i < AFTER_FAILURE_GUARD * 10; i++)); do
        kill -0 "$TREP_PID" 2>/dev/null || break
        sleep 0.1
      done
      if kill -0 "$TREP_PID" 2>/dev/null; then
        wine_stop
        stopped=1
      fi
    fi
    wait "$TREP_PID"
    rc=$?
    if [ "$stopped" = 1 ]; then
      fail_because "still running ${AFTER_FAILURE_GUARD}s after the failed step; stopped"
    elif [ "$rc" = 124 ]; then
      fail_because "Trep.exe did not end within ${RUN_GUARD}s"
    else
      expect_eq "exit code" "$1" "$rc"
    fi
  fi
  TREP_PID=
  report "Trep.exe ends with exit code $1"
}

# Another script may run scenarios of its own with everything above
# (tests/wizard_test.sh): it sets WINDOW_TEST_HARNESS_ONLY=1 and sources
# this file, which then stops here.
if [ "${WINDOW_TEST_HARNESS_ONLY:-0}" = 1 ]; then return 0; fi

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

# ------------------------------------------------------- the main window ---

# The desktop folder (CSIDL_DESKTOPDIRECTORY), as Wine names it for this user.
DESKTOP=$(timeout 60 "$WINE_RUN" cmd /c echo %USERPROFILE% </dev/null 2>/dev/null | tr -d '\r')
DESKTOP+='\Desktop'
BAD_COUNT="The number of segments must be at least 2 and at most 9999."
PRESETS="Manual|EMail|Floppy|Sup Flop|Zip 100|Zip 250|Zip 750|CD 74|CD 80|Flash 64 M|Flash 128 M"
PRESETS+="|Flash 256 M|Flash 512 M|Flash 1 G|Flash 2 G|Flash 4 G|DVD SL|DVD DL"

scenario "start-up without a settings file: the fields at their defaults; Quit saves the settings"
start_trep
drive "the window \"Trep\" with every field at its default" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
expect-title Trep
expect-items CTL_REBUILD_METHOD "Trep|BAT file"
expect-selection CTL_REBUILD_METHOD Trep
expect-items CTL_DESTINATION "Folder|Multi-Removable|Named Folder|Same as Source"
expect-selection CTL_DESTINATION "Named Folder"
expect-items CTL_MEMORY "Maximum|Physical|Half"
expect-selection CTL_MEMORY Half
expect-checked CTL_USE_CRC 1
expect-checked CTL_USE_DESCRIPTION 0
expect-checked CTL_MODE_FAST 1
expect-checked CTL_MODE_NUMBER 0
expect-checked CTL_MODE_SIZE 0
expect-text CTL_SIZE_NUMBER 900
expect-items CTL_SIZE_UNIT "Bytes|kBytes|MBytes|GBytes"
expect-selection CTL_SIZE_UNIT kBytes
expect-text CTL_SEGMENT_COUNT 2
expect-text CTL_CRC 0
expect-text CTL_OUTPUT_FOLDER "$DESKTOP"
expect-items CTL_PRESETS "$PRESETS"
expect-selection CTL_PRESETS Manual
expect-text CTL_START Decide!
expect-enabled CTL_START 0
expect-text CTL_SIZE_SUMMARY "Pick a valid file."
expect-text CTL_FILE_NAME "No File"
expect-text CTL_FILE_SIZE 0
expect-text CTL_FILE_SIZE_UNIT Bytes
expect-visible CTL_PROGRESS 0
expect-visible CTL_HELP 1
expect-visible CTL_AUTO_RUN 1
EOF
drive "\"Quit\" closes the window" <<EOF
window Trep
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_settings "$SDIR/prog/dTrep.dat"
report "dTrep.dat in the program folder: 58 bytes, \"TREP1600\" and the default options"

scenario "a settings file is read into the fields, and the close box writes it back unchanged"
# Every option away from its default that the window shows.
CUSTOM=(rebuildMethod=1 destinationMode=0 useCrc=0 memoryOption=0 sizeMode=2)
write_settings "$SDIR/prog/dTrep.dat" "${CUSTOM[@]}"
start_trep
drive "\"BAT file\", \"Folder\", \"Maximum\" selected; \"Use CRC\" clear; \"Size\" checked" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
expect-selection CTL_REBUILD_METHOD "BAT file"
expect-selection CTL_DESTINATION Folder
expect-selection CTL_MEMORY Maximum
expect-checked CTL_USE_CRC 0
expect-checked CTL_MODE_FAST 0
expect-checked CTL_MODE_SIZE 1
close
wait-gone
EOF
wait_exit 0
expect_settings "$SDIR/prog/dTrep.dat" "${CUSTOM[@]}"
report "dTrep.dat after the close box: the same 58 bytes"

scenario "a file to split as argument 1: \"Go Trep!\" and its sizes"
cp "$WORK/fx/movie.bin" .
MOVIE=$(win "$SDIR/movie.bin")
start_trep "$MOVIE"
# The default segment: half the file plus 1/32 of that, 5,156,250 bytes,
# shown as 5035 kBytes (whole kilobytes, cut).
drive "movie.bin analysed: 2 files of 5035 kBytes into the named folder on the desktop" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
expect-enabled CTL_START 1
expect-text CTL_SOURCE_PATH "$MOVIE"
expect-text CTL_FILE_NAME movie.bin
expect-text CTL_FILE_SIZE "10, 000, 000"
expect-text CTL_SIZE_SUMMARY "File will be Trepped into 2 files of 5035 kBytes"
expect-text CTL_SIZE_NUMBER 5035
expect-selection CTL_SIZE_UNIT kBytes
expect-text CTL_SEGMENT_COUNT 2
expect-slider CTL_SLIDER 2
expect-slider-range CTL_SLIDER 2 9999
expect-text CTL_OUTPUT_FOLDER "$DESKTOP\movie"
expect-enabled CTL_PRESETS 1
expect-enabled CTL_SLIDER 1
expect-enabled CTL_SEGMENT_COUNT 0
expect-enabled CTL_SIZE_NUMBER 0
expect-enabled CTL_DESTINATION 1
EOF
drive "the close box closes the window" <<EOF
window Trep
close
wait-gone
EOF
wait_exit 0
# 10,000,000 / 16 is above 9999: the slider's end is 9999.
expect_settings "$SDIR/prog/dTrep.dat" sliderMax=9999
report "dTrep.dat: the default options and the slider's end 9999"

scenario "a segment as argument 1: \"Go UnTrep!\" and the series' count"
SEGMENT=$(win "$WORK/fx/series/movi0002.trp")
start_trep "$SEGMENT"
drive "movi0002.trp analysed: the series of movie.bin in $SERIES_COUNT files" <<EOF
window Trep
wait-text CTL_START "Go UnTrep!"
expect-enabled CTL_START 1
expect-text CTL_SOURCE_PATH "$SEGMENT"
expect-text CTL_FILE_NAME movie.bin
expect-text CTL_FILE_SIZE "10, 000, 000"
expect-text CTL_SIZE_SUMMARY "File was Trepped into $SERIES_COUNT files"
expect-enabled CTL_PRESETS 0
expect-enabled CTL_DESTINATION 0
expect-text CTL_OUTPUT_FOLDER "$DESKTOP\movie"
click CTL_QUIT
wait-gone
EOF
wait_exit 0

scenario "presets and the slider set the size fields and the summary (movie.bin, 10,000,000 bytes)"
cp "$WORK/fx/movie.bin" .
start_trep "$(win "$SDIR/movie.bin")"
drive "movie.bin analysed" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
EOF
# steps | preset shown | segment count | size field | unit
#   A preset's segment is its size in kB times 1024 (Floppy 1400 kB, EMail
#   900 kB); one larger than the file makes one segment of the whole file
#   (CD 74: 9,765 kBytes). The slider asks for a count: the segment is
#   q + 1 + (q + 1) / 256, q the file size / count (4: 2,509,766 bytes,
#   2450 kBytes), and the preset list goes back to "Manual". The slider
#   follows the count down to its minimum, 2.
PRESET_CASES=(
  "choose CTL_PRESETS Floppy    | Floppy | 7  | 1400 | kBytes"
  "choose CTL_PRESETS EMail     | EMail  | 11 | 900  | kBytes"
  "slide CTL_SLIDER 4           | Manual | 4  | 2450 | kBytes"
  "choose CTL_PRESETS \"CD 74\" | CD 74  | 1  | 9765 | kBytes"
)
for row in "${PRESET_CASES[@]}"; do
  read_row "$row" p_steps p_preset p_count p_size p_unit
  summary="File will be Trepped into $p_count files of $p_size $p_unit"
  drive "$p_steps -> \"$summary\", count $p_count, slider $p_count" <<EOF
window Trep
$(steps "$p_steps")
expect-selection CTL_PRESETS "$p_preset"
expect-text CTL_SIZE_SUMMARY "$summary"
expect-text CTL_SIZE_NUMBER $p_size
expect-selection CTL_SIZE_UNIT $p_unit
expect-text CTL_SEGMENT_COUNT $p_count
expect-slider CTL_SLIDER $((p_count < 2 ? 2 : p_count))
EOF
done
drive "\"Quit\" closes the window" <<EOF
window Trep
click CTL_QUIT
wait-gone
EOF
wait_exit 0

scenario "a split and a join through the window, each to \"Finished\""
cp "$WORK/fx/movie.bin" .
mkdir rebuilt
OUT=$(win "$SDIR/out")
start_trep "$(win "$SDIR/movie.bin")"
drive "split: destination \"Folder\", output folder out, \"Go Trep!\"; the notice \"Finished\" while the progress bar shows" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
choose CTL_DESTINATION Folder
focus CTL_OUTPUT_FOLDER
type CTL_OUTPUT_FOLDER "$OUT"
unfocus CTL_OUTPUT_FOLDER
expect-text CTL_OUTPUT_FOLDER "$OUT"
click CTL_START
expect-notice-buttons OK "Quit Trep"
expect-notice-topmost
expect-visible CTL_PROGRESS 1
expect-visible CTL_HELP 0
expect-visible CTL_AUTO_RUN 0
expect-enabled CTL_START 0
notice 1 Finished
EOF
# The options and the start button stay locked after a job until a file is
# chosen again, so a finished split is not started a second time by mistake.
drive "after the answer OK: progress bar hidden, \"Help\" and \"Auto Run\" back, title \"Trep 1.91\", start locked" <<EOF
window Trep
wait-title "Trep 1.91"
wait-visible CTL_AUTO_RUN 1
expect-visible CTL_PROGRESS 0
expect-visible CTL_HELP 1
expect-text CTL_START "Go Trep!"
print CTL_CRC
expect-enabled CTL_START 0
expect-enabled CTL_PRESETS 0
expect-enabled CTL_DESTINATION 0
EOF
expect_series "$SDIR/out" movi movie.bin $((5035 * 1024))
report "out holds movi0001.trp and movi0002.trp (segments of the 5035 kBytes shown); trep rebuilds movie.bin from them"
expect_eq "CRC field (CTL_CRC)" "$(le "$SDIR/out/movi0001.trp" 622 4)" "$(printed CTL_CRC)"
report "the CRC field shows the checksum recorded in movi0001.trp"
drive "join: movi0001.trp typed as the file, output folder rebuilt, \"Go UnTrep!\"; \"Finished\"" <<EOF
window Trep
focus CTL_SOURCE_PATH
type CTL_SOURCE_PATH "$OUT\movi0001.trp"
unfocus CTL_SOURCE_PATH
wait-text CTL_START "Go UnTrep!"
expect-text CTL_FILE_NAME movie.bin
expect-text CTL_SIZE_SUMMARY "File was Trepped into 2 files"
focus CTL_OUTPUT_FOLDER
type CTL_OUTPUT_FOLDER "$(win "$SDIR/rebuilt")"
unfocus CTL_OUTPUT_FOLDER
click CTL_START
expect-notice-buttons OK "Quit Trep"
notice 1 Finished
wait-title "Trep 1.91"
wait-visible CTL_AUTO_RUN 1
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_eq "files in rebuilt" movie.bin "$(ls -A rebuilt)"
cmp -s rebuilt/movie.bin movie.bin || fail_because "rebuilt/movie.bin differs from movie.bin"
report "rebuilt/movie.bin is movie.bin, byte for byte"
expect_settings "$SDIR/prog/dTrep.dat" destinationMode=0 sliderMax=9999
report "dTrep.dat: destination \"Folder\" kept"

# source | what | damage | notice | exit code
#   The end notice answered "Quit Trep" ends the process with the job's
#   result. The series is trep's (20 segments); "flipped": the first payload
#   byte of its segment 0002 inverted, which the checksum covers.
QUIT_CASES=(
  "movie.bin           | split | -       | Finished   | 0"
  "series/movi0001.trp | join  | flipped | CRC Failed | 1"
)
for row in "${QUIT_CASES[@]}"; do
  read_row "$row" q_source q_what q_damage q_notice q_exit
  scenario "the end notice of a $q_what answered \"Quit Trep\": exit code $q_exit"
  cp -r "$WORK/fx/movie.bin" "$WORK/fx/series" .
  if [ "$q_damage" = flipped ]; then
    b=$(od -A n -t u1 -j 8 -N 1 series/movi0002.trp | tr -d ' ')
    printf "\\x$(printf %02x $((b ^ 255)))" | dd of=series/movi0002.trp bs=1 seek=8 conv=notrunc status=none
  fi
  write_settings "$SDIR/prog/dTrep.dat" destinationMode=0
  start_trep "$(win "$SDIR/$q_source")"
  drive "\"$q_notice\" answered \"Quit Trep\"" <<EOF
window Trep
wait-enabled CTL_START 1
focus CTL_OUTPUT_FOLDER
type CTL_OUTPUT_FOLDER "$(win "$SDIR/out")"
unfocus CTL_OUTPUT_FOLDER
click CTL_START
expect-notice-buttons OK "Quit Trep"
notice 2 "$q_notice"
wait-gone
EOF
  wait_exit "$q_exit"
  if [ "$q_what" = split ]; then
    expect_series "$SDIR/out" movi movie.bin $((5035 * 1024))
    report "out holds the series of movie.bin; trep rebuilds movie.bin from it"
  else
    expect_eq "files in out" movie.bin "$(ls -A out)"
    cmp -s out/movie.bin movie.bin && fail_because "out/movie.bin is movie.bin, yet the checksum failed"
    report "out holds movie.bin rebuilt from the changed series (not the original)"
  fi
done

# file | steps | summary
#   small.bin (500 bytes): the preset EMail is larger than the file, one
#   segment. one.bin (1 byte): half of it is no byte, one segment.
#   many.bin (20,000 bytes) in segments of 1 byte (mode "Size"): 20,000.
COUNT_CASES=(
  "small.bin | choose CTL_PRESETS EMail                                                 | File will be Trepped into 1 files of 500 Bytes"
  "one.bin   | -                                                                       | File will be Trepped into 1 files of 1 Bytes"
  "many.bin  | check CTL_MODE_SIZE 1; choose CTL_SIZE_UNIT Bytes; type CTL_SIZE_NUMBER 1 | Too many files! (9,999 max.)"
)
for row in "${COUNT_CASES[@]}"; do
  read_row "$row" c_file c_steps c_summary
  what=$c_file
  [ "$c_steps" != - ] && what+=" after \"$c_steps\""
  scenario "$what: the segment count is refused at start"
  cp "$WORK/fx/$c_file" .
  write_settings "$SDIR/prog/dTrep.dat" destinationMode=0
  start_trep "$(win "$SDIR/$c_file")"
  drive "\"$c_summary\"; \"Go Trep!\" -> the notice on the count, no job" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
focus CTL_OUTPUT_FOLDER
type CTL_OUTPUT_FOLDER "$(win "$SDIR/out")"
unfocus CTL_OUTPUT_FOLDER
$(steps "$c_steps")
expect-text CTL_SIZE_SUMMARY "$c_summary"
click CTL_START
expect-notice-buttons OK "Open ReadMe"
notice 1 "$BAD_COUNT"
no-notice 1000
expect-visible CTL_PROGRESS 0
expect-title Trep
expect-enabled CTL_START 1
click CTL_QUIT
wait-gone
EOF
  wait_exit 0
  expect_eq "files in out" "" "$(ls -A out)"
  report "nothing written to out"
done

scenario "a series without headers (cut by split): asked about, rebuilt, \"Finished\""
mkdir series rebuilt
(cd series && split -d -a 4 --numeric-suffixes=1 --additional-suffix=.trp -b 4096 \
  "$WORK/fx/many.bin" data)  # data0001.trp .. data0005.trp
start_trep "$(win "$SDIR/series/data0003.trp")"
drive "the question about the missing header, answered \"Attempt\"; the join runs to \"Finished\"" <<EOF
expect-notice-buttons "Attempt to UnTrep them anyway." "Abort procedure"
notice 1 "These files don't have a Trep header."
window Trep
wait-text CTL_START "Go UnTrep!"
focus CTL_OUTPUT_FOLDER
type CTL_OUTPUT_FOLDER "$(win "$SDIR/rebuilt")"
unfocus CTL_OUTPUT_FOLDER
click CTL_START
expect-notice-buttons OK "Quit Trep"
notice 2 Finished
EOF
wait_exit 0
# The destination is "Named Folder": a folder named after the file, which
# for a series without a header is its base name.
expect_eq "files in rebuilt/data" data "$(ls -A rebuilt/data)"
cmp -s rebuilt/data/data "$WORK/fx/many.bin" || fail_because "rebuilt/data/data differs from many.bin"
report "rebuilt/data/data is many.bin, byte for byte; \"Quit Trep\" ends with 0"

scenario "the file chooser and the folder browser: cancelled, then used"
cp "$WORK/fx/movie.bin" "$WORK/fx/small.bin" .
MOVIE=$(win "$SDIR/movie.bin")
start_trep "$MOVIE"
drive "the file chooser opens on the chosen file; Cancel changes nothing" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
open-click CTL_CHOOSE_FILE
title Open
expect-text cmb13 movie.bin
click IDCANCEL
window Trep
expect-text CTL_SOURCE_PATH "$MOVIE"
expect-text CTL_FILE_NAME movie.bin
expect-text CTL_SIZE_SUMMARY "File will be Trepped into 2 files of 5035 kBytes"
EOF
drive "a file picked in the chooser is analysed at once" <<EOF
window Trep
open-click CTL_CHOOSE_FILE
title Open
type cmb13 "$(win "$SDIR/small.bin")"
click IDOK
window Trep
wait-text CTL_FILE_NAME small.bin
expect-text CTL_SOURCE_PATH "$(win "$SDIR/small.bin")"
expect-text CTL_FILE_SIZE 500
EOF
# The browser opens on the desktop; its OK takes that folder, and the named
# folder of "Named Folder" (the default destination) is added to it.
drive "the folder browser: Cancel keeps the folder, OK takes the desktop with the named folder" <<EOF
window Trep
focus CTL_OUTPUT_FOLDER
type CTL_OUTPUT_FOLDER "$(win "$SDIR/out")"
unfocus CTL_OUTPUT_FOLDER
expect-text CTL_OUTPUT_FOLDER "$(win "$SDIR/out")\\small"
open-click CTL_CHOOSE_FOLDER
title "Browse for Folder"
click IDCANCEL
window Trep
expect-text CTL_OUTPUT_FOLDER "$(win "$SDIR/out")\\small"
open-click CTL_CHOOSE_FOLDER
title "Browse for Folder"
click IDOK
window Trep
expect-like CTL_OUTPUT_FOLDER "*\\Desktop\\small"
click CTL_QUIT
wait-gone
EOF
wait_exit 0

scenario "\"About\" shows the program's name and version"
start_trep
drive "the about box over the main window, closed by OK" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
open-click CTL_ABOUT
title "About Trep"
expect-text kAboutVersion "Trep 1.91"
click IDOK
wait-gone
window Trep
click CTL_QUIT
wait-gone
EOF
wait_exit 0

scenario "the notice dialog: Enter and Esc, the timeout, nothing carried over to the next"
start_probe "First notice|Upper one|Lower one" "Second notice|Yes please|No thanks" \
  "Times out|OK|Open ReadMe|2" "Fourth notice|A|B||0"
drive "Enter answers with the upper button, Esc with the lower; the third closes by itself" <<EOF
expect-notice-buttons "Upper one" "Lower one"
notice-key enter "First notice"
expect-notice-buttons "Yes please" "No thanks"
notice-key esc "Second notice"
wait-notice "Times out"
wait-notice-gone
EOF
# The fourth notice has no timeout: after longer than the third's it is
# still open, with its own captions.
drive "the fourth shows only its own captions and waits for its answer" <<EOF
expect-notice-buttons A B
sleep 3000
expect-notice-buttons A B
notice 2 "Fourth notice"
EOF
wait_exit 0
expect_eq "answers (upper 1, lower 2, timeout 1) and the last answer kept" \
  "answer 1 result 1|answer 2 result 2|answer 1 result 1|answer 2 result 2" \
  "$(tr -d '\r' <"$SDIR/trep.out" | paste -sd '|')"
report "noticeprobe got 1, 2, 1 (timeout), 2"

scenario "\"On Top Toggle\" in the system menu flips the window's topmost state, kept in the settings"
start_trep
drive "not topmost; the toggle three times: topmost, not, topmost" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
expect-topmost 0
sysmenu kOnTopToggle
expect-topmost 1
sysmenu kOnTopToggle
expect-topmost 0
sysmenu kOnTopToggle
expect-topmost 1
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_settings "$SDIR/prog/dTrep.dat" alwaysOnTop=1
report "dTrep.dat: alwaysOnTop 1"
start_trep
# The window always starts not on top; the stored flag only decides what
# the first toggle does (it clears the flag and leaves the window as it is).
drive "started again with those settings: not topmost; the toggle twice: not, then topmost" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
expect-topmost 0
sysmenu kOnTopToggle
expect-topmost 0
sysmenu kOnTopToggle
expect-topmost 1
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_settings "$SDIR/prog/dTrep.dat" alwaysOnTop=1
report "dTrep.dat: alwaysOnTop 1 again"

# ------------------------------------------- the window as people use it ---

scenario "typing key by key: each character lands where the caret is"
cp "$WORK/fx/small.bin" .
SMALL=$(win "$SDIR/small.bin")
start_trep
# The analysis of every change rewrites the source field with the path it
# took, and the named folder is added to the output folder after each key:
# neither may move the caret away from where the person types.
drive "the path of small.bin typed into the empty source field, then \".x\"" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
type CTL_SOURCE_PATH ""
keys CTL_SOURCE_PATH "$SMALL"
expect-text CTL_SOURCE_PATH "$SMALL"
expect-caret CTL_SOURCE_PATH end
expect-text CTL_FILE_NAME small.bin
expect-text CTL_FILE_SIZE 500
expect-text CTL_START "Go Trep!"
keys CTL_SOURCE_PATH ".x"
expect-text CTL_SOURCE_PATH "$SMALL.x"
expect-caret CTL_SOURCE_PATH end
EOF
drive "no file by that name: the window shows none (\"No File\", 0 Bytes, \"Decide!\")" <<EOF
window Trep
expect-text CTL_FILE_NAME "No File"
expect-text CTL_FILE_SIZE 0
expect-text CTL_START Decide!
expect-enabled CTL_START 0
expect-text CTL_SIZE_SUMMARY "Pick a valid file."
EOF
FOLDER_TYPED="$DESKTOP\\smallxy"
drive "\"xy\" typed at the end of the output folder (\"Named Folder\"): the named folder follows, the caret stays" <<EOF
window Trep
type CTL_SOURCE_PATH "$SMALL"
wait-text CTL_START "Go Trep!"
expect-text CTL_OUTPUT_FOLDER "$DESKTOP\\small"
caret CTL_OUTPUT_FOLDER end
keys CTL_OUTPUT_FOLDER xy
expect-text CTL_OUTPUT_FOLDER "$FOLDER_TYPED\\small"
expect-caret CTL_OUTPUT_FOLDER ${#FOLDER_TYPED}
click CTL_QUIT
wait-gone
EOF
wait_exit 0

scenario "clicking into the fields, or choosing the same file again, changes nothing that was set"
cp "$WORK/fx/movie.bin" .
MOVIE=$(win "$SDIR/movie.bin")
OUT=$(win "$SDIR/out")
start_trep "$MOVIE"
# 3000 kBytes of 10,000,000 bytes: 4 segments.
SET="File will be Trepped into 4 files of 3000 kBytes"
drive "destination \"Folder\" out, size 3000 kBytes typed: \"$SET\"" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
choose CTL_DESTINATION Folder
type CTL_OUTPUT_FOLDER "$OUT"
check CTL_MODE_SIZE 1
type CTL_SIZE_NUMBER 3000
expect-text CTL_SIZE_SUMMARY "$SET"
EOF
# steps that are no change of the job
FOCUS_CASES=(
  "focus CTL_SOURCE_PATH; unfocus CTL_SOURCE_PATH"
  "focus CTL_OUTPUT_FOLDER; unfocus CTL_OUTPUT_FOLDER"
  "focus CTL_SIZE_NUMBER; unfocus CTL_SIZE_NUMBER"
  "focus CTL_DESTINATION; unfocus CTL_DESTINATION"
  "open-click CTL_CHOOSE_FILE; title Open; type cmb13 \"$MOVIE\"; click IDOK; window Trep"
)
for row in "${FOCUS_CASES[@]}"; do
  drive "$row: folder, size and count as set" <<EOF
window Trep
$(steps "$row")
no-notice 300
expect-text CTL_SOURCE_PATH "$MOVIE"
expect-text CTL_OUTPUT_FOLDER "$OUT"
expect-selection CTL_DESTINATION Folder
expect-text CTL_SIZE_NUMBER 3000
expect-selection CTL_SIZE_UNIT kBytes
expect-text CTL_SEGMENT_COUNT 4
expect-text CTL_SIZE_SUMMARY "$SET"
expect-enabled CTL_START 1
EOF
done
drive "\"Go Trep!\": the job as set, into out" <<EOF
window Trep
click CTL_START
notice 1 Finished
wait-visible CTL_AUTO_RUN 1
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_series "$SDIR/out" movi movie.bin $((3000 * 1024))
report "out holds 4 segments of 3000 kBytes; trep rebuilds movie.bin from them"

scenario "a join after a split: the size fields show the series, not the split"
cp "$WORK/fx/movie.bin" .
start_trep "$(win "$SDIR/movie.bin")"
# The series: 20 segments, the first of 652 + 524,288 bytes (512 kBytes).
drive "movie.bin (2 segments of 5035 kBytes), then a segment of the series of 20 typed" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
expect-text CTL_SEGMENT_COUNT 2
type CTL_SOURCE_PATH "$(win "$WORK/fx/series/movi0002.trp")"
wait-text CTL_START "Go UnTrep!"
expect-text CTL_SEGMENT_COUNT $SERIES_COUNT
expect-text CTL_SIZE_NUMBER 512
expect-selection CTL_SIZE_UNIT kBytes
expect-text CTL_SIZE_SUMMARY "File was Trepped into $SERIES_COUNT files"
click CTL_QUIT
wait-gone
EOF
wait_exit 0

# how | path | notice
#   A series without headers (cut by split: data0001.trp .. data0005.trp of
#   4096 bytes but the last) and a segment whose series has no 0001.
ONE_QUESTION_CASES=(
  "type | series/data0003.trp | These files don't have a Trep header."
  "keys | series/data0004.trp | These files don't have a Trep header."
  "type | lost/lost0002.trp   | Cannot find first file!"
)
for row in "${ONE_QUESTION_CASES[@]}"; do
  read_row "$row" o_how o_path o_notice
  scenario "the path of a series ($o_how) into the source field: \"$o_notice\" asked once"
  mkdir series lost
  (cd series && split -d -a 4 --numeric-suffixes=1 --additional-suffix=.trp -b 4096 \
    "$WORK/fx/many.bin" data)
  head -c 100 /dev/urandom >lost/lost0002.trp
  start_trep
  what="answered"
  [ "$o_notice" = "Cannot find first file!" ] || what="answered \"Attempt\""
  drive "one notice, $what; none after it, nor on clicking into the field" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
type CTL_SOURCE_PATH ""
$o_how CTL_SOURCE_PATH "$(win "$SDIR/$o_path")"
notice 1 "$o_notice"
no-notice 1500
window Trep
focus CTL_SOURCE_PATH
unfocus CTL_SOURCE_PATH
no-notice 500
EOF
  if [ "$o_path" = lost/lost0002.trp ]; then
    drive "the file is not taken" <<EOF
window Trep
expect-text CTL_START Decide!
expect-text CTL_SIZE_SUMMARY "Pick a valid file."
click CTL_QUIT
wait-gone
EOF
  else
    # The series counted from its files: 20,000 bytes in 5.
    drive "the series taken: its 5 files and 20,000 bytes" <<EOF
window Trep
wait-text CTL_START "Go UnTrep!"
expect-text CTL_FILE_NAME data
expect-text CTL_FILE_SIZE "20, 000"
expect-text CTL_SEGMENT_COUNT 5
expect-text CTL_SIZE_SUMMARY "File was Trepped into 5 files"
click CTL_QUIT
wait-gone
EOF
  fi
  wait_exit 0
done

scenario "Esc never quits: idle it does nothing"
start_trep
# Posted messages are handled in order: the about box opens only after the
# key was handled, so it shows the window survived the key.
drive "Esc in the main window; the window stays (the about box opens after it)" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
key esc
open-click CTL_ABOUT
title "About Trep"
click IDOK
window Trep
expect-title Trep
no-notice 300
click CTL_QUIT
wait-gone
EOF
wait_exit 0

scenario "during a job: Esc does nothing; \"Quit\" and the close box ask first; an abort waits for the job's end"
cp "$WORK/fx/movie.bin" .
# The job is held at its question about the existing movi0001.trp, so it is
# still running while the window is worked.
printf 'kept as it was' >out/movi0001.trp
write_settings "$SDIR/prog/dTrep.dat" destinationMode=0
start_trep "$(win "$SDIR/movie.bin")"
drive "the split into out asks about movi0001.trp; Esc then changes nothing" <<EOF
window Trep
wait-enabled CTL_START 1
type CTL_OUTPUT_FOLDER "$(win "$SDIR/out")"
click CTL_START
wait-notice "File already exists."
window Trep
key esc
open-click CTL_ABOUT
title "About Trep"
click IDOK
window Trep
expect-visible CTL_PROGRESS 1
EOF
ABORT_Q="Abort the running job?"
drive "\"Quit\" asks \"$ABORT_Q\"; Esc and \"Continue the job\" keep the job" <<EOF
window Trep
click CTL_QUIT
expect-notice-buttons "Abort and Quit" "Continue the job" "$ABORT_Q"
notice-key esc "$ABORT_Q"
window Trep
expect-visible CTL_PROGRESS 1
click CTL_QUIT
notice 2 "$ABORT_Q"
window Trep
expect-visible CTL_PROGRESS 1
EOF
drive "the close box asks too; \"Abort and Quit\": the window waits for the job, which ends at its question" <<EOF
window Trep
close
notice 1 "$ABORT_Q"
window Trep
expect-visible CTL_PROGRESS 1
notice 2 "File already exists."
wait-gone
EOF
wait_exit 99
expect_eq "files in out" movi0001.trp "$(ls -A out)"
expect_eq "movi0001.trp" "kept as it was" "$(cat out/movi0001.trp)"
report "out holds only the movi0001.trp that was there, unchanged"
expect_settings "$SDIR/prog/dTrep.dat" destinationMode=0 sliderMax=9999
report "dTrep.dat saved after the job ended"

scenario "a long notice scrolls; a short one does not; the buttons stay where they are"
LONG=""
for i in 1 2 3 4 5 6 7; do LONG+="Line $i of a description long enough to need more room than the notice has. "; done
LONG=${LONG% }
start_probe "Short notice|OK|Open ReadMe" "$LONG|OK|Open ReadMe"
drive "the short notice: no scroll bar, the message field no tab stop" <<EOF
wait-notice "Short notice"
title "Trep 1.6"
expect-scrollbar kNoticeMessage 0
expect-tabstop kNoticeMessage 0
print-place IDOK
print-place IDCANCEL
notice 1 "Short notice"
EOF
SHORT_PLACES=$(printed IDOK; printed IDCANCEL)
drive "the long notice: a vertical scroll bar, the field reached by Tab; it opens at its first line, nothing selected" <<EOF
wait-notice "$LONG"
title "Trep 1.6"
expect-scrollbar kNoticeMessage 1
expect-tabstop kNoticeMessage 1
expect-first-line kNoticeMessage 0
expect-caret kNoticeMessage 0
print-place IDOK
print-place IDCANCEL
notice 2 "$LONG"
EOF
wait_exit 0
expect_eq "places of the buttons in the long notice" "$SHORT_PLACES" "$(printed IDOK; printed IDCANCEL)"
report "the buttons are where they are in the short notice"

# ------------------------------------------------ names beyond ASCII ---

scenario "a file named in Greek, Japanese and an emoji: typed, split, then chosen and rebuilt"
NAMED="Ωmega 日本語 🎬.bin"
cp "$WORK/fx/many.bin" "$NAMED"
mkdir "out Ωμέγα" "rebuilt 日本"
NAMED_OUT=$(win "$SDIR/out Ωμέγα")
DESCRIPTION="Größe — 日本語の説明 🎬"
write_settings "$SDIR/prog/dTrep.dat" destinationMode=0
start_trep
drive "typed into the file field, the name shows whole; a description and an output folder in any script" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
focus CTL_SOURCE_PATH
type CTL_SOURCE_PATH "$(win "$SDIR/$NAMED")"
unfocus CTL_SOURCE_PATH
wait-text CTL_START "Go Trep!"
expect-text CTL_SOURCE_PATH "$(win "$SDIR/$NAMED")"
expect-text CTL_FILE_NAME "$NAMED"
expect-text CTL_FILE_SIZE "20, 000"
focus CTL_OUTPUT_FOLDER
type CTL_OUTPUT_FOLDER "$NAMED_OUT"
unfocus CTL_OUTPUT_FOLDER
expect-text CTL_OUTPUT_FOLDER "$NAMED_OUT"
check CTL_USE_DESCRIPTION 1
type CTL_DESCRIPTION "$DESCRIPTION"
expect-text CTL_DESCRIPTION "$DESCRIPTION"
click CTL_START
notice 1 Finished
wait-title "Trep 1.91"
wait-visible CTL_AUTO_RUN 1
EOF
expect_series "$SDIR/out Ωμέγα" Ωmeg "$SDIR/$NAMED" 10240
report "\"out Ωμέγα\" holds Ωmeg0001.trp and Ωmeg0002.trp; trep rebuilds \"$NAMED\" from them"
expect_eq "name in Ωmeg0001.trp (UTF-8: no place in 1252)" \
  "$(printf '%s' "$NAMED" | od -A n -t x1 -v | tr -d ' \n')" "$(hex "$SDIR/out Ωμέγα/Ωmeg0001.trp" 314 ${#NAMED})"
expect_eq "description in Ωmeg0001.trp" \
  "$(printf '%s' "$DESCRIPTION" | od -A n -t x1 -v | tr -d ' \n')" "$(hex "$SDIR/out Ωμέγα/Ωmeg0001.trp" 14 ${#DESCRIPTION})"
report "Ωmeg0001.trp records the name and the description as typed"
drive "the chooser picks Ωmeg0002.trp; the series' name and description show; the join shows the description and rebuilds" <<EOF
window Trep
open-click CTL_CHOOSE_FILE
title Open
type cmb13 "$NAMED_OUT\Ωmeg0002.trp"
click IDOK
window Trep
wait-text CTL_START "Go UnTrep!"
expect-text CTL_SOURCE_PATH "$NAMED_OUT\Ωmeg0002.trp"
expect-text CTL_FILE_NAME "$NAMED"
expect-text CTL_DESCRIPTION "$DESCRIPTION"
focus CTL_OUTPUT_FOLDER
type CTL_OUTPUT_FOLDER "$(win "$SDIR/rebuilt 日本")"
unfocus CTL_OUTPUT_FOLDER
click CTL_START
notice 1 "$DESCRIPTION"
notice 1 Finished
wait-title "Trep 1.91"
wait-visible CTL_AUTO_RUN 1
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_eq "files in \"rebuilt 日本\"" "$NAMED" "$(ls -A "rebuilt 日本")"
cmp -s "rebuilt 日本/$NAMED" "$NAMED" || fail_because "the rebuilt file differs from \"$NAMED\""
report "\"rebuilt 日本/$NAMED\" is the original, byte for byte"

scenario "a segment named beyond ASCII as argument 1, as a double-click gives it: set up for the join"
cp "$WORK/fx/many.bin" "Ωmega 日本語 🎬.bin"
timeout "$RUN_GUARD" "$TREP" "/i=Ωmega 日本語 🎬.bin" "/o=series 日本" /s=10 /q </dev/null >/dev/null 2>&1 ||
  fail_because "trep could not split \"Ωmega 日本語 🎬.bin\""
SEGMENT=$(win "$SDIR/series 日本/Ωmeg0002.trp")
start_trep "$SEGMENT"
drive "Ωmeg0002.trp analysed: \"Go UnTrep!\", the recorded name whole, the series' count" <<EOF
window Trep
wait-text CTL_START "Go UnTrep!"
expect-text CTL_SOURCE_PATH "$SEGMENT"
expect-text CTL_FILE_NAME "Ωmega 日本語 🎬.bin"
expect-text CTL_FILE_SIZE "20, 000"
expect-text CTL_SIZE_SUMMARY "File was Trepped into 2 files"
click CTL_QUIT
wait-gone
EOF
wait_exit 0

# Quit while a join waits for a missing segment: the open question takes
# "Abort procedure", the job removes the file it was rebuilding, and the
# file of that name the user agreed to replace is as it was.
scenario "\"Quit\", \"Abort and Quit\" while a join asks for a missing segment: nothing part-made, the old file kept"
cp -r "$WORK/fx/series" series
rm series/movi0003.trp
echo "made before" >out/movie.bin
write_settings "$SDIR/prog/dTrep.dat" destinationMode=0
start_trep "$(win "$SDIR/series/movi0001.trp")"
drive "\"Overwrite it\", then Quit while \"File Read Error\" waits for its answer" <<EOF
window Trep
wait-text CTL_START "Go UnTrep!"
focus CTL_OUTPUT_FOLDER
type CTL_OUTPUT_FOLDER "$(win "$SDIR/out")"
unfocus CTL_OUTPUT_FOLDER
click CTL_START
notice 1 "File already exists."
wait-notice "File Read Error; is Removable Media Ready?"
window Trep
click CTL_QUIT
notice 1 "$ABORT_Q"
wait-gone
wait-notice-gone
EOF
wait_exit 99
expect_eq "files in out" "movie.bin" "$(ls -A out)"
expect_eq "out/movie.bin" "made before" "$(cat out/movie.bin)"
report "out holds only movie.bin, as it was"

# ----------------------------------------------------- recovery files ---

scenario "recovery files from the window: the count, its summary, the split's PAR2 set, kept in the settings"
cp "$WORK/fx/movie.bin" .
OUT=$(win "$SDIR/out")
write_settings "$SDIR/prog/dTrep.dat" destinationMode=0 recoveryFiles=1
start_trep "$(win "$SDIR/movie.bin")"
# 3000 kBytes of 10,000,000 bytes: 4 segments. More recovery files than
# segments are as many as there are segments, and the summary says so.
drive "the stored count shows; typed counts change the summary (\"file\" for one), at most one per segment; the title is the program's again when \"Finished\" shows" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
expect-text CTL_RECOVERY_COUNT 1
expect-enabled CTL_RECOVERY_COUNT 1
type CTL_OUTPUT_FOLDER "$OUT"
check CTL_MODE_SIZE 1
type CTL_SIZE_NUMBER 3000
expect-text CTL_SIZE_SUMMARY "File will be Trepped into 4 files of 3000 kBytes"
expect-text CTL_RECOVERY_SUMMARY "+ 1 recovery file"
type CTL_RECOVERY_COUNT 9
expect-text CTL_RECOVERY_SUMMARY "+ 4 recovery files"
type CTL_RECOVERY_COUNT 0
expect-text CTL_RECOVERY_SUMMARY ""
type CTL_RECOVERY_COUNT 2
expect-text CTL_RECOVERY_SUMMARY "+ 2 recovery files"
click CTL_START
wait-notice Finished
expect-title "Trep 1.91"
notice 1 Finished
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_eq "files in out" "$(printf '%s\n' movi.par2 movi.vol0+1.par2 movi.vol1+1.par2 movi0001.trp \
  movi0002.trp movi0003.trp movi0004.trp)" "$(ls -A out | LC_ALL=C sort)"
par2 verify -q out/movi.par2 >/dev/null 2>&1
expect_eq "exit code of par2 verify" 0 "$?"
report "out holds movi0001.trp .. movi0004.trp and two recovery volumes; par2 verifies them"
expect_eq "recoveryFiles in dTrep.dat (bytes 56-57)" 0200 "$(hex "$SDIR/prog/dTrep.dat" 56 2)"
report "dTrep.dat keeps the count, 2"
rm out/movi0002.trp out/movi0004.trp
mkdir rebuilt
start_trep "$(win "$SDIR/out/movi0003.trp")"
drive "the join with two segments lost: no count to set; the end notice says what was rebuilt" <<EOF
window Trep
wait-text CTL_START "Go UnTrep!"
expect-enabled CTL_RECOVERY_COUNT 0
expect-text CTL_RECOVERY_SUMMARY ""
type CTL_OUTPUT_FOLDER "$(win "$SDIR/rebuilt")"
click CTL_START
wait-notice "Finished — 2 segments rebuilt from recovery files"
expect-title "Trep 1.91"
notice 1 "Finished — 2 segments rebuilt from recovery files"
click CTL_QUIT
wait-gone
EOF
wait_exit 0
cmp -s rebuilt/movie.bin movie.bin
expect_eq "rebuilt/movie.bin is movie.bin (cmp)" 0 "$?"
expect_eq "files in out after the join" "$(printf '%s\n' movi.par2 movi.vol0+1.par2 movi.vol1+1.par2 \
  movi0001.trp movi0003.trp)" "$(ls -A out | LC_ALL=C sort)"
report "movie.bin rebuilt whole; the series' folder as it was"

# The recovery count's field at 96 and 144 dots per inch (Wine's LogPixels):
# as tall as the file field, its arrows as tall as the field, in the row of
# the destination list inside "Output Destination", clear of the folder row
# below and of its neighbours. Places in pixels of the client area
# (print-place: X Y WIDTH HEIGHT). A capture of the window, window-DPI.bmp,
# is kept in the scenario's folder (KEEP=1) to look at.
set_dpi() {  # DPI, or "" for Wine's default
  local key
  for key in 'HKEY_CURRENT_USER\Control Panel\Desktop' 'HKEY_CURRENT_CONFIG\Software\Fonts'; do
    if [ -n "$1" ]; then
      timeout 60 "$WINE_RUN" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    else
      timeout 60 "$WINE_RUN" reg delete "$key" /v LogPixels /f >/dev/null 2>&1
    fi
  done
  wine_stop  # the next session starts with it
}
place() {  # ID FIELD (x y w h bottom right), from the places printed (PLACES)
  local x y w h
  read -r x y w h <<<"$(sed -n "s/^$1: //p" <<<"$PLACES")"
  case $2 in
    x) echo "$x" ;; y) echo "$y" ;; w) echo "$w" ;; h) echo "$h" ;;
    bottom) echo $((y + h)) ;; right) echo $((x + w)) ;;
  esac
}
RECOVERY_HEIGHT_96=
for dpi in 96 144; do
  scenario "the recovery count's field at $dpi dpi: as tall as the file field, clear of its neighbours"
  DPI_SET=1
  set_dpi "$dpi"
  cp "$WORK/fx/movie.bin" .
  start_trep "$(win "$SDIR/movie.bin")"
  drive "movie.bin: the places of the field, its arrows and its neighbours" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
expect-enabled CTL_RECOVERY_COUNT 1
print-place CTL_SOURCE_PATH
print-place CTL_DESTINATION
print-place CTL_RECOVERY_COUNT
print-place CTL_RECOVERY_SPIN
print-place CTL_OUTPUT_FOLDER
print-place CTL_CHOOSE_FOLDER
print-place CTL_SEGMENT_COUNT
capture "$(win "$SDIR/window-$dpi.bmp")"
EOF
  PLACES=$DRIVEN
  drive "\"Quit\"" <<EOF
window Trep
click CTL_QUIT
wait-gone
EOF
  wait_exit 0
  field_h=$(place CTL_RECOVERY_COUNT h)
  expect_eq "the field's height in pixels, as the file field's" "$(place CTL_SOURCE_PATH h)" "$field_h"
  expect_eq "the arrows' top, as the field's" "$(place CTL_RECOVERY_COUNT y)" "$(place CTL_RECOVERY_SPIN y)"
  expect_eq "the arrows' height, as the field's" "$field_h" "$(place CTL_RECOVERY_SPIN h)"
  expect_eq "the field's top, as the destination list's" "$(place CTL_DESTINATION y)" "$(place CTL_RECOVERY_COUNT y)"
  [ "$(place CTL_RECOVERY_COUNT bottom)" -lt "$(place CTL_CHOOSE_FOLDER y)" ] ||
    fail_because "the field ends at y $(place CTL_RECOVERY_COUNT bottom), the folder's button starts at $(place CTL_CHOOSE_FOLDER y)"
  [ "$(place CTL_RECOVERY_COUNT x)" -gt "$(place CTL_DESTINATION right)" ] ||
    fail_because "the field starts at x $(place CTL_RECOVERY_COUNT x), the list ends at $(place CTL_DESTINATION right)"
  [ "$(place CTL_RECOVERY_SPIN right)" -le "$(place CTL_CHOOSE_FOLDER right)" ] ||
    fail_because "the arrows end at x $(place CTL_RECOVERY_SPIN right), past the folder's button ($(place CTL_CHOOSE_FOLDER right))"
  [ $(($(place CTL_RECOVERY_SPIN h) / 2)) -ge 8 ] ||
    fail_because "each arrow is $(($(place CTL_RECOVERY_SPIN h) / 2)) pixels tall"
  report "the field: $(place CTL_RECOVERY_COUNT x) $(place CTL_RECOVERY_COUNT y) $(place CTL_RECOVERY_COUNT w) $(place CTL_RECOVERY_COUNT h), its arrows: $(place CTL_RECOVERY_SPIN x) $(place CTL_RECOVERY_SPIN y) $(place CTL_RECOVERY_SPIN w) $(place CTL_RECOVERY_SPIN h)"
  if [ "$dpi" = 96 ]; then
    RECOVERY_HEIGHT_96=$field_h
  elif [ -n "$RECOVERY_HEIGHT_96" ]; then
    [ $((field_h * 2)) -ge $((RECOVERY_HEIGHT_96 * 3 - 2)) ] ||
      fail_because "$field_h pixels at $dpi dpi, $RECOVERY_HEIGHT_96 at 96: the setting did not take"
    report "the field grows with the dots per inch"
  fi
done
set_dpi ""
DPI_SET=

end_scenario
finish_checks
