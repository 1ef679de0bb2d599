#!/usr/bin/env bash
# Bad input and faults, run against the built programs: hostile series
# (counts, names, texts, short headers), a disk that fills up in the middle
# of a segment, a folder that cannot be made, a wrong key, a series whose
# rebuilt name is one of its own segments, links at the names a job writes,
# pipes, devices and folders where files are read, signals in the middle of
# a job, a read-only file system (a private mount namespace), a reader of
# the messages that goes away, segments an earlier series left, large
# files. Each case checks the notice shown, the files left, and the exit
# code.
#
#   tests/reliability_test.sh                 run the cases
#   tests/reliability_test.sh --write-docs    also write docs/reliability.md from them
#   LARGE=0 tests/reliability_test.sh         leave out the multi-GiB files
set -u
export LC_ALL=C

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/windows-build.sh
source "$ROOT/scripts/windows-build.sh" || exit 2  # TREP_WIN_DIR: the Windows build this machine runs
echo "$TREP_WIN_WHY"
TREP=${TREP_NATIVE:-$ROOT/build/native/trep}
EXE=$TREP_WIN_DIR/Trep.exe
JOBTOOL=$ROOT/build/native/jobtool
WINE_RUN=$ROOT/scripts/wine-run.sh
WRITE_DOCS=0
[ "${1:-}" = "--write-docs" ] && WRITE_DOCS=1
for f in "$TREP" "$EXE" "$JOBTOOL"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "reliability_test: $f is missing; build first" >&2; exit 2; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/trep-reliability.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
timeout 300 "$WINE_RUN" cmd /c exit 0 >/dev/null 2>&1  # the prefix, made with the real HOME
export XDG_RUNTIME_DIR=$WORK/runtime HOME=$WORK/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY XDG_DESKTOP_DIR

FAILS=0
CHECKS=0
ROWS=()

check() {  # WHAT EXPECTED ACTUAL
  CHECKS=$((CHECKS + 1))
  if [ "$2" = "$3" ]; then
    echo "ok   $1"
  else
    FAILS=$((FAILS + 1))
    echo "FAIL $1: expected [$2], got [$3]"
  fi
}

# What the user saw first: the first notice line of trep's stderr.
first_notice() { grep -m1 '^trep: ' "$1" | sed 's/^trep: //' | tr -d '\r'; }

# The files below a folder, as "name (size)" in name order, or "nothing".
left_in() {
  local d=$1
  if [ ! -d "$d" ] || [ -z "$(ls -A "$d")" ]; then echo "nothing"; return; fi
  (cd "$d" && find . -type f -printf '%P (%s)\n' | sort | tr '\n' ',' | sed 's/,$//; s/,/, /g')
}

row() {  # CASE PROGRAM SEEN LEFT EXIT
  ROWS+=("| $1 | $2 | ${3:-nothing} | $4 | $5 |")
}

le32() {  # the four little-endian bytes of a number, for printf
  local v=$1
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255))
}
patch_bytes() {  # FILE OFFSET PRINTF-BYTES
  printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
patch_name() {  # FILE NAME: the original-name field, 300 bytes at 314
  dd if=/dev/zero of="$1" bs=1 seek=314 count=300 conv=notrunc status=none
  printf '%s' "$2" | dd of="$1" bs=1 seek=314 conv=notrunc status=none
}

# A fresh series of three segments with headers, from a 3000-byte file,
# in $WORK/case/series; the original in $WORK/case/data.bin.
new_series() {
  rm -rf "$WORK/case"
  mkdir -p "$WORK/case/series"
  head -c 3000 /dev/urandom > "$WORK/case/data.bin"
  (cd "$WORK/case" && "$TREP" /q /i=data.bin /o=series /s=1) </dev/null >/dev/null 2>&1
  [ -f "$WORK/case/series/data0003.trp" ] || echo "FAIL: the series could not be made"
}

# Joins with trep, quiet, stdin closed, into $WORK/case/out; sets RC.
join_trep() {
  mkdir -p "$WORK/case/out"
  (cd "$WORK/case" && "$TREP" /q "/i=series/$1" /o=out) </dev/null >"$WORK/case/stdout" 2>"$WORK/case/stderr"
  RC=$?
}
# The same with Trep.exe under Wine (no display: every notice takes its safe answer).
join_exe() {
  mkdir -p "$WORK/case/out"
  (cd "$WORK/case" && timeout 120 "$WINE_RUN" "$EXE" /q "/i=series\\$1" /o=out) </dev/null >/dev/null 2>&1
  RC=$?
}

echo "== counts in the header"
for count in 0 10000 4294967295; do
  for prog in trep Trep.exe; do
    new_series
    patch_bytes "$WORK/case/series/data0001.trp" 8 "$(le32 "$count")"
    if [ $prog = trep ]; then join_trep data0001.trp; else join_exe data0001.trp; fi
    seen=""
    [ $prog = trep ] && seen=$(first_notice "$WORK/case/stderr")
    [ $prog = trep ] && check "trep: count $count refused with its notice" \
      "The number of segments must be at least 2 and at most 9999." "$seen"
    # Quiet: a series not taken ends the run with the usage code, no window.
    check "$prog: count $count leaves no job" 2-nothing "$RC-$(left_in "$WORK/case/out")"
    [ $prog = Trep.exe ] && seen="(a notice, safe answer without a display)"
    row "header count $count" "$prog" "$seen" "$(left_in "$WORK/case/out")" "$RC"
  done
done

new_series
patch_bytes "$WORK/case/series/data0001.trp" 8 "$(le32 4)"
mkdir -p "$WORK/case/out"
# Not quiet, so the question is asked; stdin closed takes "Abort procedure".
(cd "$WORK/case" && "$TREP" /i=series/data0002.trp /o=out) </dev/null >/dev/null 2>"$WORK/case/stderr"
RC=$?
check "count 4 with three segments: the missing one aborts" 99 "$RC"
check "count 4: the read error is reported" "File Read Error; is Removable Media Ready?" \
  "$(first_notice "$WORK/case/stderr")"
check "count 4: nothing part-made is left" nothing "$(left_in "$WORK/case/out")"
check "count 4: no temporary file either" 0 "$(cd "$WORK/case/out" && ls -A | grep -c '^\.trep-')"
row "header count 4, three segments present" trep "$(first_notice "$WORK/case/stderr")" \
  "$(left_in "$WORK/case/out")" "$RC"

echo "== names in the header"
while IFS='|' read -r name expected; do
  for prog in trep Trep.exe; do
    new_series
    patch_name "$WORK/case/series/data0001.trp" "$name"
    if [ $prog = trep ]; then join_trep data0001.trp; else join_exe data0001.trp; fi
    outside=$(find "$WORK" -name 'evil*' -o -name 'passwd' -o -name 'x.dll' | grep -v "/case/out/" | head -1)
    check "$prog: name '$name' stays inside the output folder" "" "$outside"
    got=$(cd "$WORK/case/out" 2>/dev/null && find . -type f -printf '%P\n' | head -1)
    check "$prog: name '$name' rebuilds as $expected" "$expected" "$got"
    if [ -n "$got" ]; then
      cmp -s "$WORK/case/out/$got" "$WORK/case/data.bin"
      check "$prog: name '$name' rebuilds the bytes" 0 $?
    fi
    row "original name \`$name\`" "$prog" "" "$(left_in "$WORK/case/out")" "$([ $prog = trep ] && echo $RC || echo $RC)"
  done
done <<'EOF'
..\..\evil.txt|evil.txt
../../evil.txt|evil.txt
C:\Windows\x.dll|x.dll
/etc/passwd|passwd
...|data
CON|data
NUL|data
COM1|data
LPT1.txt|data
EOF

echo "== texts without a terminator"
new_series
long=$(head -c 300 /dev/zero | tr '\0' 'A')
printf '%s' "$long" | dd of="$WORK/case/series/data0001.trp" bs=1 seek=314 conv=notrunc status=none
printf '%s' "$long" | dd of="$WORK/case/series/data0001.trp" bs=1 seek=14 conv=notrunc status=none
join_trep data0001.trp
got=$(cd "$WORK/case/out" 2>/dev/null && find . -type f -printf '%P\n' | head -1)
check "a 300-character name is cut to what a file system takes" 255 "$(basename "$got" | tr -d '\n' | wc -c)"
check "a 300-character name: the bytes are rebuilt" 0 "$(cmp -s "$WORK/case/out/$got" "$WORK/case/data.bin"; echo $?)"
row "name and description of 300 characters, no terminator" trep "" "$(left_in "$WORK/case/out" | cut -c1-40)..." "$RC"

echo "== short headers"
for keep in 100 400 651; do
  new_series
  truncate -s "$keep" "$WORK/case/series/data0001.trp"
  join_trep data0001.trp
  seen=$(first_notice "$WORK/case/stderr")
  check "a header of $keep bytes is not reported as finished" 1 "$([ $RC -ne 0 ] && echo 1 || echo 0)"
  row "segment 0001 cut to $keep bytes" trep "$seen" "$(left_in "$WORK/case/out")" "$RC"
done

echo "== a rebuilt name that is one of the series' own segments"
new_series
patch_name "$WORK/case/series/data0001.trp" "data0002.trp"
before=$(cksum "$WORK/case/series/"* | cksum)
(cd "$WORK/case" && "$TREP" /q /i=series/data0001.trp /o=series) </dev/null >/dev/null 2>"$WORK/case/stderr"
RC=$?
check "joining into its own folder under a segment's name is refused" 99 "$RC"
check "the series is unchanged" "$before" "$(cksum "$WORK/case/series/"* | cksum)"
row "rebuilt name equal to segment 0002, output into the series' folder" trep \
  "$(first_notice "$WORK/case/stderr" | cut -c1-60)..." "the series, unchanged" "$RC"

echo "== wrong key"
rm -rf "$WORK/case" && mkdir -p "$WORK/case/series" "$WORK/case/out"
head -c 5000 /dev/urandom > "$WORK/case/data.bin"
"$JOBTOOL" split "$WORK/case/data.bin" "$WORK/case/series" 2 --key=right --crc >/dev/null 2>&1
"$JOBTOOL" join "$WORK/case/series/data0001.trp" "$WORK/case/out" --key=wrong --crc >/dev/null 2>&1
RC=$?
check "a wrong key ends with CRC Failed" 1 "$RC"
row "scrambled series joined with a wrong key" "engine (jobtool)" "CRC Failed" "$(left_in "$WORK/case/out")" "$RC"

echo "== a disk that fills up in the middle of a segment"
rm -rf "$WORK/case" && mkdir -p "$WORK/case/disk"
head -c 3000000 /dev/urandom > "$WORK/case/data.bin"
if unshare -m true 2>/dev/null; then
  # 2 MiB of room, 1 MiB of it taken: segment 0001 (1 MiB and its header) does not fit.
  unshare -m bash -c '
    mount -t tmpfs -o size=2m none "$1/disk" || exit 77
    head -c 1048576 /dev/zero > "$1/disk/filler"
    cd "$1" && "$2" /q /i=data.bin /o=disk/out /s=1024 </dev/null >/dev/null 2>"$1/stderr"
    echo $? > "$1/rc"
    ls -l disk/out > "$1/left"' _ "$WORK/case" "$TREP"
  RC=$(cat "$WORK/case/rc" 2>/dev/null || echo none)
  check "disk full, no one to answer: aborted" 99 "$RC"
  check "disk full: the write error is reported" "File Write Error. The disk might be full." \
    "$(grep -m1 '^trep: ' "$WORK/case/stderr" | sed 's/^trep: //')"
  left=$(awk 'NR>1{print $NF" ("$5")"}' "$WORK/case/left" | tr '\n' ',' | sed 's/,$//; s/,/, /g')
  row "disk full in segment 0001, stdin closed" trep "File Write Error. The disk might be full." \
    "${left:-nothing}" "$RC"

  # The same, answered: space is freed, then "OK" writes the chunk again.
  # 4 MiB of room, 2.5 MiB taken: segment 0002 fails; once the filler is
  # gone the rest fits. Later questions would find stdin closed.
  unshare -m bash -c '
    mount -t tmpfs -o size=4m none "$1/disk" || exit 77
    head -c 2621440 /dev/zero > "$1/disk/filler"
    mkfifo "$1/answers"
    cd "$1" || exit 1
    "$2" /q /i=data.bin /o=disk/out /s=1024 <"$1/answers" >/dev/null 2>"$1/stderr" &
    exec 3>"$1/answers"
    for i in $(seq 1 200); do grep -q "File Write Error" "$1/stderr" && break; sleep 0.05; done
    rm -f "$1/disk/filler"
    echo 1 >&3
    exec 3>&-
    wait $!
    echo $? > "$1/rc"
    { tail -c +653 disk/out/data0001.trp; tail -c +9 disk/out/data0002.trp; tail -c +9 disk/out/data0003.trp; } > "$1/joined" 2>/dev/null
    cmp -s "$1/joined" "$1/data.bin" && echo same > "$1/same"
    ls -l disk/out > "$1/left"' _ "$WORK/case" "$TREP"
  RC=$(cat "$WORK/case/rc" 2>/dev/null || echo none)
  check "disk full, space freed and OK: finished" 0 "$RC"
  check "disk full, space freed and OK: asked once" 1 "$(grep -c 'File Write Error' "$WORK/case/stderr")"
  # The payloads, after 652 and 8 header bytes, are the original.
  check "disk full, space freed and OK: the payloads are the original" same "$(cat "$WORK/case/same" 2>/dev/null)"
  row "disk full in segment 0002, space freed, answered OK" trep \
    "File Write Error. The disk might be full." \
    "$(awk 'NR>1{print $NF" ("$5")"}' "$WORK/case/left" | tr '\n' ',' | sed 's/,$//; s/,/, /g')" "$RC"
else
  echo "skip the full disk: no private mount namespace here"
fi

echo "== an output folder that cannot be made"
rm -rf "$WORK/case" && mkdir -p "$WORK/case"
head -c 1000 /dev/urandom > "$WORK/case/data.bin"
(cd "$WORK/case" && "$TREP" /q /i=data.bin /o=missing/deeper) </dev/null >/dev/null 2>"$WORK/case/stderr"
RC=$?
check "a folder below a missing one ends with exit code 3" 3 "$RC"
row "output folder below a missing folder" trep "nothing (quiet); \"Directory creation error\" otherwise" \
  "$(left_in "$WORK/case/missing")" "$RC"

echo "== a second instance while the first still runs"
rm -rf "$WORK/case" && mkdir -p "$WORK/case"
head -c 1000 /dev/urandom > "$WORK/case/data.bin"
# trep: the lock is held by another process for the whole wait.
flock "$XDG_RUNTIME_DIR/Trep.exe.lock" sleep 7 &
holder=$!
sleep 0.3
(cd "$WORK/case" && "$TREP" /q /i=data.bin /o=out-trep) </dev/null >/dev/null 2>"$WORK/case/stderr"
RC=$?
wait $holder
check "trep: a second instance ends with exit code 4" 4 "$RC"
check "trep: ... and makes nothing" nothing "$(left_in "$WORK/case/out-trep")"
row "a second trep while another holds the lock for more than 5 s" trep \
  "$(first_notice "$WORK/case/stderr")" "$(left_in "$WORK/case/out-trep")" "$RC"
# Trep.exe: the first one keeps its main window open on a virtual display.
if command -v Xvfb >/dev/null; then
  WINEPREFIX=${WINEPREFIX:-$TREP_WINE_PREFIX} timeout 60 wineserver -w
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
  xvfb=$!
  for i in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.05; done
  export DISPLAY=:$(tr -dc 0-9 <"$WORK/display")
  "$WINE_RUN" "$EXE" >/dev/null 2>&1 &
  first=$!
  sleep 3
  (cd "$WORK/case" && timeout 60 "$WINE_RUN" "$EXE" /q /i=data.bin /o=out-exe) </dev/null >/dev/null 2>&1
  RC=$?
  kill $first 2>/dev/null
  WINEPREFIX=${WINEPREFIX:-$TREP_WINE_PREFIX} wineserver -k 2>/dev/null
  wait $first 2>/dev/null
  kill $xvfb 2>/dev/null
  wait $xvfb 2>/dev/null
  unset DISPLAY
  check "Trep.exe: a second instance ends with exit code 4" 4 "$RC"
  check "Trep.exe: ... and makes nothing" nothing "$(left_in "$WORK/case/out-exe")"
  row "a second Trep.exe while the first shows its window" Trep.exe "nothing" \
    "$(left_in "$WORK/case/out-exe")" "$RC"
fi

# ------------------------------------------------------------------------
# Links, odd files, interrupted jobs, a read-only file system: the files a
# job makes appear under their names only when complete, never through a
# link; only regular files are read; a failure says which file and why.

# Hidden temporary files a job left in a folder (it must leave none).
temps_in() { (cd "$1" 2>/dev/null && ls -A | grep -c '^\.trep-'); }
# What stands at a name: "link to TARGET", "file (SIZE)", "folder" or "nothing".
what_is() {
  if [ -L "$1" ]; then echo "link to $(readlink "$1")"
  elif [ -f "$1" ]; then echo "file ($(stat -c %s "$1"))"
  elif [ -d "$1" ]; then echo "folder"
  else echo "nothing"; fi
}
# A copy of a program in DIR with a dTrep.dat beside it: rebuildMethod 1
# (headerless segments and UnTrep.bat), the other options at their defaults.
headerless_copy() {  # PROGRAM DIR
  mkdir -p "$2"
  cp "$1" "$2/"
  {
    printf 'TREP1600'
    for v in 0 1 2 1 0 0 2 0 0 0 48 3; do printf "$(le32 $v)"; done
    printf '\0\0'
  } >"$2/dTrep.dat"
}
# The switches as Trep.exe takes them: backslashes in the paths after "=".
win_args() {
  local a v
  WIN_ARGS=()
  for a in "$@"; do
    if [[ $a == /?=* ]]; then v=${a:3}; WIN_ARGS+=("${a:0:3}${v//\//\\}"); else WIN_ARGS+=("$a"); fi
  done
}

echo "== links at the names a job writes"
# program | job | name (in out/) | link target | stdin | exit | the name afterwards
#   job: "join" rebuilds data.bin from series/data0001.trp into out;
#   "split" cuts data.bin into out in 1 KiB segments; "split-bat" the same
#   by a copy whose settings ask for headerless segments and UnTrep.bat.
#   target: "victim" an existing file outside out; "missing" a file that
#   does not exist. stdin: answers for trep ("-": closed); Trep.exe has no
#   display, so every question takes its safe answer.
LINK_CASES=(
  "trep     | join      | data.bin     | victim  | -  | 99 | link"
  "trep     | join      | data.bin     | victim  | 1  | 0  | file"
  "trep     | join      | data.bin     | missing | -  | 99 | link"
  "trep     | join      | data.bin     | missing | 1  | 0  | file"
  "trep     | split     | data0002.trp | victim  | 1  | 0  | file"
  "trep     | split     | data0002.trp | missing | -  | 99 | link"
  "trep     | split-bat | UnTrep.bat   | victim  | -  | 0  | file"
  "Trep.exe | join      | data.bin     | victim  | -  | 99 | link"
  "Trep.exe | join      | data.bin     | missing | -  | 99 | link"
  "Trep.exe | split     | data0002.trp | missing | -  | 99 | link"
  "Trep.exe | split-bat | UnTrep.bat   | victim  | -  | 0  | file"
)
for c in "${LINK_CASES[@]}"; do
  IFS='|' read -r l_prog l_job l_name l_target l_input l_exit l_after <<<"$c"
  for v in l_prog l_job l_name l_target l_input l_exit l_after; do
    printf -v "$v" '%s' "$(echo "${!v}" | xargs)"
  done
  new_series
  mkdir -p "$WORK/case/out"
  echo "the victim" >"$WORK/case/victim"
  target=$WORK/case/$l_target
  ln -s "$target" "$WORK/case/out/$l_name"
  program=$TREP
  [ "$l_prog" = Trep.exe ] && program=$EXE
  case $l_job in
    join) args=("/i=series/data0001.trp" /o=out /q) ;;
    split) args=(/i=data.bin /o=out /s=1 /q) ;;
    split-bat)
      headerless_copy "$program" "$WORK/case/bin"
      program=$WORK/case/bin/$(basename "$program")
      args=(/i=data.bin /o=out /s=1 /q)
      ;;
  esac
  [ "$l_prog" = Trep.exe ] && win_args "${args[@]}" && args=("${WIN_ARGS[@]}")
  input=/dev/null
  if [ "$l_input" != - ]; then printf '%s\n' "$l_input" >"$WORK/case/answers"; input=$WORK/case/answers; fi
  if [ "$l_prog" = trep ]; then
    (cd "$WORK/case" && timeout 60 "$program" "${args[@]}") <"$input" >/dev/null 2>"$WORK/case/stderr"
  else
    (cd "$WORK/case" && timeout 120 "$WINE_RUN" "$program" "${args[@]}") </dev/null >/dev/null 2>&1
  fi
  RC=$?
  answered="answer $l_input"
  [ "$l_input" = - ] && answered="stdin closed"
  what="$l_prog $l_job, out/$l_name a link to a $l_target file, $answered"
  check "$what: exit code" "$l_exit" "$RC"
  after=$(what_is "$WORK/case/out/$l_name")
  if [ "$l_after" = link ]; then
    check "$what: the link is as it was" "link to $target" "$after"
  else
    check "$what: a file replaced the link" file "${after%% *}"
  fi
  if [ "$l_target" = victim ]; then
    check "$what: the link's target is untouched" "the victim" "$(cat "$WORK/case/victim")"
  else
    check "$what: the link's target is not made" nothing "$(what_is "$target")"
  fi
  check "$what: no temporary file left" 0 "$(temps_in "$WORK/case/out")"
  [ "$l_job" = join ] && [ "$l_after" = file ] &&
    check "$what: the rebuilt file is the original" 0 "$(cmp -s "$WORK/case/out/data.bin" "$WORK/case/data.bin"; echo $?)"
  seen=""
  [ "$l_prog" = trep ] && seen=$(first_notice "$WORK/case/stderr")
  [ "$l_prog" = trep ] && [ "$l_name" != UnTrep.bat ] && check "$what: asked first" "File already exists." "$seen"
  [ "$l_name" = UnTrep.bat ] && seen="nothing (replaced unasked, as any UnTrep.bat)"
  [ "$l_prog" = Trep.exe ] && [ "$l_name" != UnTrep.bat ] && seen="(no display: the question takes \"Abort procedure\")"
  if [ "$l_target" = victim ]; then
    [ "$(cat "$WORK/case/victim")" = "the victim" ] && fate="untouched" || fate="changed"
  else
    [ -e "$target" ] && fate="made" || fate="not made"
  fi
  row "$l_job, out/$l_name a link to a $l_target file, $answered" "$l_prog" "$seen" \
    "out/$l_name: $(what_is "$WORK/case/out/$l_name" | sed "s|$WORK/case/||"); its target $fate" "$RC"
done

echo "== what is no regular file: a pipe, a device, a folder"
# program | what | where | switches | exit | trep's first line
#   With /q and no recovery files, a segment that is no file is refused
#   before anything is written (exit 6), as a missing one.
#   where: "source" data.bin; "segment" series/data0002.trp of the series
#   joined from series/data0001.trp; "settings" dTrep.dat beside a copy of
#   the program, which splits data.bin.
ODD_CASES=(
  "trep     | pipe   | source   | /q | 2  | \"fifo.bin\": it cannot be opened (Not a regular file)."
  "trep     | device | source   | /q | 2  | \"/dev/zero\": it cannot be opened (Not a regular file)."
  "trep     | pipe   | segment  | /q | 6  | The series cannot be joined: segment 0002 is no file (series/data0002.trp: Not a regular file), and no recovery files of this series are here to rebuild it."
  "trep     | pipe   | segment  |    | 99 | File Read Error; is Removable Media Ready?"
  "trep     | folder | segment  | /q | 6  | The series cannot be joined: segment 0002 is no file (series/data0002.trp: Is a directory), and no recovery files of this series are here to rebuild it."
  "trep     | pipe   | settings | /q | 0  | WHERE/dTrep.dat: Not a regular file; the default settings are used."
  "Trep.exe | pipe   | source   | /q | 2  | -"
  "Trep.exe | pipe   | segment  | /q | 6  | -"
  "Trep.exe | pipe   | settings | /q | 0  | -"
)
for c in "${ODD_CASES[@]}"; do
  IFS='|' read -r o_prog o_what o_where o_switch o_exit o_said <<<"$c"
  for v in o_prog o_what o_where o_switch o_exit; do printf -v "$v" '%s' "$(echo "${!v}" | xargs)"; done
  o_said=$(echo "$o_said" | sed 's/^ *//; s/ *$//')
  new_series
  mkdir -p "$WORK/case/out"
  program=$TREP
  [ "$o_prog" = Trep.exe ] && program=$EXE
  case $o_where in
    source)
      if [ "$o_what" = pipe ]; then mkfifo "$WORK/case/fifo.bin"; src=fifo.bin; else src=/dev/zero; fi
      args=("/i=$src" /o=out /s=1)
      ;;
    segment)
      rm "$WORK/case/series/data0002.trp"
      if [ "$o_what" = pipe ]; then mkfifo "$WORK/case/series/data0002.trp"; else mkdir "$WORK/case/series/data0002.trp"; fi
      args=(/i=series/data0001.trp /o=out)
      ;;
    settings)
      mkdir -p "$WORK/case/bin"
      cp "$program" "$WORK/case/bin/"
      program=$WORK/case/bin/$(basename "$program")
      mkfifo "$WORK/case/bin/dTrep.dat"
      args=(/i=data.bin /o=out /s=1)
      o_said=${o_said/WHERE/$WORK/case/bin}
      ;;
  esac
  [ -n "$o_switch" ] && args+=("$o_switch")
  started=$(date +%s%N)
  if [ "$o_prog" = trep ]; then
    (cd "$WORK/case" && timeout 20 "$program" "${args[@]}") </dev/null >/dev/null 2>"$WORK/case/stderr"
  else
    win_args "${args[@]}"
    (cd "$WORK/case" && timeout 60 "$WINE_RUN" "$program" "${WIN_ARGS[@]}") </dev/null >/dev/null 2>&1
  fi
  RC=$?
  ms=$((($(date +%s%N) - started) / 1000000))
  what="$o_prog: a $o_what as $o_where${o_switch:+ ($o_switch)}"
  check "$what: ends by itself" 1 "$([ "$RC" != 124 ] && echo 1 || echo 0)"
  [ "$o_exit" != - ] && check "$what: exit code" "$o_exit" "$RC"
  seen=""
  if [ "$o_prog" = trep ]; then
    seen=$(first_notice "$WORK/case/stderr")
    check "$what: says so" "$o_said" "$seen"
    seen=${seen//$WORK\/case\//}
    [ "$o_where" = segment ] && [ -z "$o_switch" ] &&
      check "$what: the question says which file and why" 1 \
        "$(grep -c "^trep: series/data0002.trp: Not a regular file$" "$WORK/case/stderr")"
  fi
  if [ "$o_where" = settings ]; then
    check "$what: the split ran with the default settings" 3 "$(ls "$WORK/case/out"/*.trp 2>/dev/null | wc -l)"
  else
    check "$what: nothing made" "nothing" "$(left_in "$WORK/case/out")"
  fi
  [ -e "$WORK/case/fifo.bin" ] && check "$what: the pipe stays" 1 "$([ -p "$WORK/case/fifo.bin" ] && echo 1)"
  row "a $o_what as the $o_where${o_switch:+, $o_switch}" "$o_prog" "${seen:-nothing}" \
    "$(left_in "$WORK/case/out")" "$([ "$RC" = 124 ] && echo "did not end" || echo "$RC") (ended within $((ms / 1000 + 1)) s)"
done

echo "== interrupted jobs (trep, real signals)"
# A series large enough that a join is caught in the middle: 256 MiB in
# segments of 32 MiB.
rm -rf "$WORK/sig" && mkdir -p "$WORK/sig/series"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$WORK/sig/big.bin"
(cd "$WORK/sig" && "$TREP" /q /i=big.bin /o=series /s=32768) </dev/null >/dev/null 2>&1
# run_until PATTERN SIGNAL ARGS...: runs trep in $WORK/sig with "1" on
# stdin (replace the old file), waits until a name matching PATTERN shows
# in out/, sends SIGNAL; sets RC, SEEN (whether the name was seen first).
run_until() {
  local pattern=$1 sig=$2 pid i
  shift 2
  printf '1\n' >"$WORK/sig/answers"
  (cd "$WORK/sig" && exec "$TREP" "$@") <"$WORK/sig/answers" >/dev/null 2>"$WORK/sig/stderr" &
  pid=$!
  SEEN=0
  for ((i = 0; i < 3000; i++)); do  # a guard only
    if ls -A "$WORK/sig/out" 2>/dev/null | grep -q "$pattern"; then SEEN=1; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.01
  done
  kill "-$sig" "$pid" 2>/dev/null
  wait "$pid"
  RC=$?
}
for sig in TERM INT HUP; do
  rm -rf "$WORK/sig/out" && mkdir -p "$WORK/sig/out"
  echo "made before" >"$WORK/sig/out/big.bin"
  run_until '^\.trep-' "$sig" /i=series/big.0001.trp /o=out
  num=$(kill -l "$sig")
  check "SIG$sig in the middle of a join: caught while writing" 1 "$SEEN"
  check "SIG$sig in the middle of a join: ends by the signal" $((128 + num)) "$RC"
  check "SIG$sig in the middle of a join: no temporary file left" 0 "$(temps_in "$WORK/sig/out")"
  check "SIG$sig in the middle of a join: the old big.bin as it was" "made before" "$(cat "$WORK/sig/out/big.bin")"
  row "SIG$sig during a join (256 MiB), out/big.bin there, answer 1 (replace)" trep \
    "File already exists." "$(left_in "$WORK/sig/out") — the old file" "$RC ($((128 + num)) = 128 + SIG$sig)"
done

# The signal while a question waits for its answer (stdin stays open).
rm -rf "$WORK/sig/out" && mkdir -p "$WORK/sig/out"
echo "made before" >"$WORK/sig/out/big.bin"
mv "$WORK/sig/series/big.0005.trp" "$WORK/sig/held"
rm -f "$WORK/sig/fifo" && mkfifo "$WORK/sig/fifo"
(cd "$WORK/sig" && exec "$TREP" /i=series/big.0001.trp /o=out) <"$WORK/sig/fifo" >/dev/null 2>"$WORK/sig/stderr" &
pid=$!
exec 7>"$WORK/sig/fifo"
echo 1 >&7  # "Overwrite it"; later questions wait
for ((i = 0; i < 3000; i++)); do grep -q "File Read Error" "$WORK/sig/stderr" && break; sleep 0.01; done
started=$(date +%s%N)
kill -TERM "$pid"
wait "$pid"
RC=$?
ms=$((($(date +%s%N) - started) / 1000000))
exec 7>&-
mv "$WORK/sig/held" "$WORK/sig/series/big.0005.trp"
check "SIGTERM while a question waits: ends by the signal" 143 "$RC"
check "SIGTERM while a question waits: no temporary file left" 0 "$(temps_in "$WORK/sig/out")"
check "SIGTERM while a question waits: the old big.bin as it was" "made before" "$(cat "$WORK/sig/out/big.bin")"
echo "     (ended ${ms} ms after the signal)"
row "SIGTERM while \"File Read Error\" waits for segment 0005 (stdin open)" trep \
  "File Read Error; is Removable Media Ready?" "$(left_in "$WORK/sig/out") — the old file" "$RC"

# A split: the segment being written goes, those before it stay complete.
rm -rf "$WORK/sig/out"
run_until '^big\.0002\.trp$' TERM /q /i=big.bin /o=out /s=32768
check "SIGTERM in the middle of a split: ends by the signal" 143 "$RC"
check "SIGTERM in the middle of a split: no temporary file left" 0 "$(temps_in "$WORK/sig/out")"
complete=1
n=0
for f in "$WORK/sig/out"/big.*.trp; do
  n=$((n + 1))
  cmp -s "$f" "$WORK/sig/series/$(basename "$f")" || complete=0
done
check "SIGTERM in the middle of a split: every segment left is complete" 1 "$complete"
check "SIGTERM in the middle of a split: fewer than all eight" 1 "$([ "$n" -lt 8 ] && echo 1)"
row "SIGTERM during a split (256 MiB in segments of 32 MiB)" trep "nothing (/q)" \
  "$n complete segments, no part of the next" "$RC"
rm -rf "$WORK/sig"

echo "== a read-only file system"
if unshare -m true 2>/dev/null; then
  rm -rf "$WORK/case" && mkdir -p "$WORK/case/ro"
  head -c 3000 /dev/urandom >"$WORK/case/data.bin"
  (cd "$WORK/case" && "$TREP" /q /i=data.bin /o=series /s=1) </dev/null >/dev/null 2>&1
  # Each run in a namespace of its own, with the folder "ro" mounted read-only
  # (holding an empty folder "out"); "yes 1" answers every question "OK".
  ro_run() {  # INPUT ARGS...: INPUT "yes" or "-"; sets RC, MS, and $WORK/case/stderr
    unshare -m bash -c '
      case=$1 input=$2
      shift 2
      mount -t tmpfs -o size=1m none "$case/ro" && mkdir "$case/ro/out" &&
        mount -o remount,ro "$case/ro" || exit 77
      cd "$case" || exit 77
      started=$(date +%s%N)
      if [ "$input" = yes ]; then yes 1 | timeout 60 "$@"; rc=${PIPESTATUS[1]}; else timeout 60 "$@" </dev/null; rc=$?; fi
      echo $(( ($(date +%s%N) - started) / 1000000 )) >"$case/ms"
      exit $rc' _ "$WORK/case" "$@" >/dev/null 2>"$WORK/case/stderr"
    RC=$?
    MS=$(cat "$WORK/case/ms" 2>/dev/null)
  }
  # switches | stdin | exit | trep's lines on stderr, "|" between them
  RO_CASES=(
    "/i=data.bin;/o=ro/out;/s=1             | yes | 99 | File Write Error. The disk might be full.|ro/out/data0001.trp: Read-only file system"
    "/i=series/data0001.trp;/o=ro/out       | yes | 99 | File Write Error. The disk might be full.|ro/out/data.bin: Read-only file system"
    "/q;/i=series/data0001.trp;/o=ro/out    | -   | 99 | File Write Error. The disk might be full.|ro/out/data.bin: Read-only file system"
    "/q;/i=data.bin;/o=ro/new               | -   | 3  | ro/new: Read-only file system"
    "/i=data.bin;/o=ro/new                  | -   | 3  | Directory creation error|ro/new: Read-only file system"
  )
  for c in "${RO_CASES[@]}"; do
    IFS='|' read -r r_args r_input r_exit r_said <<<"$c"
    r_args=$(echo "$r_args" | xargs); r_input=$(echo "$r_input" | xargs); r_exit=$(echo "$r_exit" | xargs)
    r_said=$(echo "$r_said" | sed 's/^ *//; s/ *$//')
    IFS=';' read -r -a args <<<"$r_args"
    ro_run "$r_input" "$TREP" "${args[@]}"
    [ "$r_input" = yes ] && what="yes 1 | trep ${r_args//;/ }" || what="trep ${r_args//;/ }, stdin closed"
    check "$what: exit code" "$r_exit" "$RC"
    check "$what: says which file and why" "$r_said" \
      "$(grep '^trep: ' "$WORK/case/stderr" | sed 's/^trep: //' | grep -v '^the same failure' | head -2 | paste -sd '|')"
    check "$what: asked at most once" 1 "$([ "$(grep -c '^  1) ' "$WORK/case/stderr")" -le 1 ] && echo 1)"
    echo "     (ended after ${MS} ms)"
    row "\`${what//|/\\|}\` on a read-only file system" trep "${r_said//|/ / }" "nothing" "$RC (in ${MS} ms)"
  done

  # Trep.exe, with a Wine session of its own inside the namespace (the
  # program's files are opened by wineserver, which must see the mount),
  # ended there too: a server left running would serve the next run.
  export WINEPREFIX=${WINEPREFIX:-$TREP_WINE_PREFIX}
  timeout 60 wineserver -w
  # no display: the question takes "Abort procedure"; with one, answer.exe
  # presses "OK" three times and the job ends at the fourth failure.
  for mode in none display; do
    if [ $mode = display ]; then
      command -v Xvfb >/dev/null || continue
      Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
      xvfb=$!
      for i in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.05; done
      export DISPLAY=:$(tr -dc 0-9 <"$WORK/display")
    fi
    unshare -m bash -c '
      mount -t tmpfs -o size=1m none "$1/ro" && mkdir "$1/ro/out" && mount -o remount,ro "$1/ro" || exit 77
      cd "$1" || exit 77
      helper=
      if [ -n "${DISPLAY:-}" ]; then
        timeout 60 "$2" "$4" --timeout=40 1 1 1 >"$1/boxes" 2>/dev/null &
        helper=$!
      fi
      started=$(date +%s%N)
      timeout 60 "$2" "$3" /i=data.bin "/o=ro\out" /s=1 </dev/null >/dev/null 2>&1
      rc=$?
      echo $(( ($(date +%s%N) - started) / 1000000 )) >"$1/ms"
      [ -n "$helper" ] && wait $helper
      wineserver -k; wineserver -w
      exit $rc' _ "$WORK/case" "$WINE_RUN" "$EXE" "$TREP_WIN_DIR/answer.exe"
    RC=$?
    MS=$(cat "$WORK/case/ms" 2>/dev/null)
    if [ $mode = display ]; then
      kill $xvfb 2>/dev/null
      wait $xvfb 2>/dev/null
      unset DISPLAY
      boxes=$(tr -d '\r' <"$WORK/case/boxes" | grep -c 'File Write Error')
      check "Trep.exe on a read-only file system, OK three times: asked three times" 3 "$boxes"
      check "Trep.exe on a read-only file system, OK three times: then aborted" 99 "$RC"
      row "Trep.exe, a split into a folder of a read-only file system, \"OK\" to every question" Trep.exe \
        "File Write Error. The disk might be full. (three times)" nothing "$RC (in ${MS} ms)"
    else
      check "Trep.exe on a read-only file system, no display: aborted" 99 "$RC"
      row "Trep.exe, a split into a folder of a read-only file system, no display" Trep.exe \
        "(no display: the question takes \"Abort procedure\")" nothing "$RC (in ${MS} ms)"
    fi
  done
else
  echo "skip the read-only file system: no private mount namespace here"
fi

echo "== a reader of the messages that goes away"
rm -rf "$WORK/case" && mkdir -p "$WORK/case"
head -c 3000 /dev/urandom >"$WORK/case/data.bin"
# Not quiet: the progress and the "Finished" notice are written to stderr.
(cd "$WORK/case" && timeout 60 "$TREP" /i=data.bin /o=out /s=1 </dev/null 2>&1 | head -c0
  exit "${PIPESTATUS[0]}")
RC=$?
check "trep 2>&1 | head -c0: exit code" 0 "$RC"
check "trep 2>&1 | head -c0: the series is made" 3 "$(ls "$WORK/case/out" | wc -l)"
row "trep (not quiet) 2>&1 \| head -c0" trep "nothing (no one reads)" "$(left_in "$WORK/case/out")" "$RC"
rm -rf "$WORK/case/out"
(cd "$WORK/case" && timeout 60 "$TREP" /i=data.bin /o=out /s=1 </dev/null 2>&-)
RC=$?
check "trep 2>&- (stderr closed): exit code" 0 "$RC"
row "trep (not quiet) 2>&- (stderr closed)" trep "nothing" "$(left_in "$WORK/case/out")" "$RC"

echo "== segments an earlier series left"
for prog in trep Trep.exe; do
  rm -rf "$WORK/case" && mkdir -p "$WORK/case/out"
  head -c 3000 /dev/urandom >"$WORK/case/data.bin"
  for n in 4 5; do echo "earlier $n" >"$WORK/case/out/data000$n.trp"; done
  if [ $prog = trep ]; then
    headerless_copy "$TREP" "$WORK/case/bin"
    (cd "$WORK/case" && timeout 60 bin/trep /i=data.bin /o=out /s=1) </dev/null >/dev/null 2>"$WORK/case/stderr"
  else
    headerless_copy "$EXE" "$WORK/case/bin"
    (cd "$WORK/case" && timeout 120 "$WINE_RUN" "$WORK/case/bin/Trep.exe" /i=data.bin /o=out /s=1) </dev/null >/dev/null 2>&1
  fi
  RC=$?
  check "$prog: a split beside segments 0004 and 0005 of an earlier series: exit code" 0 "$RC"
  check "$prog: ... they are kept" "earlier 4|earlier 5" "$(cat "$WORK/case/out/data0004.trp" "$WORK/case/out/data0005.trp" | paste -sd '|')"
  seen="(no display: not seen)"
  if [ $prog = trep ]; then
    seen=$(first_notice "$WORK/case/stderr")
    check "$prog: ... and told of" "Segments \"data0004.trp\" to \"data0005.trp\" of an earlier series are still in the output folder. A rebuild of this series' headerless segments by Trep would append them: remove them first. (UnTrep.bat leaves them out.)" "$seen"
    check "$prog: ... without waiting for an answer" "trep: Finished" \
      "$(grep -A1 'of an earlier series' "$WORK/case/stderr" | tail -1)"
  fi
  row "a headerless split of 3 segments beside segments 0004 and 0005 of an earlier series" "$prog" \
    "$seen" "$(left_in "$WORK/case/out")" "$RC"
done

echo "== the folder of a \"Directory creation error\""
rm -rf "$WORK/case" && mkdir -p "$WORK/case"
head -c 1000 /dev/urandom >"$WORK/case/data.bin"
(cd "$WORK/case" && "$TREP" /i=data.bin /o=missing/deeper) </dev/null >/dev/null 2>"$WORK/case/stderr"
RC=$?
check "not quiet: the notice, then the folder and why" \
  "Directory creation error|missing/deeper: No such file or directory" \
  "$(grep '^trep: ' "$WORK/case/stderr" | sed 's/^trep: //' | paste -sd '|')"
row "output folder below a missing folder, not quiet, stdin closed" trep \
  "Directory creation error / missing/deeper: No such file or directory" "$(left_in "$WORK/case/missing")" "$RC"

if [ "${LARGE:-1}" = 1 ]; then
  echo "== large files"
  for size in 4294967296 5368709120; do
    rm -rf "$WORK/case" && mkdir -p "$WORK/case/series" "$WORK/case/out"
    truncate -s "$size" "$WORK/case/big.bin"
    printf 'start' | dd of="$WORK/case/big.bin" conv=notrunc status=none
    printf 'end' | dd of="$WORK/case/big.bin" bs=1 seek=$((size - 3)) conv=notrunc status=none
    (cd "$WORK/case" && "$TREP" /q /i=big.bin /o=series /s=2097152) </dev/null >/dev/null 2>&1
    RC=$?
    count=$(od -An -tu4 -j8 -N4 "$WORK/case/series/big.0001.trp" | tr -d ' ')
    low=$(od -An -tu4 -j614 -N4 "$WORK/case/series/big.0001.trp" | tr -d ' ')
    high=$(od -An -tu4 -j618 -N4 "$WORK/case/series/big.0001.trp" | tr -d ' ')
    check "$size bytes: split" 0 "$RC"
    check "$size bytes: count and size halves" "$(( (size + 2147483647) / 2147483648 ))-$((size & 0xFFFFFFFF))-$((size >> 32))" "$count-$low-$high"
    (cd "$WORK/case" && "$TREP" /q /i=series/big.0002.trp /o=out) </dev/null >/dev/null 2>&1
    RC=$?
    check "$size bytes: rebuilt by trep" 0 "$RC"
    cmp -s "$WORK/case/big.bin" "$WORK/case/out/big.bin"
    check "$size bytes: identical" 0 $?
    rm -f "$WORK/case/out/big.bin"
    (cd "$WORK/case" && timeout 900 "$WINE_RUN" "$EXE" /q "/i=series\\big.0002.trp" /o=out) </dev/null >/dev/null 2>&1
    check "$size bytes: rebuilt by Trep.exe" 0 $?
    cmp -s "$WORK/case/big.bin" "$WORK/case/out/big.bin"
    check "$size bytes: identical from Trep.exe" 0 $?
    row "a source of $size bytes, segments of 2 GiB" "trep, Trep.exe" "" \
      "$count segments; the rebuilt file, identical" "$RC"
    # The same bytes through pipes: the count, the size halves and the
    # checksum are known only when the input ends, and must be those of the
    # file's own split.
    fields() { od -An -tu4 -j8 -N4 "$1" | tr -d ' '; od -An -tx1 -j614 -N12 "$1" | tr -d ' \n'; }
    want=$(fields "$WORK/case/series/big.0001.trp")
    rm -rf "$WORK/case/series" "$WORK/case/out"
    (cd "$WORK/case" && cat big.bin | "$TREP" split - --name big.bin -s 2G -o stream -q) </dev/null 2>"$WORK/case/stderr"
    RC=$?
    check "$size bytes through a pipe: split" "0 " "$RC $(head -c 200 "$WORK/case/stderr")"
    check "$size bytes through a pipe: count, size halves and checksum as the file's split" "$want" \
      "$(fields "$WORK/case/stream/big.0001.trp" 2>/dev/null)"
    (cd "$WORK/case" && "$TREP" join stream/big.0001.trp -o - | cmp -s - big.bin; echo "${PIPESTATUS[*]}") </dev/null \
      >"$WORK/case/codes" 2>/dev/null
    check "$size bytes through a pipe: joined to stdout (trep's exit, cmp's)" "0 0" "$(cat "$WORK/case/codes")"
    row "a source of $size bytes through a pipe, trep split - / trep join -o -" trep "" \
      "the same header fields as the file's split; the bytes out, identical" "$RC"
  done
fi

if [ $WRITE_DOCS = 1 ]; then
  # The sections after the table are written by hand (the property
  # driver's figures): kept as they are.
  kept=$(sed -n '/^## /,$p' "$ROOT/docs/reliability.md" 2>/dev/null)
  {
    echo "# Reliability: bad input and faults"
    echo
    echo "Written by \`tests/reliability_test.sh --write-docs\` from its own cases; every"
    echo "row was checked when it was written. \"What the user sees\" is the first"
    echo "notice (on stderr for trep); exit codes are those of the program named."
    echo
    echo "| case | program | what the user sees | left in the output folder | exit code |"
    echo "|---|---|---|---|---|"
    printf '%s\n' "${ROWS[@]}"
    [ -z "$kept" ] || printf '\n%s\n' "$kept"
  } > "$ROOT/docs/reliability.md"
  echo "wrote docs/reliability.md"
fi

echo
if [ $FAILS -eq 0 ]; then echo "all $CHECKS checks passed"; else echo "$FAILS of $CHECKS checks FAILED"; fi
[ $FAILS -eq 0 ]
