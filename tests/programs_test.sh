#!/usr/bin/env bash
# Whole-program tests: runs the built trep (native) and Trep.exe (Win32, under
# Wine) on small files and checks exit codes, the files they make and the
# bytes in them, then rebuilds series with both programs, with the test tools
# jobtool and jobtool.exe (scrambled series) and with Wine's cmd (UnTrep.bat).
#
#   tests/programs_test.sh           run every check
#   KEEP=1 tests/programs_test.sh    keep the work folder to look at after a failure
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
BUILT_TREP=${TREP_NATIVE:-$ROOT/build/native/trep}  # TREP_NATIVE: another build, e.g. sanitized
BUILT_EXE=$ROOT/build/win32/Trep.exe
WINE_RUN=$ROOT/scripts/wine-run.sh
JOBTOOL=$ROOT/build/native/jobtool
JOBTOOL_EXE=$ROOT/build/win32/jobtool.exe
ANSWER_EXE=$ROOT/build/win32/answer.exe
RUN_TIMEOUT=60  # seconds; only a guard against a hang, never an expectation

for f in "$BUILT_TREP" "$BUILT_EXE" "$WINE_RUN" "$JOBTOOL" "$JOBTOOL_EXE" "$ANSWER_EXE"; do
  if [ ! -f "$f" ]; then
    echo "programs_test: $f is missing; build with scripts/build.sh" >&2
    exit 2
  fi
done
for tool in wine wineserver Xvfb flock od cmp cksum split mkfifo stat timeout; do
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
  WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix} timeout 60 wineserver -w
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
  wait  # a lock holder still sleeping
  if [ "${KEEP:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# Wine makes its prefix on first use, with links to the user's home folders:
# that must happen with the real HOME, before HOME points into $WORK.
timeout 300 "$WINE_RUN" cmd /c exit 0 >/dev/null 2>&1

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
same_series "$trep_out" "$exe_out" big. 11
report "trep and Trep.exe make the same bytes, apart from creation and last-access times"

new_case readonly.bin
for program in "$TREP" "$EXE"; do
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
  "/o=out;/i=big.bin;/o=fresh;/q          |0| fresh         | big. | 512     | big.bin"
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
  "/o=out;/O=other;/i=small.bin;/s=1;/q   |0| out/small     | smal | 1       | small.bin"
  "/i=small.bin;/o=out;/S=1;/q            |0| out           | smal | 512     | small.bin"
  "/i=small.bin;/o=out;/s=1;/quiet        |0| out           | smal | 1       | small.bin"
  "/i={here}sub{sep}a;/o=out;/q           |0| out           | aXXX | 512     | sub/a"
  "/i=my file.bin;/o=out;/s=1;/q          |0| out           | myXf | 1       | my file.bin"
  "/o=out;/i=my file.bin;/q               |0| out/my file   | myXf | 512     | my file.bin"
  "/o=out;/i=arch.tar.gz;/q               |0| out/arch.tar  | arch | 512     | arch.tar.gz"
  "/o=nope;/i=small.bin;/q                |3|               |      |         |"
  "/i=small.bin;/o=nope/deep;/q           |3|               |      |         |"
)

for row in "${SWITCH_CASES[@]}"; do
  read_row "$row" c_args c_exit c_folder c_base c_kib c_file
  for program in "$TREP" "$EXE"; do
    new_case big.bin small.bin exact.bin sub/a "my file.bin" arch.tar.gz
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

# ============================================= 3. exit codes and states ===

echo "# runs that do no job (trep)"
# switches | exit | text expected on stdout | on stderr
# A file not taken is named with the reason: the system's for one that
# cannot be opened.
NO_JOB_CASES=(
  "                           |0| Usage: trep /i=FILE |"
  "/i=missing.bin;/o=out;/q   |2|                     | \"missing.bin\": it cannot be opened (No such file or directory)."
  "/i=xy;/o=out;/q            |2|                     | \"xy\": it cannot be opened (No such file or directory)."
  "/i=;/o=out;/q              |2|                     | \"\": it cannot be opened (No such file or directory)."
  "/i=./out;/o=out;/q         |2|                     | \"./out\": it cannot be opened (Is a directory)."
  "/i=empty.bin;/o=out;/q     |2|                     | \"empty.bin\": it is empty."
  "/i=ab;/o=out;/q            |2|                     | \"ab\": its name is too short."
  "/i=old.trp;/o=out;/q       |2|                     | \"old.trp\": its series was not taken."
  "/o=out;/s=5;/q             |2|                     | /i="
  "/q                         |2|                     | /i="
)
for row in "${NO_JOB_CASES[@]}"; do
  read_row "$row" n_args n_exit n_out n_err
  new_case empty.bin old.trp ab
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

new_case small.bin
echo "made before" >out/smal0002.trp
run "$EXE" /i=small.bin /o=out /s=1 /q
expect_eq "exit code" 99 "$RC"
expect_eq "smal0002.trp" "made before" "$(cat out/smal0002.trp)"
[ -e out/smal0003.trp ] && fail_because "smal0003.trp was made"
report "Trep.exe, smal0002.trp there, no message box can be shown -> aborted (99), file untouched"

echo "# quiet or not"
# program | switch | answers | text on stderr (empty: nothing at all)
QUIET_CASES=(
  "trep     | /q      |     |"
  "trep     | /quiet  |     |"
  "trep     | /Q      |     | Finished"
  "trep     |         |     | Finished"
  "trep     |         | 1\n | Finished"
  "Trep.exe |         |     | -"
)
for row in "${QUIET_CASES[@]}"; do
  read_row "$row" q_prog q_switch q_answers q_err
  [ "$q_prog" = trep ] && program=$TREP || program=$EXE
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
  DISPLAY=$XVFB_DISPLAY timeout "$RUN_TIMEOUT" "$WINE_RUN" "$ANSWER_EXE" --timeout=30 "${answers[@]}" \
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

echo "# scrambled series across the builds (jobtool and jobtool.exe, one engine)"
KEY=Quorin-42
SEG=4096  # join.bin in 4 KiB segments: 5
for tool_name in jobtool jobtool.exe; do
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
same_series "$WORK/keyed-jobtool" "$WORK/keyed-jobtool.exe" join 5
report "jobtool and jobtool.exe scramble alike: the same bytes, apart from read times"

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
#   rebuilt: "none" no file at all (an aborted join leaves nothing
#   part-made); "payloads" the series' payloads as they are; "original"
#   join.bin.
JOIN_EXIT_CASES=(
  "trep     | missing    | /q | -   | 99 | s/join0002.trp: No such file or directory | none"
  "trep     | missing    |    | -   | 99 | File Read Error; is Removable Media Ready? | none"
  "trep     | missing    |    | 2\n | 99 | File Read Error; is Removable Media Ready? | none"
  "trep     | back       |    | 1\n | 0  | File Read Error; is Removable Media Ready? | original"
  "trep     | flipped    |    | -   | 1  | CRC Failed      | payloads"
  "trep     | flipped    | /q | -   | 1  | (none)          | payloads"
  "trep     | unrecorded |    | -   | 0  | Finished        | payloads"
  "Trep.exe | missing    | /q | -   | 99 | -               | none"
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
