#!/usr/bin/env bash
# Bad input and faults, run against the built programs: hostile series
# (counts, names, texts, short headers), a disk that fills up in the middle
# of a segment, a folder that cannot be made, a wrong key, a series whose
# rebuilt name is one of its own segments, large files. Each case checks the
# notice shown, the files left, and the exit code.
#
#   tests/reliability_test.sh                 run the cases
#   tests/reliability_test.sh --write-docs    also write docs/reliability.md from them
#   LARGE=0 tests/reliability_test.sh         leave out the multi-GiB files
set -u
export LC_ALL=C

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TREP=${TREP_NATIVE:-$ROOT/build/native/trep}
EXE=$ROOT/build/win32/Trep.exe
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
check "count 4: the three segments' payload is kept" 3000 "$(stat -c %s "$WORK/case/out/data.bin" 2>/dev/null)"
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
  row "disk full in segment 0001, stdin closed" trep "File Write Error. The disk might be full." \
    "$(awk 'NR>1{print $NF" ("$5")"}' "$WORK/case/left" | tr '\n' ',' | sed 's/,$//; s/,/, /g')" "$RC"

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
  WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix} timeout 60 wineserver -w
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
  WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix} wineserver -k 2>/dev/null
  wait $first 2>/dev/null
  kill $xvfb 2>/dev/null
  wait $xvfb 2>/dev/null
  unset DISPLAY
  check "Trep.exe: a second instance ends with exit code 4" 4 "$RC"
  check "Trep.exe: ... and makes nothing" nothing "$(left_in "$WORK/case/out-exe")"
  row "a second Trep.exe while the first shows its window" Trep.exe "nothing" \
    "$(left_in "$WORK/case/out-exe")" "$RC"
fi

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
  done
fi

if [ $WRITE_DOCS = 1 ]; then
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
  } > "$ROOT/docs/reliability.md"
  echo "wrote docs/reliability.md"
fi

echo
if [ $FAILS -eq 0 ]; then echo "all $CHECKS checks passed"; else echo "$FAILS of $CHECKS checks FAILED"; fi
[ $FAILS -eq 0 ]
