#!/usr/bin/env bash
# Whole-program tests: runs the built trep (native) and Trep.exe (Win32, under
# Wine) on small files and checks exit codes, the files they make and the
# bytes in them, then rebuilds series with both programs, with the test tools
# jobtool and jobtool.exe (scrambled series) and with Wine's cmd (UnTrep.bat).
#
#   tests/programs_test.sh           run every check
#   KEEP=1 tests/programs_test.sh    keep the work folder to look at after a failure
#   TREP_NATIVE=PATH                 trep of another build (e.g. sanitized) in place of build/native's
#   TREP_TESTS_NATIVE_ONLY=1         only the checks that run trep, also those where
#                                    Trep.exe makes or joins its series: a pass for
#                                    another build of trep (the others would repeat)
#
# One line per check ("ok" or "FAIL", then what differed); the exit code is 1
# when any check failed, 2 when the programs or tools are missing.
#
# Both programs are copied into the work folder and run from there: a settings
# file (dTrep.dat) is read from the program's own folder, so copies keep these
# checks from seeing one left beside the build's programs, and let the settings
# checks write theirs without touching build/.
#
# Trep.exe's questions are answered on a virtual display: an Xvfb server of
# this run, and answer.exe pressing the notice's buttons. Only those runs
# see the display; every other run of Trep.exe has none.
set -u
export LC_ALL=C

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/windows-build.sh
source "$ROOT/scripts/windows-build.sh" || exit 2  # TREP_WIN_DIR: the Windows build this machine runs
echo "$TREP_WIN_WHY"
BUILT_TREP=${TREP_NATIVE:-$ROOT/build/native/trep}  # TREP_NATIVE: another build, e.g. sanitized
BUILT_EXE=$TREP_WIN_DIR/Trep.exe
WINE_RUN=$ROOT/scripts/wine-run.sh
JOBTOOL=$ROOT/build/native/jobtool
JOBTOOL_EXE=$TREP_WIN_DIR/jobtool.exe
ANSWER_EXE=$TREP_WIN_DIR/answer.exe
RUN_TIMEOUT=60  # seconds; only a guard against a hang, never an expectation

for f in "$BUILT_TREP" "$BUILT_EXE" "$WINE_RUN" "$JOBTOOL" "$JOBTOOL_EXE" "$ANSWER_EXE"; do
  if [ ! -f "$f" ]; then
    echo "programs_test: $f is missing; build with scripts/build.sh" >&2
    exit 2
  fi
done
for tool in wine wineserver Xvfb flock od cmp cksum split mkfifo stat timeout iconv localedef; do
  if ! command -v "$tool" >/dev/null; then
    echo "programs_test: the tool '$tool' is missing" >&2
    exit 2
  fi
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/trep-programs.XXXXXX")

# The virtual display, started on first use: Xvfb picks a free display
# number itself and writes it to fd 3 (-displayfd), so two runs never race
# for one. XVFB_DISPLAY is ":N" once it runs.
XVFB_PID=
XVFB_DISPLAY=
wine_idle() {  # waits until the prefix's Wine session has ended
  WINEPREFIX=${WINEPREFIX:-$TREP_WINE_PREFIX} timeout 60 wineserver -w
}
start_display() {
  [ -n "$XVFB_PID" ] && return 0
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  local i
  for ((i = 0; i < 400; i++)); do  # a guard only: it answers within a moment
    [ -s "$WORK/display" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  local n
  n=$(tr -dc 0-9 <"$WORK/display")
  [ -n "$n" ] && XVFB_DISPLAY=:$n
}
stop_display() {
  [ -n "$XVFB_PID" ] || return 0
  wine_idle  # no Wine program may still be connected to it
  kill "$XVFB_PID" 2>/dev/null
  wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
  XVFB_DISPLAY=
}

cleanup() {
  stop_display
  WINEPREFIX=$NAMES_PREFIX timeout 60 wineserver -w 2>/dev/null
  wait  # a lock holder still sleeping
  if [ "${KEEP:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# Wine makes its prefix on first use, with links to the user's home folders:
# that must happen with the real HOME, before HOME points into $WORK.
timeout 300 "$WINE_RUN" cmd /c exit 0 >/dev/null 2>&1
# The checks of folders named beyond ASCII point Wine's desktop and
# application-data folders elsewhere: in a prefix of their own, kept between
# runs (a new one takes a while), so this one keeps its folders.
NAMES_PREFIX=$TREP_WINE_PREFIX-names
WINEPREFIX=$NAMES_PREFIX timeout 300 "$WINE_RUN" cmd /c exit 0 >/dev/null 2>&1

# Everything the programs could touch outside their working folder is private
# to this run: the instance lock ($XDG_RUNTIME_DIR), the desktop (the default
# output folder) and HOME. No display: Trep.exe's message boxes cannot be
# shown, so every notice takes its safe answer at once.
export XDG_RUNTIME_DIR=$WORK/runtime
export HOME=$WORK/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY XDG_DESKTOP_DIR

mkdir -p "$WORK/prog/native" "$WORK/prog/win32"
cp "$BUILT_TREP" "$WORK/prog/native/trep"
cp "$BUILT_EXE" "$WORK/prog/win32/Trep.exe"
TREP=$WORK/prog/native/trep
EXE=$WORK/prog/win32/Trep.exe
WORK_WIN=$("$WINE_RUN" winepath -w "$WORK" 2>/dev/null | tr -d '\r')
if [ -z "$WORK_WIN" ]; then
  echo "programs_test: Wine does not run (winepath gave no path for $WORK)" >&2
  exit 2
fi

# ---------------------------------------------------------------- checks ---

# shellcheck source=tests/lib/checks.sh
source "$ROOT/tests/lib/checks.sh"

# ---------------------------------------------------------- byte reading ---

hex_of_text_field() {  # TEXT WIDTH: TEXT, a zero, zeros up to WIDTH bytes
  { printf '%s' "$1"; head -c $(($2 - ${#1})) /dev/zero; } | od -A n -t x1 -v | tr -d ' \n'
}
MAGIC_HEX=$(printf 'TREP1600' | od -A n -t x1 | tr -d ' \n')

filetime_of_mtime() {  # FILE: its last write time as a FILETIME (100 ns since 1601)
  local secs ns
  secs=$(stat -c %Y "$1")
  ns=$(stat -c %y "$1" | sed -E 's/^[^.]*\.([0-9]{9}).*$/\1/')
  [[ $ns =~ ^[0-9]{9}$ ]] || ns=0
  echo $(((secs + 11644473600) * 10000000 + 10#$ns / 100))
}
FILETIME_2000=125911584000000000  # 1 Jan 2000: any real file time is later

# ------------------------------------------------------------ running ---

# run PROGRAM ARGS...: runs trep or Trep.exe (or a test tool) in the current
# folder. Stdin is closed unless ANSWERS holds text for it (printf escapes
# allowed) or RUN_INPUT names a file to read it from (a fifo, say). Extra
# environment for the one run goes in RUN_ENV (arguments for env).
# Sets RC, OUT (stdout) and ERR (stderr).
ANSWERS=
RUN_INPUT=
RUN_ENV=()
run() {
  local program=$1 input=${RUN_INPUT:-/dev/null}
  shift
  if [ -n "$ANSWERS" ]; then
    printf %b "$ANSWERS" >"$WORK/answers"
    input=$WORK/answers
  fi
  if [[ $program == *.exe ]]; then
    env ${RUN_ENV[@]+"${RUN_ENV[@]}"} timeout "$RUN_TIMEOUT" "$WINE_RUN" "$program" "$@" \
      <"$input" >"$WORK/stdout" 2>"$WORK/stderr"
  else
    env ${RUN_ENV[@]+"${RUN_ENV[@]}"} timeout "$RUN_TIMEOUT" "$program" "$@" \
      <"$input" >"$WORK/stdout" 2>"$WORK/stderr"
  fi
  RC=$?
  OUT=$(<"$WORK/stdout")
  ERR=$(<"$WORK/stderr")
  if [ "$RC" = 124 ]; then fail_because "$(basename "$program") $* did not end within ${RUN_TIMEOUT}s"; fi
}
name_of() { [[ $1 == *.exe ]] && echo "Trep.exe" || echo "trep"; }

# here PROGRAM: the current folder, with a trailing separator, as PROGRAM
# writes paths (Z:\... for Trep.exe).
here() {
  if [[ $1 == *.exe ]]; then
    local rel=${PWD#"$WORK"}
    echo "$WORK_WIN${rel//\//\\}\\"
  else
    echo "$PWD/"
  fi
}

CASE_NO=0
# new_case FIXTURE...: a fresh folder holding the named fixtures (same bytes
# and times) and an empty folder "out"; becomes the current folder.
new_case() {
  CASE_NO=$((CASE_NO + 1))
  local dir=$WORK/cases/$CASE_NO f
  mkdir -p "$dir/out"
  for f in "$@"; do
    mkdir -p "$dir/$(dirname "$f")"
    cp -p "$WORK/fx/$f" "$dir/$f"
  done
  cd "$dir" || exit 2
}
snapshot() { find . -mindepth 1 | sort; }
segments_found() { find . -name '*.trp' | sed 's|^\./||' | sort; }

# ------------------------------------------------------------- fixtures ---

# Random bytes: any slip of an offset shows up in a byte comparison. All
# fixtures carry one fixed modification time with 100 ns digits.
mkdir -p "$WORK/fx/sub"
(
  cd "$WORK/fx" || exit 2
  head -c $((1024 * 1024 + 1000)) /dev/urandom >big.bin  # 2 x 512 KiB + 1000
  head -c 3000 /dev/urandom >small.bin                   # 2 x 1 KiB + 952
  head -c 4096 /dev/urandom >exact.bin                   # exactly 2 x 2 KiB
  head -c 10 /dev/urandom >sub/a
  head -c 10 /dev/urandom >ab                            # a name shorter than 4
  head -c 10 /dev/urandom >c                             # a name of one character
  head -c 2500 /dev/urandom >"my file.bin"
  head -c 3000 /dev/urandom >arch.tar.gz
  head -c 2000 /dev/urandom >readonly.bin
  head -c 3000 /dev/urandom >old.trp
  head -c 20000 /dev/urandom >join.bin                   # 4 x 4 KiB + 3616
  head -c 3500 /dev/urandom >cut.bin                     # 3 x 1000 + 500
  head -c $((150 * 1024 - 100)) /dev/urandom >many.bin   # 150 segments of 1 KiB
  head -c $((200 * 1024 + 1)) /dev/urandom >more.bin     # 201 segments of 1 KiB
  : >empty.bin
  chmod 444 readonly.bin
  find . -type f -exec touch -d '2001-02-03 04:05:06.1234567 UTC' {} +
)

# ------------------------------------------------------ series checking ---

# The expectations on a series in DIR cut from ORIGINAL into segments of
# SEG_BYTES. FORMAT "headers": 0001 opens with the 652-byte header, the
# others with the 8-byte magic; "bare": segments are plain slices.
segment_count() { local size; size=$(stat -c %s "$1"); echo $(((size + $2 - 1) / $2)); }

expect_names() {  # DIR BASE ORIGINAL SEG_BYTES [OTHER FILE...]
  local want got i n names=()
  n=$(segment_count "$3" "$4")
  for ((i = 1; i <= n; i++)); do names+=("$(printf '%s%04d.trp' "$2" "$i")"); done
  names+=("${@:5}")
  want=$(printf '%s\n' "${names[@]}" | sort)
  got=$(ls -A "$1" 2>/dev/null)
  expect_eq "files in ${1#"$PWD/"}" "$want" "$got"
}

expect_sizes() {  # DIR BASE ORIGINAL SEG_BYTES FORMAT
  local size n i payload first=652 later=8 f
  size=$(stat -c %s "$3")
  n=$(segment_count "$3" "$4")
  [ "$5" = bare ] && first=0 later=0
  for ((i = 1; i <= n; i++)); do
    payload=$((size - (i - 1) * $4))
    [ "$payload" -gt "$4" ] && payload=$4
    f=$(printf '%s/%s%04d.trp' "$1" "$2" "$i")
    expect_eq "size of ${f##*/}" $((payload + (i == 1 ? first : later))) "$(stat -c %s "$f" 2>/dev/null)"
  done
}

expect_header() {  # SEGMENT1 ORIGINAL COUNT ATTRIBUTES
  local f=$1 size
  size=$(stat -c %s "$2")
  expect_eq "magic" "$MAGIC_HEX" "$(hex "$f" 0 8)"
  expect_eq "segment count (u32 @8)" "$3" "$(le "$f" 8 4)"
  expect_eq "description flag (u16 @12)" 0 "$(le "$f" 12 2)"
  expect_eq "description (300 bytes @14)" "$(hex_of_text_field "" 300)" "$(hex "$f" 14 300)"
  expect_eq "name (300 bytes @314)" "$(hex_of_text_field "$(basename "$2")" 300)" "$(hex "$f" 314 300)"
  expect_eq "size low (u32 @614)" $((size & 0xFFFFFFFF)) "$(le "$f" 614 4)"
  expect_eq "size high (u32 @618)" $((size >> 32)) "$(le "$f" 618 4)"
  # The checksum is on by default: it is recorded, and the joins below
  # verify that it fits the file.
  [ "$(le "$f" 622 4)" != 0 ] || fail_because "checksum (u32 @622): none recorded (0)"
  local t
  for t in 626 634; do
    [ "$(le "$f" $t 8)" -gt "$FILETIME_2000" ] || fail_because "file time (u64 @$t) not a time after 2000: $(le "$f" $t 8)"
  done
  expect_eq "last write time (u64 @642)" "$(filetime_of_mtime "$2")" "$(le "$f" 642 8)"
  expect_eq "attributes (u16 @650)" "$4" "$(le "$f" 650 2)"
}

expect_short_headers() {  # DIR BASE COUNT
  local i
  for ((i = 2; i <= $3; i++)); do
    expect_eq "magic of segment $i" "$MAGIC_HEX" "$(hex "$(printf '%s/%s%04d.trp' "$1" "$2" "$i")" 0 8)"
  done
}

expect_payload() {  # DIR BASE ORIGINAL SEG_BYTES FORMAT
  local n i skip first=652 later=8
  n=$(segment_count "$3" "$4")
  [ "$5" = bare ] && first=0 later=0
  if ! for ((i = 1; i <= n; i++)); do
    skip=$((i == 1 ? first : later))
    tail -c +$((skip + 1)) "$(printf '%s/%s%04d.trp' "$1" "$2" "$i")"
  done 2>/dev/null | cmp -s - "$3"; then
    fail_because "payloads put together differ from $(basename "$3")"
  fi
}

# same_apart_from_read_times A B: two first segments are equal but for the
# creation and last-access times (bytes 626..641), which depend on when and
# how the original was read.
same_apart_from_read_times() {
  cmp -s <(head -c 626 "$1") <(head -c 626 "$2") &&
    cmp -s <(tail -c +643 "$1") <(tail -c +643 "$2")
}

# same_series DIR_A DIR_B BASE COUNT: two series with headers hold the same
# bytes, apart from the read times in segment 0001.
same_series() {
  local i f
  for ((i = 1; i <= $4; i++)); do
    f=$(printf '%s%04d.trp' "$3" "$i")
    if [ "$i" = 1 ]; then
      same_apart_from_read_times "$1/$f" "$2/$f" || fail_because "$f differs"
    else
      cmp -s "$1/$f" "$2/$f" || fail_because "$f differs"
    fi
  done
}

expect_series() {  # DIR BASE ORIGINAL SEG_BYTES [FORMAT [ATTRIBUTES]]
  local format=${5:-headers} attr=${6:-32} before=${#PROBLEMS[@]} n others=()
  # A headerless series comes with its rebuild batch file.
  [ "$format" = bare ] && others=(UnTrep.bat)
  expect_names "$1" "$2" "$3" "$4" ${others[@]+"${others[@]}"}
  [ ${#PROBLEMS[@]} -eq "$before" ] || return  # the rest would repeat the difference
  expect_sizes "$1" "$2" "$3" "$4" "$format"
  if [ "$format" = headers ]; then
    n=$(segment_count "$3" "$4")
    expect_header "$(printf '%s/%s0001.trp' "$1" "$2")" "$3" "$n" "$attr"
    expect_short_headers "$1" "$2" "$n"
  fi
  expect_payload "$1" "$2" "$3" "$4" "$format"
}

# ==================================================== 1. end to end ===

echo "# end to end: a 1 MiB file cut into 100 KiB segments"
SEG=$((100 * 1024))
for program in "$TREP" "$EXE"; do
  wanted "$program" || continue
  name=$(name_of "$program")
  new_case big.bin
  if [[ $program == *.exe ]]; then dest=$(here "$program")out; else dest=$PWD/out; fi
  run "$program" "/i=$(here "$program")big.bin" "/o=$dest" /s=100 /q
  expect_eq "exit code" 0 "$RC"
  expect_empty "stderr" "$ERR"
  report "$name: /i=<full path> /o=<full path> /s=100 /q ends 0, says nothing"
  expect_names "$PWD/out" big. big.bin $SEG
  report "$name: names big.0001.trp .. big.0011.trp, nothing else"
  expect_sizes "$PWD/out" big. big.bin $SEG headers
  report "$name: segment sizes (652 + 100 KiB, 8 + 100 KiB, ..., 8 + rest)"
  expect_header "$PWD/out/big.0001.trp" big.bin 11 32
  report "$name: header of big.0001.trp (magic, count, description, name, size, checksum, times, attributes)"
  expect_short_headers "$PWD/out" big. 11
  report "$name: short headers of big.0002.trp .. big.0011.trp"
  expect_payload "$PWD/out" big. big.bin $SEG headers
  report "$name: payloads put together give the original"
  if [[ $program == *.exe ]]; then exe_out=$PWD/out; else trep_out=$PWD/out; fi
done

# The creation and last-access times may differ between the programs (they
# read the file at different moments); everything else must be the same.
if wanted "$EXE"; then  # trep's part ran above
  same_series "$trep_out" "$exe_out" big. 11
  report "trep and Trep.exe make the same bytes, apart from creation and last-access times"
fi

new_case readonly.bin
for program in "$TREP" "$EXE"; do
  wanted "$program" || continue
  run "$program" /i=readonly.bin "/o=$(name_of "$program")" /q
  expect_eq "exit code" 0 "$RC"
  expect_series "$PWD/$(name_of "$program")" read readonly.bin $((512 * 1024)) headers 33
  report "$(name_of "$program"): a read-only file gives attributes 0x21"
done

# ===================================================== 2. the switches ===

echo "# switches, sizes and names (each row with both programs)"
# switches (";" between arguments) | exit | output folder | base | KiB | original
# {here} is the case folder as the program writes paths, {sep} its path
# separator (a one-letter name needs a path around it). A refused run
# (exit not 0) must leave the folder as it was.
SWITCH_CASES=(
  "/i=big.bin;/o=out;/q                   |0| out           | big. | 512     | big.bin"
  "/o=out;/i=big.bin;/q                   |0| out/big       | big. | 512     | big.bin"
  "/o=out;/i=big.bin;/o=fresh;/q          |2|               |      |         |"
  "/i=small.bin;/o=out/new;/q             |0| out/new       | smal | 512     | small.bin"
  "/i=big.bin;/o=out;/s=100;/q            |0| out           | big. | 100     | big.bin"
  "/s=100;/i=big.bin;/o=out;/q            |0| out           | big. | 100     | big.bin"
  "/i=small.bin;/o=out;/s=0;/q            |0| out           | smal | 1       | small.bin"
  "/i=small.bin;/o=out;/s=1;/q            |0| out           | smal | 1       | small.bin"
  "/i=small.bin;/o=out;/s=4194303;/q      |0| out           | smal | 4194303 | small.bin"
  "/i=exact.bin;/o=out;/s=2;/q            |0| out           | exac | 2       | exact.bin"
  "/i=small.bin;/o=out;/s=12x;/q          |2|               |      |         |"
  "/i=small.bin;/o=out;/s=4194304;/q      |2|               |      |         |"
  "/i=small.bin;/o=out;/s=;/q             |2|               |      |         |"
  "/I=small.bin;/o=out;/s=1;/q            |0| out           | smal | 1       | small.bin"
  "/o=out;/O=other;/i=small.bin;/s=1;/q   |2|               |      |         |"
  "/i=small.bin;/o=out;/S=1;/q            |0| out           | smal | 1       | small.bin"
  "/O=out;/I=small.bin;/S=1;/Q            |0| out/small     | smal | 1       | small.bin"
  "/i=ab;/o=out;/q                        |0| out           | abXX | 512     | ab"
  "/i=c;/o=out;/q                         |0| out           | cXXX | 512     | c"
  "/o=;/i=small.bin;/q                    |2|               |      |         |"
  "/i=small.bin;/o=out;/s=1;/quiet        |0| out           | smal | 1       | small.bin"
  "/i={here}sub{sep}a;/o=out;/q           |0| out           | aXXX | 512     | sub/a"
  "/i=my file.bin;/o=out;/s=1;/q          |0| out           | myXf | 1       | my file.bin"
  "/o=out;/i=my file.bin;/q               |0| out/my file   | myXf | 512     | my file.bin"
  "/o=out;/i=arch.tar.gz;/q               |0| out/arch.tar  | arch | 512     | arch.tar.gz"
  "/o=nope;/i=small.bin;/q                |3|               |      |         |"
  "/i=small.bin;/o=nope/deep;/q           |3|               |      |         |"
  "/i=missing.bin;/o=out;/q               |2|               |      |         |"
)

for row in "${SWITCH_CASES[@]}"; do
  read_row "$row" c_args c_exit c_folder c_base c_kib c_file
  for program in "$TREP" "$EXE"; do
    wanted "$program" || continue
    new_case big.bin small.bin exact.bin sub/a "my file.bin" arch.tar.gz ab c
    h=$(here "$program")
    [[ $program == *.exe ]] && sep='\' || sep=/
    c_line=${c_args//\{here\}/$h}
    args=()
    IFS=';' read -r -a args <<<"${c_line//\{sep\}/$sep}"
    before=$(snapshot)
    run "$program" "${args[@]}"
    expect_eq "exit code" "$c_exit" "$RC"
    if [ "$c_exit" = 0 ]; then
      seg=$((c_kib * 1024))
      want=$(for ((i = 1; i <= $(segment_count "$c_file" "$seg"); i++)); do
        printf '%s/%s%04d.trp\n' "$c_folder" "$c_base" "$i"
      done | sort)
      expect_eq "segment files made" "$want" "$(segments_found)"
      expect_series "$PWD/$c_folder" "$c_base" "$c_file" "$seg"
      what="$c_folder/$c_base*.trp of $c_kib KiB"
    else
      expect_eq "folder contents" "$before" "$(snapshot)"
      what="nothing made"
    fi
    report "$(name_of "$program"): ${c_args//;/ } -> exit $c_exit, $what"
  done
done

echo "# the default output folder (trep)"
# XDG_DESKTOP_DIR | make HOME/Desktop | where the series goes
DESKTOP_CASES=(
  "desk |no  | desk/small"
  "desk/|no  | desk/small"
  "     |yes | home/Desktop/small"
  "     |no  | home/small"
)
for row in "${DESKTOP_CASES[@]}"; do
  read_row "$row" d_xdg d_make d_where
  new_case small.bin
  mkdir desk home
  [ "$d_make" = yes ] && mkdir home/Desktop
  RUN_ENV=(HOME="$PWD/home")
  if [ -n "$d_xdg" ]; then RUN_ENV+=(XDG_DESKTOP_DIR="$PWD/$d_xdg"); fi
  run "$TREP" /i=small.bin /s=1 /q
  RUN_ENV=()
  expect_eq "exit code" 0 "$RC"
  expect_eq "segment files made" "$(printf '%s/smal%04d.trp\n' "$d_where" 1 "$d_where" 2 "$d_where" 3)" "$(segments_found)"
  report "trep: XDG_DESKTOP_DIR='$d_xdg', HOME/Desktop made: $d_make -> $d_where"
done

echo "# without HOME (trep): the home folder from the password database"
# A private mount namespace shows trep a password database whose entry for
# this user names a home folder of the case; the real one stays untouched.
new_case small.bin
mkdir pwhome
uid=$(id -u)
awk -F: -v OFS=: -v uid="$uid" -v home="$PWD/pwhome" '$3 == uid || $3 == 0 { $6 = home } 1' \
  /etc/passwd >passwd
if [ "$uid" = 0 ]; then ns=(unshare -m); else ns=(unshare -r -m); fi
if "${ns[@]}" true 2>/dev/null; then
  run "${ns[@]}" sh -c 'mount --bind "$1" /etc/passwd && shift && exec env -u HOME "$@"' _ \
    "$PWD/passwd" "$TREP" /i=small.bin /s=1 /q
  expect_eq "exit code" 0 "$RC"
  expect_eq "segment files made" "$(printf 'pwhome/small/smal%04d.trp\n' 1 2 3)" "$(segments_found)"
else
  fail_because "no private mount namespace can be made here (${ns[*]})"
fi
report "trep without HOME -> the series in the password database's home folder, not at /"

# ============================================= 3. exit codes and states ===

echo "# runs that do no job (trep)"
# switches | exit | text expected on stdout | on stderr
# A file not taken is named with the reason: the system's for one that
# cannot be opened.
NO_JOB_CASES=(
  "                           |0| Usage: trep /i=FILE |"
  "/i=missing.bin;/o=out;/q   |2|                     | \"missing.bin\": it cannot be opened (No such file or directory)."
  "/i=xy;/o=out;/q            |2|                     | \"xy\": it cannot be opened (No such file or directory)."
  "/i=;/o=out;/q              |2|                     | trep: switch \"/i=\" names no file (see trep --help)"
  "/i=./out;/o=out;/q         |2|                     | \"./out\": it cannot be opened (Is a directory)."
  "/i=empty.bin;/o=out;/q     |2|                     | \"empty.bin\": it is empty."
  "/i=old.trp;/o=out;/q       |2|                     | \"old.trp\": its series was not taken."
  "/o=out;/s=5;/q             |2|                     | /i="
  "/q                         |2|                     | /i="
)
for row in "${NO_JOB_CASES[@]}"; do
  read_row "$row" n_args n_exit n_out n_err
  new_case empty.bin old.trp
  args=()
  [ -n "$n_args" ] && IFS=';' read -r -a args <<<"$n_args"
  before=$(snapshot)
  run "$TREP" ${args[@]+"${args[@]}"}
  expect_eq "exit code" "$n_exit" "$RC"
  if [ -n "$n_out" ]; then expect_has "stdout" "$OUT" "$n_out"; else expect_empty "stdout" "$OUT"; fi
  if [ -n "$n_err" ]; then expect_has "stderr" "$ERR" "$n_err"; else expect_empty "stderr" "$ERR"; fi
  expect_eq "folder contents" "$before" "$(snapshot)"
  n_args=${n_args//;/ }
  report "trep ${n_args:-(no arguments)} -> exit $n_exit, nothing made"
done

echo "# refused command lines (both programs): nothing made, nothing else said"
# switches (";" between arguments) | trep's one line on stderr, less
# "trep: " and " (see trep --help)" | Trep.exe's exit code ("-": the line is
# not refused there). The whole line is read first: old.trp would raise
# "Cannot find first file!" if it were analysed. Trep.exe has no display
# here, so its notice takes its answer at once.
REFUSED_CASES=(
  "/i=small.bin;/size=2          | unknown switch \"/size=2\"                   | 2"
  "/i=small.bin;-q               | unknown switch \"-q\"                        | 2"
  "-q                            | unknown switch \"-q\"                        | 2"
  "/x                            | unknown switch \"/x\"                        | 2"
  "/i=small.bin;/s2              | unknown switch \"/s2\"                       | 2"
  "/i=small.bin;/qx              | unknown switch \"/qx\"                       | 2"
  "/i=small.bin;/i=big.bin       | \"/i=big.bin\" repeats the switch \"/i=small.bin\" | 2"
  "/i=old.trp;/o=out;/q;/quiet   | \"/quiet\" repeats the switch \"/q\"           | 2"
  "/i=old.trp;stray              | stray argument \"stray\"                     | 2"
  "/i=small.bin;;/q              | argument 2 is empty                        | 2"
  "/i=old.trp;/s=12x             | the segment size \"12x\" is not valid: it must be a whole number of kilobytes below 4 GiB (0 to 4194303) | 2"
  "small.bin                     | stray argument \"small.bin\"                 | -"
)
for row in "${REFUSED_CASES[@]}"; do
  read_row "$row" r_args r_err r_exe
  for program in "$TREP" "$EXE"; do
    [ "$program" = "$EXE" ] && [ "$r_exe" = - ] && continue
    wanted "$program" || continue
    new_case small.bin big.bin old.trp
    args=()
    IFS=';' read -r -a args <<<"$r_args"
    before=$(snapshot)
    run "$program" "${args[@]}"
    if [ "$program" = "$TREP" ]; then
      expect_eq "exit code" 2 "$RC"
      expect_empty "stdout" "$OUT"
      expect_eq "stderr" "trep: $r_err (see trep --help)" "$ERR"
    else
      expect_eq "exit code" "$r_exe" "$RC"
    fi
    expect_eq "folder contents" "$before" "$(snapshot)"
    report "$(name_of "$program") ${r_args//;/ } -> exit 2, refused before anything is made"
  done
done

echo "# Trep.exe /i=FILE /q with a file it cannot take (no display): exit 2, no window"
for file in missing.bin empty.bin old.trp; do
  wanted "$EXE" || continue
  new_case empty.bin old.trp
  before=$(snapshot)
  run "$EXE" "/i=$file" /o=out /q
  expect_eq "exit code" 2 "$RC"
  expect_eq "folder contents" "$before" "$(snapshot)"
  report "Trep.exe /i=$file /o=out /q -> exit 2, nothing made"
done

echo "# a segment file already there (small.bin in 1 KiB segments: 3)"
# answers on stdin ("-": closed) | exit | smal0002.trp afterwards | smal0003.trp made
OVERWRITE_CASES=(
  "-      |99| old | no"
  "2\n    |99| old | no"
  "3\n    |99| old | no"
  "1\n    |0 | new | yes"
  "1      |0 | new | yes"
  "x\n1\n |0 | new | yes"
)
for row in "${OVERWRITE_CASES[@]}"; do
  read_row "$row" o_answers o_exit o_second o_third
  new_case small.bin
  echo "made before" >out/smal0002.trp
  cp out/smal0002.trp "$WORK/before-0002"
  [ "$o_answers" = - ] && ANSWERS= || ANSWERS=$o_answers
  run "$TREP" /i=small.bin /o=out /s=1 /q
  ANSWERS=
  expect_eq "exit code" "$o_exit" "$RC"
  expect_has "stderr" "$ERR" "File already exists."
  expect_has "stderr" "$ERR" "1) Overwrite it"
  expect_has "stderr" "$ERR" "2) Abort procedure"
  if [ "$o_second" = old ]; then
    cmp -s out/smal0002.trp "$WORK/before-0002" || fail_because "smal0002.trp was changed"
  else
    expect_series "$PWD/out" smal small.bin 1024
  fi
  [ -e out/smal0003.trp ] && made=yes || made=no
  expect_eq "smal0003.trp made" "$o_third" "$made"
  report "trep, smal0002.trp there, answers '$o_answers' -> exit $o_exit, smal0002.trp $o_second"
done

# Every existing segment is asked about on its own.
new_case small.bin
run "$TREP" /i=small.bin /o=out /s=1 /q
cp -r out "$WORK/first-series"
for n in 1 2 3; do echo "made before" >"out/smal000$n.trp"; done
ANSWERS='1\n'
run "$TREP" /i=small.bin /o=out /s=1 /q
ANSWERS=
expect_eq "exit code" 99 "$RC"
same_apart_from_read_times out/smal0001.trp "$WORK/first-series/smal0001.trp" ||
  fail_because "smal0001.trp was not overwritten with the first segment"
expect_eq "smal0002.trp" "made before" "$(cat out/smal0002.trp)"
expect_eq "smal0003.trp" "made before" "$(cat out/smal0003.trp)"
report "trep, three segments there, one '1' -> first overwritten, then aborted at the second (99)"
ANSWERS='1\n1\n1\n'
run "$TREP" /i=small.bin /o=out /s=1 /q
ANSWERS=
expect_eq "exit code" 0 "$RC"
expect_series "$PWD/out" smal small.bin 1024
report "trep, three segments there, answers '1' three times -> all overwritten (0)"

if wanted "$EXE"; then
  new_case small.bin
  echo "made before" >out/smal0002.trp
  run "$EXE" /i=small.bin /o=out /s=1 /q
  expect_eq "exit code" 99 "$RC"
  expect_eq "smal0002.trp" "made before" "$(cat out/smal0002.trp)"
  [ -e out/smal0003.trp ] && fail_because "smal0003.trp was made"
  report "Trep.exe, smal0002.trp there, no message box can be shown -> aborted (99), file untouched"
fi

echo "# quiet or not"
# program | switch | answers | text on stderr (empty: nothing at all)
QUIET_CASES=(
  "trep     | /q      |     |"
  "trep     | /quiet  |     |"
  "trep     | /Q      |     |"
  "trep     | /QUIET  |     |"
  "trep     |         |     | Finished"
  "trep     |         | 1\n | Finished"
  "Trep.exe |         |     | -"
)
for row in "${QUIET_CASES[@]}"; do
  read_row "$row" q_prog q_switch q_answers q_err
  [ "$q_prog" = trep ] && program=$TREP || program=$EXE
  wanted "$program" || continue
  new_case small.bin
  args=(/i=small.bin /o=out /s=1)
  [ -n "$q_switch" ] && args+=("$q_switch")
  ANSWERS=$q_answers
  run "$program" "${args[@]}"
  ANSWERS=
  expect_eq "exit code" 0 "$RC"
  expect_series "$PWD/out" smal small.bin 1024
  [ "$program" = "$TREP" ] && expect_empty "stdout" "$OUT"
  case $q_err in
    "") expect_empty "stderr" "$ERR" ;;
    -) ;;  # Wine's own complaints about the missing display land there
    *)
      expect_has "stderr" "$ERR" "$q_err"
      expect_has "stderr" "$ERR" "1) OK"
      expect_has "stderr" "$ERR" "2) Open ReadMe"
      ;;
  esac
  case $q_err in
    "") said="says nothing" ;;
    -) said="no message box" ;;
    *) said="'$q_err' on stderr" ;;
  esac
  report "$q_prog ${q_switch:-(not quiet)}, stdin ${q_answers:-closed} -> exit 0, $said"
done

echo "# one instance at a time (trep)"
# hold_lock SECONDS: holds the instance lock from another process; returns
# once it is held and leaves HOLDER set to that process.
hold_lock() {
  rm -f "$WORK/held"
  flock "$XDG_RUNTIME_DIR/Trep.exe.lock" sh -c 'touch "$1"; sleep "$2"' _ "$WORK/held" "$1" &
  HOLDER=$!
  local i
  for ((i = 0; i < 200; i++)); do
    [ -e "$WORK/held" ] && break
    sleep 0.05
  done
  [ -e "$WORK/held" ] || fail_because "the lock could not be held"
}
new_case small.bin
before=$(snapshot)
hold_lock 8  # longer than trep's 5-second wait
run "$TREP" /i=small.bin /o=out /s=1 /q
expect_eq "exit code" 4 "$RC"
expect_has "stderr" "$ERR" "another Trep"
expect_eq "folder contents" "$before" "$(snapshot)"
wait "$HOLDER"
report "trep while another holds the lock throughout -> exit 4, nothing made"

new_case small.bin
hold_lock 2  # let go during trep's wait
run "$TREP" /i=small.bin /o=out /s=1 /q
expect_eq "exit code" 0 "$RC"
expect_series "$PWD/out" smal small.bin 1024
wait "$HOLDER"
report "trep while another holds the lock for 2 s -> waits, then exit 0 and the series"

# ============================================ 4. headerless segments ===

echo "# the settings file dTrep.dat"
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
# write_settings FILE REBUILD_METHOD: the 58-byte file: magic, ten u32
# (wizardAtStart, rebuildMethod, destinationMode, useCrc, useDescription,
# alwaysOnTop, memoryOption, sizeMode, wizardRunning, sliderMax), 48, 3, two zeros
write_settings() {
  local v
  {
    printf 'TREP1600'
    for v in 0 "$2" 2 1 0 0 2 0 0 0 48 3; do le32 "$v"; done
    printf '\0\0'
  } >"$1"
}
# program | rebuildMethod | segments
SETTINGS_CASES=(
  "trep     | 1 | bare"
  "Trep.exe | 1 | bare"
  "trep     | 0 | headers"
  "Trep.exe | 0 | headers"
  "trep     | 7 | headers"
)
for row in "${SETTINGS_CASES[@]}"; do
  read_row "$row" s_prog s_method s_format
  wanted "$s_prog" || continue
  new_case small.bin
  mkdir bin
  if [ "$s_prog" = trep ]; then program=$PWD/bin/trep; else program=$PWD/bin/Trep.exe; fi
  cp "$([ "$s_prog" = trep ] && echo "$TREP" || echo "$EXE")" "$program"
  write_settings bin/dTrep.dat "$s_method"
  cp bin/dTrep.dat "$WORK/settings-before"
  [ "$(stat -c %s bin/dTrep.dat)" = 58 ] || fail_because "the test's settings file is not 58 bytes"
  run "$program" /i=small.bin /o=out /s=1 /q
  expect_eq "exit code" 0 "$RC"
  expect_series "$PWD/out" smal small.bin 1024 "$s_format"
  cmp -s bin/dTrep.dat "$WORK/settings-before" || fail_because "dTrep.dat was changed"
  report "$s_prog with rebuildMethod $s_method -> $s_format segments, dTrep.dat untouched"
done

# ========================================================= 5. rebuilding ===

# in_arg PROGRAM PATH: a path below the case folder as PROGRAM is given it
# (a full Z:\... path with backslashes for a Windows program).
in_arg() {
  if [[ $1 == *.exe ]]; then
    local p
    p=$(here "$1")$2
    echo "${p//\//\\}"
  else
    echo "$2"
  fi
}
program_named() {  # NAME: the path of trep, Trep.exe, jobtool or jobtool.exe
  case $1 in
    trep) echo "$TREP" ;;
    Trep.exe) echo "$EXE" ;;
    jobtool) echo "$JOBTOOL" ;;
    jobtool.exe) echo "$JOBTOOL_EXE" ;;
  esac
}

# payloads DIR BASE: the payloads of a series with headers, segments 0001,
# 0002, ... up to the first missing number, put together.
payloads() {
  local i=1 f
  while f=$(printf '%s/%s%04d.trp' "$1" "$2" "$i") && [ -e "$f" ]; do
    tail -c +$((i == 1 ? 653 : 9)) "$f"
    i=$((i + 1))
  done
}
sums_of() { (cd "$1" && cksum -- *); }  # DIR: one checksum line per file
expect_same_bytes() {  # WHAT FILE EXPECTED_FILE
  if [ ! -f "$2" ]; then
    fail_because "$1: ${2#"$PWD/"} is missing"
  elif ! cmp -s "$2" "$3"; then
    fail_because "$1: ${2#"$PWD/"} differs ($(cmp "$2" "$3" 2>&1 | head -n 1))"
  fi
}
expect_mtime() {  # FILE ORIGINAL: the same last write time, to the second
  expect_eq "last write time of ${1##*/}" "$(stat -c %y "$2" | cut -c 1-19)" \
    "$(stat -c %y "$1" 2>/dev/null | cut -c 1-19)"
}
writable() {  # FILE: "yes" when any write bit is set (root writes anyway, so no test -w)
  local m
  m=$(stat -c %a "$1" 2>/dev/null) || { echo missing; return; }
  if (((8#$m & 8#222) != 0)); then echo yes; else echo no; fi
}
flip_byte() {  # FILE OFFSET: inverts one byte in place
  local b
  b=$(le "$1" "$2" 1)
  printf "\\x$(printf %02x $((b ^ 255)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# run_answered ANSWER... -- PROGRAM ARGS...: runs a Windows PROGRAM on the
# virtual display while answer.exe presses the buttons of its message boxes,
# one ANSWER (1 = the upper button; 2 = the lower) per notice. Sets what run sets,
# ANSWER_RC (answer.exe's exit code) and BOXES (the texts it answered, one
# line each). A Wine session keeps the display it began with, so the session
# is let end before and after: every other run must stay without a display.
run_answered() {
  local answers=() helper
  while [ "$1" != -- ]; do answers+=("$1"); shift; done
  shift
  ANSWER_RC=
  BOXES=
  start_display
  if [ -z "$XVFB_DISPLAY" ]; then
    fail_because "Xvfb did not start: $(short "$(cat "$WORK/xvfb.log" 2>/dev/null)")"
    RC=
    OUT=
    ERR=
    return
  fi
  wine_idle
  DISPLAY=$XVFB_DISPLAY timeout "$RUN_TIMEOUT" "$WINE_RUN" "$ANSWER_EXE" --timeout=$((RUN_TIMEOUT - 5)) "${answers[@]}" \
    </dev/null >"$WORK/boxes" 2>"$WORK/answer-stderr" &
  helper=$!
  RUN_ENV=(DISPLAY="$XVFB_DISPLAY")
  run "$@"
  RUN_ENV=()
  wait "$helper"
  ANSWER_RC=$?
  BOXES=$(tr -d '\r' <"$WORK/boxes")
  wine_idle
  expect_eq "answer.exe exit code (stderr: $(short "$(tr -d '\r' <"$WORK/answer-stderr")"))" 0 "$ANSWER_RC"
}
# The texts of Trep.exe's boxes as answer.exe prints them.
box_text() { echo "$1 [$2] [$3]"; }
NO_HEADER_BOX=$(box_text "These files don't have a Trep header." "Attempt to UnTrep them anyway." "Abort procedure")

# headerless_writer PROGRAM_NAME: a copy of the program in ./bin with a
# dTrep.dat asking for headerless series (rebuildMethod 1); prints its path.
headerless_writer() {
  mkdir -p bin
  local copy=$PWD/bin/$1
  cp "$(program_named "$1")" "$copy"
  write_settings bin/dTrep.dat 1
  echo "$copy"
}

echo "# rebuilding a series with headers: split by one program, joined by the other"
# splitter | joiner | fixture | KiB | segment chosen | /o=out after or before /i=
# The series comes from "/i=FIXTURE /o=s /s=KiB /q" (checksum on: no
# dTrep.dat). /o=out after /i= rebuilds into out itself; before /i=, into
# out/<recorded name less extension>.
JOIN_CASES=(
  "trep     | Trep.exe | join.bin     | 4 | 0001 | after"
  "trep     | Trep.exe | join.bin     | 4 | 0003 | after"
  "Trep.exe | trep     | join.bin     | 4 | 0001 | after"
  "Trep.exe | trep     | join.bin     | 4 | 0003 | after"
  "trep     | Trep.exe | join.bin     | 4 | 0005 | before"
  "Trep.exe | trep     | join.bin     | 4 | 0005 | before"
  "trep     | Trep.exe | readonly.bin | 1 | 0002 | after"
  "Trep.exe | trep     | readonly.bin | 1 | 0002 | after"
)
for row in "${JOIN_CASES[@]}"; do
  read_row "$row" j_split j_join j_file j_kib j_seg j_where
  splitter=$(program_named "$j_split")
  joiner=$(program_named "$j_join")
  base=${j_file:0:4}
  new_case "$j_file"
  run "$splitter" "/i=$j_file" /o=s "/s=$j_kib" /q
  expect_eq "exit code of the split" 0 "$RC"
  [ "$(le "s/${base}0001.trp" 622 4)" != 0 ] || fail_because "no checksum recorded in ${base}0001.trp"
  sums=$(sums_of s)
  segment=$(in_arg "$joiner" "s/$base$j_seg.trp")
  if [ "$j_where" = after ]; then
    run "$joiner" "/i=$segment" /o=out /q
    rebuilt=out/$j_file
  else
    run "$joiner" /o=out "/i=$segment" /q
    rebuilt=out/${j_file%.*}/$j_file
  fi
  expect_eq "exit code of the join" 0 "$RC"
  [ "$joiner" = "$TREP" ] && expect_empty "stderr" "$ERR"
  expect_eq "files made" "$rebuilt" "$(find out -type f)"
  expect_same_bytes "rebuilt file" "$rebuilt" "$j_file"
  expect_mtime "$rebuilt" "$j_file"
  expect_eq "write bits of $rebuilt (read-only attribute)" "$(writable "$j_file")" "$(writable "$rebuilt")"
  expect_eq "segment files after the join" "$sums" "$(sums_of s)"
  report "$j_split's series of $j_file, $j_join /i=$base$j_seg.trp with /o=out $j_where it -> exit 0, $rebuilt identical, time and read-only kept"
done

echo "# a series copied off a medium in capitals, on a case-sensitive file system"
# splitter | joiner | renaming of join0001.trp .. join0005.trp | segment chosen
#   upper: every name in capitals; extension: only .TRP; mixed: capitals
#   but for join0002.trp. The series comes from "/i=join.bin /o=s /s=4 /q";
#   "/o=out" after "/i=" rebuilds into out/join.bin.
CASE_CASES=(
  "trep     | trep     | upper     | JOIN0003.TRP"
  "trep     | Trep.exe | upper     | JOIN0003.TRP"
  "trep     | trep     | extension | join0005.TRP"
  "Trep.exe | trep     | extension | join0001.TRP"
  "trep     | trep     | mixed     | join0002.trp"
  "trep     | Trep.exe | mixed     | join0002.trp"
  "trep     | trep     | mixed     | JOIN0004.TRP"
)
for row in "${CASE_CASES[@]}"; do
  read_row "$row" c_split c_join c_rename c_chosen
  new_case join.bin
  run "$(program_named "$c_split")" /i=join.bin /o=s /s=4 /q
  expect_eq "exit code of the split" 0 "$RC"
  for ((i = 1; i <= 5; i++)); do
    from=$(printf 'join%04d.trp' "$i")
    case $c_rename in
      upper) to=$(printf 'JOIN%04d.TRP' "$i") ;;
      extension) to=$(printf 'join%04d.TRP' "$i") ;;
      mixed) [ "$i" = 2 ] && to=$from || to=$(printf 'JOIN%04d.TRP' "$i") ;;
    esac
    [ "$from" = "$to" ] || mv "s/$from" "s/$to"
  done
  sums=$(sums_of s)
  joiner=$(program_named "$c_join")
  run "$joiner" "/i=$(in_arg "$joiner" "s/$c_chosen")" /o=out /q
  expect_eq "exit code of the join" 0 "$RC"
  [ "$c_join" = trep ] && expect_empty "stderr" "$ERR"
  expect_eq "files made" out/join.bin "$(find out -type f)"
  expect_same_bytes "rebuilt file" out/join.bin join.bin
  expect_eq "segment files after the join" "$sums" "$(sums_of s)"
  report "$c_split's series renamed ($c_rename), $c_join /i=$c_chosen -> exit 0, out/join.bin identical"
done

# A headerless series cut by coreutils split into capitals, joined by trep.
new_case cut.bin
mkdir s
(cd s && split -d -a 4 --numeric-suffixes=1 --additional-suffix=.TRP -b 1000 ../cut.bin ABCD)
ANSWERS='1\n'
run "$TREP" /i=s/ABCD0003.TRP /o=out /q
ANSWERS=
expect_eq "exit code" 0 "$RC"
expect_eq "files made" out/ABCD "$(find out -type f)"
expect_same_bytes "rebuilt file" out/ABCD cut.bin
report "trep /i=ABCD0003.TRP of coreutils' ABCD0001.TRP .. ABCD0004.TRP, answer 1 -> exit 0, out/ABCD = cut.bin"

echo "# recorded names a Windows folder cannot hold (split by trep)"
# original name | joiner | rebuilt as. Trep.exe takes the series' base name,
# as for a device name; trep keeps a name its folder can hold.
BAD_NAME_CASES=(
  "what?.txt   | trep     | what?.txt"
  "what?.txt   | Trep.exe | what"
  "data<1>.bin | trep     | data<1>.bin"
  "data<1>.bin | Trep.exe | data"
  "star*x.bin  | Trep.exe | star"
)
for row in "${BAD_NAME_CASES[@]}"; do
  read_row "$row" b_name b_join b_rebuilt
  new_case join.bin
  cp -p join.bin "$b_name"
  run "$TREP" "/i=$b_name" /o=s /s=4 /q
  expect_eq "exit code of the split" 0 "$RC"
  joiner=$(program_named "$b_join")
  run "$joiner" "/i=$(in_arg "$joiner" "s/${b_name:0:4}0002.trp")" /o=out /q
  expect_eq "exit code of the join" 0 "$RC"
  expect_eq "files made" "out/$b_rebuilt" "$(find out -type f)"
  expect_same_bytes "rebuilt file" "out/$b_rebuilt" join.bin
  report "a series of '$b_name', $b_join joins it -> exit 0, out/$b_rebuilt identical"
done

echo "# Trep.exe's notices about the command line, on a display"
# switches | the one box's message (its start) | exit. answer.exe presses
# "OK"; a main window left open would keep Trep.exe running past the guard.
EXE_LINE_CASES=(
  "/i=small.bin;/size=2     | Unknown switch \"/size=2\". Trep.exe takes /i=FILE, /o=FOLDER, /s=KBYTES and /q, each once. | 2"
  "/i=old.trp;/x            | Unknown switch \"/x\". Trep.exe takes                  | 2"
  "/i=missing.bin;/o=out;/q | \"missing.bin\": it cannot be opened (                  | 2"
  "/i=empty.bin;/o=out;/q   | \"empty.bin\": it is empty.                              | 2"
  "/i=old.trp;/o=out;/q     | Cannot find first file!                                | 2"
  "/?                       | Trep.exe /i=FILE [/o=FOLDER] [/s=KBYTES] [/q].          | 0"
  "--version                | Trep 1.91                                              | 0"
)
for row in "${EXE_LINE_CASES[@]}"; do
  read_row "$row" x_args x_box x_exit
  wanted "$EXE" || continue
  new_case small.bin empty.bin old.trp
  args=()
  IFS=';' read -r -a args <<<"$x_args"
  before=$(snapshot)
  run_answered 1 -- "$EXE" "${args[@]}"
  expect_eq "exit code" "$x_exit" "$RC"
  expect_eq "boxes answered" 1 "$(grep -c . <<<"$BOXES")"
  expect_has "box" "$BOXES" "$x_box"
  [[ $BOXES == "$x_box"* ]] || fail_because "the box does not begin with '$x_box': '$(short "$BOXES")'"
  expect_has "buttons" "$BOXES" "[OK] [Open ReadMe]"
  expect_eq "folder contents" "$before" "$(snapshot)"
  report "Trep.exe ${x_args//;/ } on a display -> one box '${x_box:0:30}...', exit $x_exit, no window"
done

# Nobody answers: the notice closes itself and the program ends.
if wanted "$EXE"; then
  new_case small.bin
  start_display
  wine_idle
  RUN_ENV=(DISPLAY="$XVFB_DISPLAY")
  run "$EXE" /i=small.bin /size=2
  RUN_ENV=()
  wine_idle
  expect_eq "exit code" 2 "$RC"
  report "Trep.exe /i=small.bin /size=2 on a display, no one answers -> the notice closes itself, exit 2"
fi

echo "# scrambled series across the builds (jobtool and jobtool.exe, one engine)"
KEY=Quorin-42
SEG=4096  # join.bin in 4 KiB segments: 5
for tool_name in jobtool jobtool.exe; do
  wanted "$tool_name" || continue
  tool=$(program_named "$tool_name")
  new_case join.bin
  run "$tool" split join.bin plain 4 --crc
  expect_eq "exit code, plain split" 0 "$RC"
  run "$tool" split join.bin keyed 4 "--key=$KEY" --crc
  expect_eq "exit code, scrambled split" 0 "$RC"
  expect_series "$PWD/plain" join join.bin $SEG
  expect_names "$PWD/keyed" join join.bin $SEG
  # The header does not tell a scrambled series from a plain one; only the
  # times of the original (bytes 626..649) may differ between the two splits.
  cmp -s <(head -c 626 keyed/join0001.trp) <(head -c 626 plain/join0001.trp) ||
    fail_because "bytes 0..625 of join0001.trp differ"
  expect_eq "attributes (u16 @650)" "$(hex plain/join0001.trp 650 2)" "$(hex keyed/join0001.trp 650 2)"
  for ((i = 1; i <= 5; i++)); do
    f=$(printf 'join%04d.trp' "$i")
    skip=$((i == 1 ? 652 : 8))
    [ "$i" -gt 1 ] && expect_eq "magic of keyed/$f" "$MAGIC_HEX" "$(hex "keyed/$f" 0 8)"
    expect_eq "size of keyed/$f" "$(stat -c %s "plain/$f")" "$(stat -c %s "keyed/$f")"
    length=$(($(stat -c %s "plain/$f") - skip))
    differ=$(cmp -l <(tail -c +$((skip + 1)) "plain/$f") <(tail -c +$((skip + 1)) "keyed/$f") | wc -l)
    ((differ * 100 >= length * 99)) || fail_because "$f: only $differ of $length payload bytes scrambled"
  done
  report "$tool_name split --key: headers as in the plain split (times apart), payloads scrambled"
  cp -r keyed "$WORK/keyed-$tool_name"
done
if wanted jobtool jobtool.exe; then
  same_series "$WORK/keyed-jobtool" "$WORK/keyed-jobtool.exe" join 5
  report "jobtool and jobtool.exe scramble alike: the same bytes, apart from read times"
fi

# splitter | joiner | key given to the join | exit
# Every join is checked (--crc); a scrambled join works on temporary copies,
# so the series stays as it was, and none of the copies is left behind.
SCRAMBLE_CASES=(
  "jobtool     | jobtool.exe | right | 0"
  "jobtool.exe | jobtool     | right | 0"
  "jobtool     | jobtool     | wrong | 1"
  "jobtool.exe | jobtool.exe | wrong | 1"
  "jobtool.exe | jobtool     | none  | 1"
)
for row in "${SCRAMBLE_CASES[@]}"; do
  read_row "$row" k_split k_join k_key k_exit
  wanted "$k_split" "$k_join" || continue
  new_case join.bin
  mkdir tmp
  run "$(program_named "$k_split")" split join.bin s 4 "--key=$KEY" --crc
  expect_eq "exit code of the split" 0 "$RC"
  sums=$(sums_of s)
  key_arg=()
  case $k_key in
    right) key_arg=("--key=$KEY") ;;
    wrong) key_arg=("--key=${KEY}x") ;;
  esac
  RUN_ENV=(TMPDIR="$PWD/tmp")
  run "$(program_named "$k_join")" join s/join0002.trp out ${key_arg[@]+"${key_arg[@]}"} --crc
  RUN_ENV=()
  expect_eq "exit code of the join" "$k_exit" "$RC"
  expect_eq "files made" out/join.bin "$(find out -type f)"
  if [ "$k_exit" = 0 ]; then
    expect_same_bytes "rebuilt file" out/join.bin join.bin
  else
    cmp -s out/join.bin join.bin && fail_because "out/join.bin is the original, yet the join failed"
  fi
  expect_eq "segment files after the join" "$sums" "$(sums_of s)"
  [ "$k_join" = jobtool ] && expect_empty "temporary copies left in TMPDIR" "$(ls -A tmp)"
  case $k_key in right) given="the key" ;; wrong) given="a wrong key" ;; *) given="no key" ;; esac
  report "$k_split split --key, $k_join join with $given --crc -> exit $k_exit, series unchanged"
done

echo "# headerless series (rebuildMethod 1): written by one program, joined by the other"
# writer | joiner | answer to "These files don't have a Trep header." | exit
# ("-": stdin closed). Trep.exe's box is answered by answer.exe; its "No"
# would open the main window, so only trep is asked to abort.
HEADERLESS_CASES=(
  "trep     | Trep.exe | 1 | 0"
  "Trep.exe | trep     | 1 | 0"
  "Trep.exe | trep     | 2 | 2"
  "trep     | trep     | - | 2"
)
for row in "${HEADERLESS_CASES[@]}"; do
  read_row "$row" h_write h_join h_answer h_exit
  new_case join.bin
  writer=$(headerless_writer "$h_write")
  run "$writer" /i=join.bin /o=s /s=4 /q
  expect_eq "exit code of the split" 0 "$RC"
  expect_series "$PWD/s" join join.bin 4096 bare
  joiner=$(program_named "$h_join")
  segment=$(in_arg "$joiner" s/join0002.trp)
  if [ "$h_join" = Trep.exe ]; then
    run_answered "$h_answer" -- "$joiner" "/i=$segment" /o=out /q
    expect_eq "box answered" "$NO_HEADER_BOX" "$BOXES"
  else
    [ "$h_answer" = - ] && ANSWERS= || ANSWERS="$h_answer\\n"
    run "$joiner" "/i=$segment" /o=out /q
    ANSWERS=
    expect_has "stderr" "$ERR" "These files don't have a Trep header."
    expect_has "stderr" "$ERR" "1) Attempt to UnTrep them anyway."
    expect_has "stderr" "$ERR" "2) Abort procedure"
  fi
  expect_eq "exit code of the join" "$h_exit" "$RC"
  if [ "$h_exit" = 0 ]; then
    expect_eq "files made" out/join "$(find out -type f)"
    expect_same_bytes "rebuilt file" out/join join.bin
    what="out/join (the base name) identical"
  else
    expect_empty "files made" "$(find out -mindepth 1)"
    what="nothing made"
  fi
  report "$h_write's headerless series, $h_join joins it, answer '$h_answer' -> exit $h_exit, $what"
done

echo "# UnTrep.bat, run by Wine's cmd in the segments' folder"
# expected_batch BASE NAME COUNT: the batch text, CR LF between lines and
# none at the end. Up to 99 segments one Copy; from 100 on, groups of 100
# into X0001.trp, X0002.trp, ..., then one Copy of the groups.
segment_list() {  # BASE FIRST LAST: BASE0001.trp+BASE0002.trp+...
  local n list=
  for ((n = $2; n <= $3; n++)); do list+=$(printf '%s%04d.trp+' "$1" "$n"); done
  echo "${list%+}"
}
expected_batch() {
  local first last groups=0 list=
  if [ "$3" -lt 100 ]; then
    printf 'Copy /b %s "%s"' "$(segment_list "$1" 1 "$3")" "$2"
    return
  fi
  for ((first = 1; first <= $3; first += 100)); do
    last=$((first + 99 < $3 ? first + 99 : $3))
    groups=$((groups + 1))
    printf 'Copy /b %s "X%04d.trp"\r\n' "$(segment_list "$1" "$first" "$last")" "$groups"
    list+=$(printf 'X%04d.trp+' "$groups")
  done
  printf 'Copy /b %s "%s"' "${list%+}" "$2"
}
# writer (rebuildMethod 1) | fixture | segments of 1 KiB
BATCH_CASES=(
  "trep     | small.bin | 3"
  "Trep.exe | small.bin | 3"
  "trep     | many.bin  | 150"
  "Trep.exe | more.bin  | 201"
)
for row in "${BATCH_CASES[@]}"; do
  read_row "$row" b_write b_file b_count
  wanted "$b_write" || continue
  new_case "$b_file"
  writer=$(headerless_writer "$b_write")
  run "$writer" "/i=$b_file" /o=s /s=1 /q
  expect_eq "exit code of the split" 0 "$RC"
  expect_eq "segments made" "$b_count" "$(find s -name '*.trp' | wc -l)"
  expect_eq "UnTrep.bat" "$(expected_batch "${b_file:0:4}" "$b_file" "$b_count" | od -A n -t x1 -v | tr -d ' \n')" \
    "$(hex s/UnTrep.bat 0 1000000)"
  (cd s && timeout "$RUN_TIMEOUT" "$WINE_RUN" cmd /c UnTrep.bat) </dev/null >"$WORK/stdout" 2>"$WORK/stderr"
  expect_eq "exit code of cmd /c UnTrep.bat" 0 "$?"
  expect_same_bytes "rebuilt file" "s/$b_file" "$b_file"
  report "$b_write, $b_count segments: UnTrep.bat's bytes, and cmd /c UnTrep.bat rebuilds $b_file"
done

echo "# a headerless series cut by coreutils split (cut.bin: abcd0001.trp .. abcd0004.trp)"
# joiner | segment chosen | segment taken away first | segments rebuilt from
# The join ends at the first missing number, normally (exit 0).
CUT_CASES=(
  "trep     | 0001 | -    | 4"
  "trep     | 0004 | -    | 4"
  "Trep.exe | 0001 | -    | 4"
  "trep     | 0001 | 0003 | 2"
  "trep     | 0004 | 0003 | 2"
  "Trep.exe | 0004 | 0003 | 2"
)
for row in "${CUT_CASES[@]}"; do
  read_row "$row" u_join u_seg u_gone u_used
  wanted "$u_join" || continue
  new_case cut.bin
  mkdir s
  (cd s && split -d -a 4 --numeric-suffixes=1 --additional-suffix=.trp -b 1000 ../cut.bin abcd)
  expect_eq "coreutils' segments" "abcd0001.trp abcd0002.trp abcd0003.trp abcd0004.trp" "$(ls s | tr '\n' ' ' | sed 's/ $//')"
  [ "$u_gone" != - ] && rm "s/abcd$u_gone.trp"
  head -c $((u_used * 1000)) cut.bin >"$WORK/expected"
  joiner=$(program_named "$u_join")
  segment=$(in_arg "$joiner" "s/abcd$u_seg.trp")
  if [ "$u_join" = Trep.exe ]; then
    run_answered 1 -- "$joiner" "/i=$segment" /o=out /q
    expect_eq "box answered" "$NO_HEADER_BOX" "$BOXES"
  else
    ANSWERS='1\n'
    run "$joiner" "/i=$segment" /o=out /q
    ANSWERS=
    expect_has "stderr" "$ERR" "These files don't have a Trep header."
  fi
  expect_eq "exit code" 0 "$RC"
  expect_eq "files made" out/abcd "$(find out -type f)"
  expect_same_bytes "rebuilt file" out/abcd "$WORK/expected"
  [ "$u_gone" = - ] && gone="all there" || gone="abcd$u_gone.trp taken away"
  report "$u_join /i=abcd$u_seg.trp, $gone, answer 1 -> exit 0, out/abcd = segments 0001..000$u_used"
done

echo "# Windows paths written with / (Trep.exe): the same jobs as with \\"
# Windows reads "/" between a path's parts as it reads "\"; a path given so
# once made the join's output name of the whole path (a write error no one
# could answer with /q).
with_slashes() { local p; p=$(in_arg "$EXE" "$1"); echo "${p//\\//}"; }
if wanted "$EXE"; then
  new_case small.bin cut.bin
  run "$EXE" "/i=$(with_slashes small.bin)" "/o=$(with_slashes s)" /s=1 /q
  expect_eq "exit code of the split" 0 "$RC"
  expect_eq "segments made" "s/smal0001.trp s/smal0002.trp s/smal0003.trp" "$(segments_found | tr '\n' ' ' | sed 's/ $//')"
  run "$EXE" "/i=$(with_slashes s/smal0002.trp)" "/o=$(with_slashes out)" /q
  expect_eq "exit code of the join" 0 "$RC"
  expect_eq "files made" out/small.bin "$(find out -type f)"
  expect_same_bytes "rebuilt file" out/small.bin small.bin
  report "Trep.exe /i=Z:/.../small.bin /o=Z:/.../s, then /i=Z:/.../s/smal0002.trp /o=Z:/.../out -> small.bin back"
  new_case cut.bin
  mkdir s
  (cd s && split -d -a 4 --numeric-suffixes=1 --additional-suffix=.trp -b 1000 ../cut.bin abcd)
  rm s/abcd0003.trp
  run_answered 1 -- "$EXE" "/i=$(with_slashes s/abcd0004.trp)" /o=out /q
  expect_eq "box answered" "$NO_HEADER_BOX" "$BOXES"
  expect_eq "exit code" 0 "$RC"
  head -c 2000 cut.bin >"$WORK/expected"
  expect_eq "files made" out/abcd "$(find out -type f)"
  expect_same_bytes "rebuilt file" out/abcd "$WORK/expected"
  report "Trep.exe /i=Z:/.../s/abcd0004.trp (headerless, 0003 taken away), answer 1 -> exit 0, out/abcd = segments 0001..0002"
fi

echo "# exit codes of joins (join.bin in 5 segments of 4 KiB, split by trep)"
# program | damage | switch | answers | exit | text | rebuilt file
#   damage: "missing" join0002.trp taken away; "back" taken away and put
#   back once the question is asked; "flipped" the first payload byte of
#   join0002.trp inverted (inside the part the checksum covers);
#   "unrecorded" flipped, and the checksum in the header set to 0 (none).
#   answers: "-" stdin closed; text for trep's stdin; buttons for answer.exe
#   (Trep.exe on the display; "-" with Trep.exe: no display).
#   text: expected on trep's stderr, or the message of the one box
#   answer.exe answered; "(none)": trep says nothing.
#   With no one to ask (/q), a missing segment is refused before anything
#   is written (exit 6), naming it; asked, the user may yet bring it.
#   rebuilt: "none" no file at all (an aborted join leaves nothing
#   part-made); "payloads" the series' payloads as they are; "original"
#   join.bin.
JOIN_EXIT_CASES=(
  "trep     | missing    | /q | -   | 6  | The series cannot be joined: segment 0002 is missing, and no recovery files of this series are here to rebuild it. | none"
  "trep     | missing    |    | -   | 99 | File Read Error; is Removable Media Ready? | none"
  "trep     | missing    |    | 2\n | 99 | File Read Error; is Removable Media Ready? | none"
  "trep     | back       |    | 1\n | 0  | File Read Error; is Removable Media Ready? | original"
  "trep     | flipped    |    | -   | 1  | CRC Failed      | payloads"
  "trep     | flipped    | /q | -   | 1  | (none)          | payloads"
  "trep     | unrecorded |    | -   | 0  | Finished        | payloads"
  "Trep.exe | missing    | /q | -   | 6  | -               | none"
  "Trep.exe | flipped    | /q | -   | 1  | -               | payloads"
  "Trep.exe | missing    |    | 2   | 99 | File Read Error; is Removable Media Ready? | none"
  "Trep.exe | flipped    |    | 1   | 1  | CRC Failed      | payloads"
)
for row in "${JOIN_EXIT_CASES[@]}"; do
  read_row "$row" e_prog e_damage e_switch e_answers e_exit e_text e_rebuilt
  new_case join.bin
  run "$TREP" /i=join.bin /o=s /s=4 /q
  expect_eq "exit code of the split" 0 "$RC"
  case $e_damage in
    missing | back) mv s/join0002.trp "$WORK/held-segment" ;;
    flipped) flip_byte s/join0002.trp 8 ;;
    unrecorded)
      flip_byte s/join0002.trp 8
      printf '\0\0\0\0' | dd of=s/join0001.trp bs=1 seek=622 conv=notrunc status=none
      ;;
  esac
  payloads s join >"$WORK/payloads"
  program=$(program_named "$e_prog")
  args=("/i=$(in_arg "$program" s/join0001.trp)" /o=out)
  [ -n "$e_switch" ] && args+=("$e_switch")
  if [ "$e_damage" = back ]; then
    # Stdin is a fifo: the feeder waits for the question on stderr, puts the
    # segment back, answers 1 and closes stdin.
    rm -f "$WORK/fifo"
    mkfifo "$WORK/fifo"
    : >"$WORK/stderr"
    (
      exec 3>"$WORK/fifo"
      for ((i = 0; i < RUN_TIMEOUT * 20; i++)); do  # a guard against a hang only
        grep -q "File Read Error" "$WORK/stderr" && break
        sleep 0.05
      done
      mv "$WORK/held-segment" s/join0002.trp
      printf "$e_answers" >&3
    ) &
    feeder=$!
    RUN_INPUT=$WORK/fifo
    run "$program" "${args[@]}"
    RUN_INPUT=
    wait "$feeder"
  elif [ "$e_prog" = Trep.exe ] && [ "$e_answers" != - ]; then
    run_answered "$e_answers" -- "$program" "${args[@]}"
  else
    [ "$e_answers" = - ] && ANSWERS= || ANSWERS=$e_answers
    run "$program" "${args[@]}"
    ANSWERS=
  fi
  expect_eq "exit code" "$e_exit" "$RC"
  case $e_text in
    "(none)") expect_empty "stderr" "$ERR" ;;
    -) ;;
    *)
      if [ "$e_prog" = trep ]; then
        expect_has "stderr" "$ERR" "$e_text"
      else
        expect_eq "message of the box answered" "$e_text" "${BOXES%% [*}"
        expect_eq "boxes answered" 1 "$(grep -c . <<<"$BOXES")"
      fi
      ;;
  esac
  case $e_rebuilt in
    payloads) cp "$WORK/payloads" "$WORK/expected" ;;
    original) cp join.bin "$WORK/expected" ;;
  esac
  if [ "$e_rebuilt" = none ]; then
    expect_eq "files made (hidden ones too)" "" "$(ls -A out)"
  else
    expect_eq "files made" out/join.bin "$(find out -type f)"
    expect_same_bytes "rebuilt file ($e_rebuilt)" out/join.bin "$WORK/expected"
  fi
  case $e_damage in
    missing) what="join0002.trp missing" ;;
    back) what="join0002.trp missing, put back when asked" ;;
    flipped) what="a byte of join0002.trp changed" ;;
    unrecorded) what="a byte changed, no checksum recorded" ;;
  esac
  said=$e_text
  [ "$said" = - ] && said="no display"
  [ ${#said} -gt 40 ] && said="${said:0:40}..."
  report "$e_prog ${e_switch:-(not quiet)}, $what, answers ${e_answers//\\n/} -> exit $e_exit, '$said', out/join.bin = $e_rebuilt"
done

# ================================================ 6. names in any script ===

# Names are UTF-8 on this system; Trep.exe takes them from Windows as
# UTF-16 (Wine gives it the same names). A header stores a name in
# Windows-1252 when every character has a place there, in UTF-8 otherwise;
# iconv, not the programs, says what the 1252 bytes are.
header_name_hex() {  # NAME ENCODING: the 300-byte name field expected
  local bytes=$1
  [ "$2" = cp1252 ] && bytes=$(printf '%s' "$1" | iconv -f UTF-8 -t CP1252)
  hex_of_text_field "$bytes" 300
}
segment_names() {  # BASE COUNT: BASE0001.trp .. one a line
  local i
  for ((i = 1; i <= $2; i++)); do printf '%s%04d.trp\n' "$1" "$i"; done
}
# make_named NAME: 2500 random bytes under NAME (three segments of 1 KiB),
# with the fixtures' time.
make_named() {
  head -c 2500 /dev/urandom >"$1"
  touch -d '2001-02-03 04:05:06.1234567 UTC' "$1"
}

echo "# names in any script: split by one program, rebuilt by the other, byte for byte"
# name | base (its first four characters) | the name's bytes in the header
NAME_CASES=(
  "résumé.doc       | résu     | cp1252"
  "abcé.txt         | abcé     | cp1252"
  "€uro 2024.txt    | €uro     | cp1252"
  "Ωmega 🎬.mkv     | Ωmeg     | utf8"
  "🎬 clip.mp4      | 🎬Xcl    | utf8"
  "日本語の資料.bin | 日本語の | utf8"
  "Ωmeg             | Ωmeg     | utf8"
  "Привет мир.txt   | Прив     | utf8"
)
for row in "${NAME_CASES[@]}"; do
  read_row "$row" m_name m_base m_enc
  new_case
  make_named "$m_name"
  run "$TREP" "/i=$m_name" /o=by-trep /s=1 /q
  expect_eq "exit code of trep's split" 0 "$RC"
  run "$EXE" "/i=$(in_arg "$EXE" "$m_name")" /o=by-exe /s=1 /q
  expect_eq "exit code of Trep.exe's split" 0 "$RC"
  for d in by-trep by-exe; do
    expect_eq "files in $d" "$(segment_names "$m_base" 3)" "$(ls -A "$d" 2>/dev/null)"
  done
  expect_eq "name field of trep's ${m_base}0001.trp" "$(header_name_hex "$m_name" "$m_enc")" \
    "$(hex "by-trep/${m_base}0001.trp" 314 300)"
  same_series by-trep by-exe "$m_base" 3
  run "$EXE" "/i=$(in_arg "$EXE" "by-trep/${m_base}0002.trp")" /o=out-exe /q
  expect_eq "exit code of Trep.exe's join" 0 "$RC"
  run "$TREP" "/i=by-exe/${m_base}0002.trp" /o=out-trep /q
  expect_eq "exit code of trep's join" 0 "$RC"
  for d in out-exe out-trep; do
    expect_eq "files in $d" "$m_name" "$(ls -A "$d" 2>/dev/null)"
    expect_same_bytes "rebuilt in $d" "$d/$m_name" "$m_name"
  done
  report "$m_name: both programs cut ${m_base}0001.trp .. 0003.trp alike (name stored as $m_enc); each rebuilds the other's series under the same name"
done

echo "# a name this system gave in another encoding (Latin-1 bytes, not UTF-8)"
# Read as Windows-1252, once: the segments, the header and the rebuilt
# file all say café, and nothing trep makes has a name that is not UTF-8.
new_case
latin1=$(printf 'caf\xe9.bin')
make_named "$latin1"
run "$TREP" "/i=$latin1" /o=s /s=1 /q
expect_eq "exit code of the split" 0 "$RC"
expect_eq "files in s" "$(segment_names café 3)" "$(ls -A s 2>/dev/null)"
expect_eq "name field of café0001.trp" "$(hex_of_text_field "$latin1" 300)" "$(hex s/café0001.trp 314 300)"
run "$TREP" /i=s/café0002.trp /o=out /q
expect_eq "exit code of the join" 0 "$RC"
expect_eq "files in out" café.bin "$(ls -A out 2>/dev/null)"
expect_same_bytes "rebuilt file" out/café.bin "$latin1"
report "trep: caf\\xE9.bin gives café0001.trp .. 0003.trp, stores the byte E9, rebuilds café.bin"

echo "# a series from an older Trep.exe on a Western Windows: its texts in Windows-1252"
# Segment 0001 with the full header (count 2, description shown, checksum
# none), the name résumé.doc and the description in 1252 bytes, built here
# byte by byte; segment 0002 the magic and the rest.
new_case
head -c 3000 /dev/urandom >"$WORK/old-payload"
old_description=$(printf 'Lebenslauf f\xfcr Z\xfcrich')
{
  printf 'TREP1600'
  le32 2
  printf '\x01\x00'
  printf '%s' "$old_description"
  head -c $((300 - ${#old_description})) /dev/zero
  printf 'r\xe9sum\xe9.doc'
  head -c 290 /dev/zero
  le32 3000
  le32 0
  le32 0                                  # no checksum recorded
  for t in 1 2 3; do le32 0; le32 29000000; done
  printf '\x20\x00'
  head -c 2000 "$WORK/old-payload"
} >old0001.trp
{ printf 'TREP1600'; tail -c +2001 "$WORK/old-payload"; } >old0002.trp
[ "$(stat -c %s old0001.trp)" = $((652 + 2000)) ] || fail_because "the fixture's header is not 652 bytes"
run "$TREP" /i=old0002.trp /o=out-trep
expect_eq "exit code of trep" 0 "$RC"
expect_has "trep's description notice" "$ERR" "Lebenslauf für Zürich"
run_answered 1 1 -- "$EXE" "/i=$(in_arg "$EXE" old0002.trp)" /o=out-exe
expect_eq "exit code of Trep.exe" 0 "$RC"
expect_eq "Trep.exe's notices" "$(box_text "Lebenslauf für Zürich" OK "Open ReadMe")
$(box_text Finished OK "Open ReadMe")" "$BOXES"
for d in out-trep out-exe; do
  expect_eq "files in $d" "résumé.doc" "$(ls -A "$d" 2>/dev/null)"
  expect_same_bytes "rebuilt in $d" "$d/résumé.doc" "$WORK/old-payload"
done
report "both programs rebuild résumé.doc and show \"Lebenslauf für Zürich\" from 1252 bytes"

echo "# UnTrep.bat for names beyond ASCII, run by Wine's cmd"
# The file is UTF-8, opened by chcp 65001 and a probe. Wine's cmd reads a
# batch file in the OEM code page whatever chcp says (437 here): the probe
# stops it with a message and exit code 1, nothing made. As a system whose
# console code page is UTF-8 (Wine in a locale without an ANSI code page,
# hi_IN, whose code pages are UTF-8), the same file rebuilds the name.
mkdir -p "$WORK/locale"
localedef -i hi_IN -f UTF-8 "$WORK/locale/hi_IN.UTF-8" >/dev/null 2>&1 ||
  echo "programs_test: localedef could not make hi_IN.UTF-8 (package locales)" >&2
utf8_batch() {  # BASE NAME COUNT (below 100): the whole UnTrep.bat
  printf '@chcp 65001 >nul\r\n@setlocal\r\n@set "TrepProbe=€"\r\n'
  printf '@if not "%%TrepProbe:~1%%"=="" (echo This command interpreter does not read '
  printf 'UnTrep.bat as UTF-8, so it cannot name the files: nothing was copied.& exit /b 1)\r\n'
  printf 'Copy /b %s "%s"' "$(segment_list "$1" 1 "$3")" "$2"
}
# name | base
BATCH_NAME_CASES=(
  "résumé.doc       | résu"
  "日本語の資料.bin | 日本語の"
  "🎬 clip.mp4      | 🎬Xcl"
)
for row in "${BATCH_NAME_CASES[@]}"; do
  read_row "$row" b_name b_base
  new_case
  make_named "$b_name"
  for b_write in trep Trep.exe; do
    writer=$(headerless_writer "$b_write")
    run "$writer" "/i=$(in_arg "$writer" "$b_name")" "/o=by-$b_write" /s=1 /q
    expect_eq "exit code of $b_write's split" 0 "$RC"
    expect_eq "UnTrep.bat of $b_write" \
      "$(utf8_batch "$b_base" "$b_name" 3 | od -A n -t x1 -v | tr -d ' \n')" \
      "$(hex "by-$b_write/UnTrep.bat" 0 100000)"
  done
  cmp -s by-trep/UnTrep.bat by-Trep.exe/UnTrep.bat || fail_because "the two programs' UnTrep.bat differ"
  (cd by-trep && timeout "$RUN_TIMEOUT" "$WINE_RUN" cmd /c UnTrep.bat) </dev/null >"$WORK/stdout" 2>"$WORK/stderr"
  expect_eq "exit code of cmd /c UnTrep.bat (OEM code page 437)" 1 "$?"
  expect_has "what cmd printed" "$(tr -d '\r' <"$WORK/stdout")" "does not read UnTrep.bat as UTF-8"
  expect_eq "files after cmd (OEM code page 437)" "$({ segment_names "$b_base" 3; echo UnTrep.bat; } | sort)" \
    "$(ls -A by-trep | sort)"
  (cd by-Trep.exe && LOCPATH=$WORK/locale TREP_WINE_LOCALE=hi_IN.UTF-8 timeout "$RUN_TIMEOUT" \
    "$WINE_RUN" cmd /c UnTrep.bat) </dev/null >"$WORK/stdout" 2>"$WORK/stderr"
  expect_eq "exit code of cmd /c UnTrep.bat (code page UTF-8)" 0 "$?"
  expect_same_bytes "rebuilt by cmd (code page UTF-8)" "by-Trep.exe/$b_name" "$b_name"
  report "$b_name: both write the same UTF-8 UnTrep.bat; cmd in UTF-8 rebuilds it, cmd in 437 stops and makes nothing"
done

echo "# program, settings and desktop folders named beyond ASCII"
# Each program in a folder of such a name, with DefSet.txt beside it: its
# settings (rebuildMethod 1, so the split is headerless) come from
# Quorin/Trep below the application-data folder, and the split goes, with no
# /o=, below the desktop folder; both folders are named beyond ASCII too.
# Trep.exe's run in a prefix of its own whose shell folders point there.
SHELL_KEYS=('HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders')
for f_prog in trep Trep.exe; do
  wanted "$f_prog" || continue
  new_case
  prog_dir="$PWD/prog Ωμέγα 日本"
  desktop="$PWD/bureau Ωμέγα"
  appdata="$PWD/données 日本"
  mkdir -p "$prog_dir" "$desktop" "$appdata/Quorin/Trep"
  : >"$prog_dir/DefSet.txt"
  write_settings "$appdata/Quorin/Trep/dTrep.dat" 1
  make_named "résumé.doc"
  if [ "$f_prog" = trep ]; then
    cp "$TREP" "$prog_dir/trep"
    RUN_ENV=(XDG_DESKTOP_DIR="$desktop" XDG_CONFIG_HOME="$appdata")
    run "$prog_dir/trep" "/i=résumé.doc" /s=1 /q
    RUN_ENV=()
  else
    cp "$EXE" "$prog_dir/Trep.exe"
    for key in "${SHELL_KEYS[@]}"; do
      WINEPREFIX=$NAMES_PREFIX timeout 60 "$WINE_RUN" reg add "$key" /v Desktop /t REG_SZ \
        /d "$(in_arg "$EXE" "bureau Ωμέγα")" /f </dev/null >/dev/null 2>&1
      WINEPREFIX=$NAMES_PREFIX timeout 60 "$WINE_RUN" reg add "$key" /v AppData /t REG_SZ \
        /d "$(in_arg "$EXE" "données 日本")" /f </dev/null >/dev/null 2>&1
    done
    RUN_ENV=(WINEPREFIX="$NAMES_PREFIX")
    run "$prog_dir/Trep.exe" "/i=$(in_arg "$EXE" "résumé.doc")" /s=1 /q
    RUN_ENV=()
  fi
  expect_eq "exit code" 0 "$RC"
  expect_eq "files in bureau Ωμέγα/résumé" "$({ segment_names résu 3; echo UnTrep.bat; } | sort)" \
    "$(ls -A "$desktop/résumé" 2>/dev/null | sort)"
  expect_payload "$desktop/résumé" résu "résumé.doc" 1024 bare
  report "$f_prog in \"prog Ωμέγα 日本\" with DefSet.txt: settings from \"données 日本\", the series below \"bureau Ωμέγα\""
done

echo "# links at the names a job writes, answered \"Overwrite it\""
# program | job | the name in out/ | the link's target | exit
#   The link is asked about as a file there, also when its target is
#   missing; "Overwrite it" replaces the link itself: the target is neither
#   written nor made.
LINK_ANSWERED_CASES=(
  "trep     | join  | join.bin     | victim  | 0"
  "trep     | join  | join.bin     | missing | 0"
  "trep     | split | join0002.trp | missing | 0"
  "Trep.exe | join  | join.bin     | victim  | 0"
  "Trep.exe | join  | join.bin     | missing | 0"
  "Trep.exe | split | join0002.trp | missing | 0"
)
for row in "${LINK_ANSWERED_CASES[@]}"; do
  read_row "$row" k_prog k_job k_name k_target k_exit
  new_case join.bin
  run "$TREP" /i=join.bin /o=s /s=4 /q
  echo "the victim" >victim
  ln -s "$PWD/$k_target" "out/$k_name"
  program=$(program_named "$k_prog")
  if [ "$k_job" = join ]; then
    args=("/i=$(in_arg "$program" s/join0001.trp)" /o=out)
  else
    args=("/i=$(in_arg "$program" join.bin)" /o=out /s=4)
  fi
  if [ "$k_prog" = Trep.exe ]; then
    run_answered 1 1 -- "$program" "${args[@]}"  # "Overwrite it", then "Finished"
    expect_eq "the boxes answered" "$(box_text "File already exists." "Overwrite it" "Abort procedure")|$(box_text Finished OK "Open ReadMe")" \
      "$(paste -sd '|' <<<"$BOXES")"
  else
    ANSWERS='1\n'
    run "$program" "${args[@]}"
    ANSWERS=
    expect_has "stderr" "$ERR" "File already exists."
  fi
  expect_eq "exit code" "$k_exit" "$RC"
  [ -L "out/$k_name" ] && fail_because "out/$k_name is still a link"
  [ -f "out/$k_name" ] || fail_because "out/$k_name is no file"
  expect_eq "the link's target" "$([ "$k_target" = victim ] && echo "the victim")" "$(cat "$k_target" 2>/dev/null)"
  expect_eq "hidden files left in out" "" "$(ls -A out | grep '^\.trep-')"
  if [ "$k_job" = join ]; then
    expect_same_bytes "rebuilt file" out/join.bin join.bin
  else
    expect_series "$PWD/out" join join.bin 4096
  fi
  report "$k_prog $k_job, out/$k_name a link to a $k_target file, \"Overwrite it\" -> exit $k_exit, the link replaced, its target as it was"
done

echo "# segments an earlier series left, told of by a headerless split"
for prog in trep Trep.exe; do
  wanted "$prog" || continue
  new_case small.bin
  writer=$(headerless_writer "$prog")
  for n in 4 5; do echo "earlier $n" >"out/smal000$n.trp"; done
  told="Segments \"smal0004.trp\" to \"smal0005.trp\" of an earlier series are still in the output folder. A rebuild of this series' headerless segments by Trep would append them: remove them first. (UnTrep.bat leaves them out.)"
  if [ "$prog" = Trep.exe ]; then
    run_answered 1 1 -- "$writer" "/i=$(in_arg "$writer" small.bin)" /o=out /s=1
    expect_eq "the boxes answered" "$(box_text "$told" OK "Open ReadMe")|$(box_text Finished OK "Open ReadMe")" \
      "$(paste -sd '|' <<<"$BOXES")"
  else
    run "$writer" /i=small.bin /o=out /s=1
    expect_has "stderr" "$ERR" "trep: $told"$'\n'"trep: Finished"
  fi
  expect_eq "exit code" 0 "$RC"
  expect_eq "the earlier segments" "earlier 4|earlier 5" "$(cat out/smal0004.trp out/smal0005.trp | paste -sd '|')"
  expect_eq "files in out" "UnTrep.bat smal0001.trp smal0002.trp smal0003.trp smal0004.trp smal0005.trp" \
    "$(ls -A out | paste -sd ' ')"
  cat out/smal0001.trp out/smal0002.trp out/smal0003.trp | cmp -s - small.bin ||
    fail_because "smal0001.trp .. smal0003.trp are not small.bin"
  report "$prog, a headerless split beside smal0004.trp and smal0005.trp -> told (no question), both kept"
done

finish_checks
