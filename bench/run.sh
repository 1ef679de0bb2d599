#!/usr/bin/env bash
# bench/run.sh [SIZE_MIB] — speed and memory of trep beside standard tools,
# side by side in one run on this machine.
#
# Builds an optimised native trep (and Trep.exe when mingw-w64 and Wine are
# there), makes SIZE_MIB MiB of random bytes (default 1024) in a temporary
# folder on the file system of build/ (BENCH_DIR=FOLDER to choose another),
# reads them once so they are cached, and then times every case RUNS times
# (default 5) after a warm-up round, one run of each case per round so that
# a slow moment of the machine falls on all of them alike. Before each run the case's output is
# removed and `sync` empties the write cache, outside the time taken.
# Prints medians, peak memory (maximum resident set) and the ratios the
# engine aims for, as markdown; the same text goes to build/bench-report.md.
#
# The recovery cases: a split with /r=1 beside the split plus `par2 create`
# with the same slices (one per segment), and the join of a series with its
# recovery file beside the join without.
#
# Beside trep's recovery files, par2cmdline-turbo (the fastest PAR2 tool in
# common use) when PAR2_TURBO names its `par2` program: RECOVERY_MIB MiB
# (default 512) of random bytes split into 8 segments with /r=1 and into 32
# with /r=8, against the plain split plus `par2 create` of par2cmdline-turbo
# with the same slices; the join that rebuilds one lost segment against
# `par2 repair`; with RECOVERY_LARGE=1 also 2 GiB in 64 segments with /r=8.
# Its CPU % (processor time over wall time) is reported beside the time.
# ONLY=recovery runs these cases alone. par2cmdline-turbo is not built or
# installed by this script: build it from its own sources elsewhere.
# TREP_BEFORE=PROGRAM adds the same cases with another build of trep (an
# earlier commit's, to show what a change did) in the same rounds.
#
# Environment: RUNS=N, SEGMENT_MIB=N (default 100), BENCH_DIR=FOLDER,
# NO_WINE=1 to leave out Trep.exe, PAR2_TURBO=PROGRAM, RECOVERY_MIB=N,
# RECOVERY_LARGE=1, ONLY=recovery, TREP_BEFORE=PROGRAM.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
size_mib=${1:-1024}
runs=${RUNS:-5}
segment_mib=${SEGMENT_MIB:-100}
jobs=$(nproc 2>/dev/null || echo 2)

case "$size_mib" in ''|*[!0-9]*) echo "usage: bench/run.sh [SIZE_MIB]" >&2; exit 2 ;; esac
[ "$size_mib" -ge 1 ] || { echo "bench: SIZE_MIB must be at least 1" >&2; exit 2; }

# --- tools -------------------------------------------------------------------
missing=()
[ -x /usr/bin/time ] || missing+=(time)
dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q "install ok installed" ||
  missing+=(libbenchmark-dev)
for tool in cmake g++; do command -v "$tool" >/dev/null || missing+=("$tool"); done
command -v par2 >/dev/null || missing+=(par2)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "bench: missing packages: ${missing[*]}; run as root to install them." >&2
    exit 1
  fi
  echo "bench: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

with_wine=""  # "1" when Trep.exe is measured too
# The Windows build this machine runs: 32-bit where 32-bit programs run,
# else 64-bit (scripts/windows-build.sh; TREP_WINDOWS_BUILD chooses).
# shellcheck source=scripts/windows-build.sh
source "$here/scripts/windows-build.sh"
if [ "$TREP_WIN" = win64 ]; then win_toolchain=mingw-x86_64; else win_toolchain=mingw-i686; fi
win_bench=build/bench-$TREP_WIN
if [ -z "${NO_WINE:-}" ] && command -v wine >/dev/null &&
   command -v "${win_toolchain#mingw-}-w64-mingw32-g++-posix" >/dev/null; then
  with_wine=1
  echo "bench: $TREP_WIN_WHY" >&2
fi

# --- builds ------------------------------------------------------------------
echo "bench: building (Release) in build/bench-native${with_wine:+ and $win_bench}" >&2
cmake -S "$here" -B "$here/build/bench-native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build/bench-native" -j "$jobs" \
  --target trep jobtool trep_crc trep_microbench >/dev/null
native="$here/build/bench-native"
if [ -n "$with_wine" ]; then
  cmake -S "$here" -B "$here/$win_bench" -DCMAKE_BUILD_TYPE=Release -DTREP_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$win_toolchain.cmake" >/dev/null
  cmake --build "$here/$win_bench" -j "$jobs" --target Trep >/dev/null
fi

# --- the work folder ---------------------------------------------------------
parent=${BENCH_DIR:-$here/build}
mkdir -p "$parent"
work=$(mktemp -d "$parent/bench-data.XXXXXX")
wine_prefix="$here/$win_bench/wineprefix"
wineserver_started=0
cleanup() {
  if [ "$wineserver_started" = 1 ]; then WINEPREFIX="$wine_prefix" wineserver -k 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# Its own lock folder, so a trep run elsewhere never makes these wait.
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR"

# dTrep.dat: magic, then ten little-endian 32-bit options and the reserved
# values 48 and 3 and two zero bytes. Headers, no description, "Maximum"
# memory; useCrc as given.
write_settings() {  # FILE USECRC
  local le
  le() { printf "\\x$(printf %02x "$1")\\x00\\x00\\x00"; }
  {
    printf 'TREP1600'
    le 0; le 0; le 0; le "$2"; le 0; le 0; le 0; le 0; le 0; le 0
    le 48; le 3; printf '\x00\x00'
  } >"$1"
}
mkdir -p "$work/prog" "$work/prog-crc" "$work/out"
cp "$native/trep" "$work/prog/"
cp "$native/trep" "$work/prog-crc/"
write_settings "$work/prog/dTrep.dat" 0
write_settings "$work/prog-crc/dTrep.dat" 1
if [ -n "$with_wine" ]; then
  mkdir -p "$work/prog-win"
  cp "$here/$win_bench/Trep.exe" "$work/prog-win/"
  write_settings "$work/prog-win/dTrep.dat" 0
fi

# --- recovery files beside par2cmdline-turbo ----------------------------------
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
largest() { tr ' ' '\n' | grep -v '^$' | sort -g | tail -n 1; }
turbo=${PAR2_TURBO:-}
if [ -z "$turbo" ]; then
  echo "bench: PAR2_TURBO is not set: the recovery cases run without par2cmdline-turbo beside them" >&2
elif [ ! -x "$turbo" ]; then
  echo "bench: PAR2_TURBO=$turbo is not a program" >&2
  exit 2
else
  echo "bench: par2cmdline-turbo: $turbo ($("$turbo" -V 2>/dev/null | head -n 1))" >&2
fi

# Runs one recovery case (its command in "$@") with its folder made afresh
# from PRISTINE first (outside the time); adds its time, CPU % and peak
# memory under NAME.
declare -A rsec rcpu rrss
run_recovery_case() {  # NAME PRISTINE-OR-"" FOLDER COMMAND...
  local name=$1 pristine=$2 folder=$3
  shift 3
  rm -rf "$work/out" "$folder"
  mkdir -p "$work/out"
  if [ -n "$pristine" ]; then cp -r "$pristine" "$folder"; else mkdir -p "$folder"; fi
  sync
  local code=0 t0 t1 p m
  t0=$EPOCHREALTIME
  /usr/bin/time -f '%P %M' -o "$work/rtime" "$@" >/dev/null 2>"$work/stderr" </dev/null || code=$?
  t1=$EPOCHREALTIME
  if [ "$code" -ne 0 ]; then
    echo "bench: $name failed (exit $code): $*" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
  read -r p m < <(tail -n 1 "$work/rtime")
  rsec[$name]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }') "
  rcpu[$name]+="${p%\%} "
  rrss[$name]+="$m "
}

recovery_bench() {
  local rmib=${RECOVERY_MIB:-512} rruns=${RUNS:-5}
  # Named data.bin, in folders of their own: the segments are data0001.trp...
  local rdata="$work/rsmall/data.bin"
  echo "bench: making $rmib MiB of random bytes for the recovery cases" >&2
  mkdir -p "$work/rsmall" "$work/rlarge"
  head -c $((rmib * 1048576)) /dev/urandom >"$rdata"
  local -a configs=("r1:8:1:$rdata" "r8:32:8:$rdata")
  if [ -n "${RECOVERY_LARGE:-}" ]; then
    head -c $((2048 * 1048576)) /dev/urandom >"$work/rlarge/data.bin"
    configs+=("large:64:8:$work/rlarge/data.bin")
  fi
  local -a rcases=()
  local c name segments r file
  declare -gA rfile rkib rr rslice
  for c in "${configs[@]}"; do
    IFS=: read -r name segments r file <<<"$c"
    rfile[$name]=$file
    rr[$name]=$r
    rkib[$name]=$(( ($(stat -c %s "$file") / 1024 + segments - 1) / segments ))
    # The plain series par2cmdline-turbo works on, with trep's slice size.
    mkdir -p "$work/$name-plain"
    "$work/prog/trep" "/i=$file" "/o=$work/$name-plain" "/s=${rkib[$name]}" /q </dev/null
    rslice[$name]=$(( ($(stat -c %s "$work/$name-plain/data0001.trp") + 3) / 4 * 4 ))
    rcases+=("$name-split" "$name-split-r")
    [ -z "${TREP_BEFORE:-}" ] || rcases+=("$name-split-r-before")
    [ -z "$turbo" ] || rcases+=("$name-turbo-create")
    if [ "$name" = r1 ]; then
      # One lost segment (0003): trep's join rebuilds it from the recovery
      # file; par2cmdline-turbo repairs it from its own.
      mkdir -p "$work/rep-trep"
      "$work/prog/trep" "/i=$file" "/o=$work/rep-trep" "/s=${rkib[$name]}" /r=1 /q </dev/null
      rm "$work/rep-trep/data0003.trp"
      rcases+=(rep-trep)
      [ -z "${TREP_BEFORE:-}" ] || rcases+=(rep-trep-before)
      if [ -n "$turbo" ]; then
        cp -r "$work/$name-plain" "$work/rep-turbo"
        (cd "$work/rep-turbo" && "$turbo" create -q -q -s"${rslice[$name]}" -c1 data.par2 data0*.trp >/dev/null)
        rm "$work/rep-turbo/data0003.trp"
        rcases+=(rep-turbo)
      fi
    fi
  done
  if [ -n "${TREP_BEFORE:-}" ]; then
    mkdir -p "$work/prog-before"
    cp "$TREP_BEFORE" "$work/prog-before/trep"
    write_settings "$work/prog-before/dTrep.dat" 0
  fi
  cat "$rdata" >/dev/null
  local round n
  for round in $(seq 0 "$rruns"); do
    echo "bench: recovery round $round of $rruns" >&2
    for c in "${rcases[@]}"; do
      n=${c%%-*}
      case "$c" in
        *-split)
          run_recovery_case "$c" "" "$work/o" "$work/prog/trep" "/i=${rfile[$n]}" "/o=$work/o" \
            "/s=${rkib[$n]}" /q ;;
        *-split-r)
          run_recovery_case "$c" "" "$work/o" "$work/prog/trep" "/i=${rfile[$n]}" "/o=$work/o" \
            "/s=${rkib[$n]}" "/r=${rr[$n]}" /q ;;
        *-turbo-create)
          run_recovery_case "$c" "$work/$n-plain" "$work/o" sh -c \
            'cd "$1" && exec "$2" create -q -q -s"$3" -c"$4" -n"$4" -u data.par2 data0*.trp' \
            sh "$work/o" "$turbo" "${rslice[$n]}" "${rr[$n]}" ;;
        *-split-r-before)
          run_recovery_case "$c" "" "$work/o" "$work/prog-before/trep" "/i=${rfile[$n]}" \
            "/o=$work/o" "/s=${rkib[$n]}" "/r=${rr[$n]}" /q ;;
        rep-trep)
          run_recovery_case "$c" "$work/rep-trep" "$work/o" "$work/prog/trep" \
            "/i=$work/o/data0001.trp" "/o=$work/out" /q ;;
        rep-trep-before)
          run_recovery_case "$c" "$work/rep-trep" "$work/o" "$work/prog-before/trep" \
            "/i=$work/o/data0001.trp" "/o=$work/out" /q ;;
        rep-turbo)
          run_recovery_case "$c" "$work/rep-turbo" "$work/o" sh -c \
            'cd "$1" && exec "$2" repair -q -q data.par2' sh "$work/o" "$turbo" ;;
      esac
    done
    if [ "$round" = 0 ]; then
      for c in "${rcases[@]}"; do rsec[$c]=""; rcpu[$c]=""; rrss[$c]=""; done
    fi
  done

  rmed() { echo "${rsec[$1]}" | median; }
  {
    echo "### Recovery files beside par2cmdline-turbo ($rmib MiB of random bytes, $rruns runs each, medians)"
    echo
    echo "- load average before the runs: $RECOVERY_LOAD; after: $(cut -d ' ' -f 1-3 /proc/loadavg)"
    if [ -n "$turbo" ]; then echo "- par2cmdline-turbo: $("$turbo" -V 2>/dev/null | head -n 1)"
    else echo "- par2cmdline-turbo: not measured (PAR2_TURBO not set)"; fi
    echo
    echo "| case | median s | fastest s | slowest s | CPU % (median) | peak memory MiB |"
    echo "|---|---:|---:|---:|---:|---:|"
    for c in "${rcases[@]}"; do
      echo "| $c | $(rmed "$c") | $(echo "${rsec[$c]}" | tr ' ' '\n' | grep -v '^$' | sort -g | head -n 1) | $(echo "${rsec[$c]}" | largest) | $(echo "${rcpu[$c]}" | median) | $(awk -v k="$(echo "${rrss[$c]}" | largest)" 'BEGIN { printf "%.1f", k / 1024 }') |"
    done
    if [ -n "$turbo" ]; then
      echo
      echo "| measure | value | goal |"
      echo "|---|---:|---|"
      for c in "${configs[@]}"; do
        name=${c%%:*}
        echo "| $name: split /r / (split + par2cmdline-turbo create) | $(awk -v r="$(rmed "$name-split-r")" -v s="$(rmed "$name-split")" -v p="$(rmed "$name-turbo-create")" 'BEGIN { printf "%.2f", r / (s + p) }') | ≤ 0.35 |"
      done
      echo "| repair: trep join / par2cmdline-turbo repair | $(awk -v a="$(rmed rep-trep)" -v b="$(rmed rep-turbo)" 'BEGIN { printf "%.2f", a / b }') | ≤ 0.35 |"
    fi
  } | tee -a "$here/build/bench-report-recovery.md"
}
RECOVERY_LOAD=$(cut -d ' ' -f 1-3 /proc/loadavg)
if [ "${ONLY:-}" = recovery ]; then
  : >"$here/build/bench-report-recovery.md"
  recovery_bench
  echo "bench: report written to $here/build/bench-report-recovery.md" >&2
  exit 0
fi

echo "bench: making $size_mib MiB of random bytes in $work" >&2
data="$work/data.bin"
head -c $((size_mib * 1048576)) /dev/urandom >"$data"
size_kib=$((size_mib * 1024))
segment_kib=$((segment_mib * 1024))
ten_kib=$(((size_kib + 9) / 10))
thousand_kib=$(((size_kib + 999) / 1000))
buffer_bytes() {  # the work buffer "Maximum" takes for segments of KIB KiB
  local s=$(($1 * 1024))
  local b=$((s + s / 1024))
  [ "$b" -ge 10000000 ] || b=10000000
  echo "$b"
}

# The series the joins read: one with headers, one scrambled, one with a
# recovery file beside it. par2 makes its own recovery file for a copy of
# the first, with the slice size trep takes (the largest segment, rounded
# up to 4).
"$work/prog/trep" "/i=$data" "/o=$work/series" "/s=$segment_kib" /q </dev/null
"$native/jobtool" split "$data" "$work/eseries" "$segment_kib" --key=bench >/dev/null
"$work/prog/trep" "/i=$data" "/o=$work/rseries" "/s=$segment_kib" /r=1 /q </dev/null
cp -r "$work/series" "$work/pseries"
slice=$(( ($(stat -c %s "$work/series/data0001.trp") + 3) / 4 * 4 ))
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }

# --- measuring ---------------------------------------------------------------
declare -A seconds rss
cases=()
add_case() { cases+=("$1"); }

clear_out() { rm -rf "$work/out" "$work/pseries/"*.par2; mkdir -p "$work/out"; }

run_case() {  # NAME: runs the case once, adds its time and peak memory
  local name=$1
  clear_out
  sync
  local -a cmd
  case "$name" in
    cp) cmd=(cp "$data" "$work/out/copy.bin") ;;
    coreutils-split) cmd=(split -b "${segment_mib}M" "$data" "$work/out/x") ;;
    trep-split) cmd=("$work/prog/trep" "/i=$data" "/o=$work/out" "/s=$segment_kib" /q) ;;
    cat-join) cmd=(sh -c 'cat "$1"/*.trp > "$2/joined"' sh "$work/series" "$work/out") ;;
    trep-join) cmd=("$work/prog/trep" "/i=$work/series/data0001.trp" "/o=$work/out" /q) ;;
    split-r1) cmd=("$work/prog/trep" "/i=$data" "/o=$work/out" "/s=$segment_kib" /r=1 /q) ;;
    par2-create)
      cmd=(sh -c 'cd "$1" && par2 create -q -q -s"$2" -c1 data.par2 data0*.trp' sh "$work/pseries" "$slice") ;;
    join-r1) cmd=("$work/prog/trep" "/i=$work/rseries/data0001.trp" "/o=$work/out" /q) ;;
    split-plain) cmd=("$native/jobtool" split "$data" "$work/out" "$segment_kib") ;;
    split-encrypt) cmd=("$native/jobtool" split "$data" "$work/out" "$segment_kib" --key=bench) ;;
    join-plain) cmd=("$native/jobtool" join "$work/series/data0001.trp" "$work/out") ;;
    join-encrypt) cmd=("$native/jobtool" join "$work/eseries/data0001.trp" "$work/out" --key=bench) ;;
    checksum) cmd=("$native/bench/trep_crc" "$data") ;;
    cat-null) cmd=(sh -c 'cat "$1" > /dev/null' sh "$data") ;;
    cksum) cmd=(cksum "$data") ;;
    trep-split-crc) cmd=("$work/prog-crc/trep" "/i=$data" "/o=$work/out" "/s=$segment_kib" /q) ;;
    split-10) cmd=("$work/prog/trep" "/i=$data" "/o=$work/out" "/s=$ten_kib" /q) ;;
    split-1000) cmd=("$work/prog/trep" "/i=$data" "/o=$work/out" "/s=$thousand_kib" /q) ;;
    wine-split)
      cmd=(env WINEPREFIX="$wine_prefix" "$here/scripts/wine-run.sh" "$work/prog-win/Trep.exe"
           "/i=$(winpath "$data")" "/o=$(winpath "$work/out")" "/s=$segment_kib" /q) ;;
    wine-join)
      cmd=(env WINEPREFIX="$wine_prefix" "$here/scripts/wine-run.sh" "$work/prog-win/Trep.exe"
           "/i=$(winpath "$work/series/data0001.trp")" "/o=$(winpath "$work/out")" /q) ;;
    wine-split-r1)
      cmd=(env WINEPREFIX="$wine_prefix" "$here/scripts/wine-run.sh" "$work/prog-win/Trep.exe"
           "/i=$(winpath "$data")" "/o=$(winpath "$work/out")" "/s=$segment_kib" /r=1 /q) ;;
    wine-join-r1)
      cmd=(env WINEPREFIX="$wine_prefix" "$here/scripts/wine-run.sh" "$work/prog-win/Trep.exe"
           "/i=$(winpath "$work/rseries/data0001.trp")" "/o=$(winpath "$work/out")" /q) ;;
  esac
  local t0 t1 code=0
  t0=$EPOCHREALTIME
  /usr/bin/time -f %M -o "$work/rss" "${cmd[@]}" >/dev/null 2>"$work/stderr" </dev/null || code=$?
  t1=$EPOCHREALTIME
  if [ "$code" -ne 0 ]; then
    echo "bench: $name failed (exit $code): ${cmd[*]}" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
  seconds[$name]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }') "
  rss[$name]+="$(tail -n 1 "$work/rss") "
}

med() { echo "${seconds[$1]}" | median; }
peak_kib() { echo "${rss[$1]}" | largest; }
ratio() { awk -v a="$(med "$1")" -v b="$(med "$2")" 'BEGIN { printf "%.2f", a / b }'; }

for c in cp coreutils-split trep-split cat-join trep-join split-plain split-encrypt join-plain \
         join-encrypt checksum cat-null cksum trep-split-crc split-10 split-1000 \
         split-r1 par2-create join-r1; do
  add_case "$c"
done
if [ -n "$with_wine" ]; then
  add_case wine-split
  add_case wine-join
  add_case wine-split-r1
  add_case wine-join-r1
  # A first run that makes the prefix, then one wineserver for all runs.
  echo "bench: preparing the Wine prefix" >&2
  run_case wine-split
  seconds[wine-split]=""
  rss[wine-split]=""
  WINEPREFIX="$wine_prefix" wineserver -p 2>/dev/null && wineserver_started=1 || true
fi

echo "bench: reading the data once so it is cached" >&2
cat "$data" >/dev/null
# Round 0 warms up (its figures are dropped): memory the page cache takes for
# the first time can cost far more on a virtual machine than memory reused.
for r in $(seq 0 "$runs"); do
  echo "bench: round $r of $runs" >&2
  for c in "${cases[@]}"; do run_case "$c"; done
  if [ "$r" = 0 ]; then
    for c in "${cases[@]}"; do seconds[$c]=""; rss[$c]=""; done
  fi
done

# --- report ------------------------------------------------------------------
report="$here/build/bench-report.md"
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
{
  echo "### Machine"
  echo
  echo "- processor: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores"
  echo "- memory: $(free -m | awk '/^Mem:/ { printf "%.1f GiB", $2 / 1024 }')"
  echo "- file system of the data: $(df -T "$work" | awk 'NR == 2 { print $2 }'), kernel $(uname -r)"
  echo "- tools: $(cp --version | head -n 1)${with_wine:+, $(/usr/lib/wine/wine64 --version 2>/dev/null), Trep.exe: $TREP_WIN}"
  echo "- load average before the runs: $(cut -d ' ' -f 1-3 /proc/loadavg)"
  echo
  echo "### Cases ($size_mib MiB of random bytes, segments of $segment_mib MiB, $runs runs each, medians)"
  echo
  echo "| case | median s | fastest s | slowest s | peak memory MiB |"
  echo "|---|---:|---:|---:|---:|"
  for c in "${cases[@]}"; do
    list=${seconds[$c]}
    fastest=$(echo "$list" | tr ' ' '\n' | grep -v '^$' | sort -g | head -n 1)
    slowest=$(echo "$list" | largest)
    echo "| $c | $(med "$c") | $fastest | $slowest | $(mib "$(peak_kib "$c")") |"
  done
  echo
  echo "### Goals"
  echo
  echo "| measure | value | goal |"
  echo "|---|---:|---|"
  echo "| trep split / cp | $(ratio trep-split cp) | ≤ 1.10 |"
  echo "| trep split / coreutils split | $(ratio trep-split coreutils-split) | < 1 |"
  echo "| trep join / cat | $(ratio trep-join cat-join) | ≤ 1.10 |"
  echo "| split with Encrypt / without | $(ratio split-encrypt split-plain) | ≤ 1.30 |"
  echo "| join with Encrypt / without | $(ratio join-encrypt join-plain) | ≤ 1.30 |"
  echo "| checksum / cat file > /dev/null | $(ratio checksum cat-null) | ≤ 0.35 |"
  echo "| checksum / cksum | $(ratio checksum cksum) | |"
  echo "| 1,000 segments / 10 segments | $(ratio split-1000 split-10) | ≤ 1.20 |"
  echo "| split /r=1 / (split + par2 create, same slices) | $(awk -v r="$(med split-r1)" -v s="$(med trep-split)" -v p="$(med par2-create)" 'BEGIN { printf "%.2f", r / (s + p) }') | ≤ 1, aim 0.5 |"
  echo "| join with a recovery file / without | $(ratio join-r1 trep-join) | ≤ 1.5 |"
  if [ -n "$with_wine" ]; then
    echo "| Trep.exe under Wine / trep, split | $(ratio wine-split trep-split) | ≤ 1.5 |"
    echo "| Trep.exe under Wine / trep, join | $(ratio wine-join trep-join) | ≤ 1.5 |"
  fi
  echo
  echo "### Peak memory against the work buffer (goal: at most the buffer + 24 MiB)"
  echo
  echo "| case | work buffer MiB | peak MiB | peak − buffer MiB |"
  echo "|---|---:|---:|---:|"
  for c in trep-split trep-join split-plain split-encrypt join-plain join-encrypt trep-split-crc \
           split-10 split-1000 wine-split wine-join join-r1 wine-join-r1; do
    [ -n "${rss[$c]:-}" ] || continue
    case "$c" in
      split-10) buffer=$(buffer_bytes "$ten_kib") ;;
      split-1000) buffer=$(buffer_bytes "$thousand_kib") ;;
      *join*)  # segmentSize of a join: the size of segment 0001
        first=$(stat -c %s "$work/series/data0001.trp")
        buffer=$((first + first / 1024))
        [ "$buffer" -ge 10000000 ] || buffer=10000000 ;;
      *) buffer=$(buffer_bytes "$segment_kib") ;;
    esac
    peak=$(peak_kib "$c")
    echo "| $c | $(mib $((buffer / 1024))) | $(mib "$peak") | $(awk -v p="$peak" -v b="$buffer" 'BEGIN { printf "%.1f", p / 1024 - b / 1048576 }') |"
  done
  echo
  echo "### Peak memory of a split with a recovery file (goal: bounded, whatever the series)"
  echo
  echo "The recovery data is held 128 MiB at a time at most (64 MiB windows for one"
  echo "recovery file, with a buffer as large to read the later passes' bytes back);"
  echo "only the pieces of the work buffer the copy touches count."
  echo
  echo "| case | peak MiB |"
  echo "|---|---:|"
  for c in split-r1 wine-split-r1 par2-create; do
    [ -n "${rss[$c]:-}" ] || continue
    echo "| $c | $(mib "$(peak_kib "$c")") |"
  done
  echo
  echo "### Microbenchmarks (bytes per second)"
  echo
  echo '```'
  "$native/bench/trep_microbench" --benchmark_min_time=0.5 2>/dev/null | grep -E '^(BM_|Benchmark|-)' || true
  echo '```'
} | tee "$report"
: >"$here/build/bench-report-recovery.md"
recovery_bench
cat "$here/build/bench-report-recovery.md" >>"$report"
echo "bench: report written to $report" >&2
