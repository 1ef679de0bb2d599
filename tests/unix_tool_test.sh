#!/usr/bin/env bash
# Whole-program tests of trep's subcommands (split, join, check): sizes with
# units and media names, the current folder as the output, --force and no
# question without a terminal, pipes with tar and cmp, the exit codes of
# check, and the progress line on a real pseudo-terminal (script).
#
#   tests/unix_tool_test.sh           run every check
#   KEEP=1 tests/unix_tool_test.sh    keep the work folder to look at after a failure
set -u
export LC_ALL=C.UTF-8

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TREP=${TREP_NATIVE:-$ROOT/build/native/trep}
RUN_TIMEOUT=60  # seconds; only a guard against a hang, never an expectation
source "$ROOT/tests/lib/checks.sh"

if [ ! -x "$TREP" ]; then
  echo "unix_tool_test: $TREP is missing; build with scripts/build.sh" >&2
  exit 2
fi
for tool in tar cmp script timeout head stat; do
  if ! command -v "$tool" >/dev/null; then
    echo "unix_tool_test: the tool '$tool' is missing" >&2
    exit 2
  fi
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/trep-unix.XXXXXX")
cleanup() { [ -n "${KEEP:-}" ] && echo "kept $WORK" || rm -rf "$WORK"; }
trap cleanup EXIT

# A fresh case folder with a 3 MiB file of varied bytes and a small tree.
new_case() {
  CASE=$WORK/case$((++CASES))
  mkdir -p "$CASE/tree/sub"
  cd "$CASE" || exit 2
  head -c 3145728 /dev/urandom >data.bin
  head -c 700000 /dev/urandom >tree/a.bin
  seq 1 100000 >tree/sub/b.txt
}
CASES=0
# run ARGS...: trep with no terminal (stdin from /dev/null); RC, OUT, ERR.
run() {
  timeout "$RUN_TIMEOUT" "$TREP" "$@" </dev/null >"$WORK/out" 2>"$WORK/err"
  RC=$?
  OUT=$(cat "$WORK/out")
  ERR=$(cat "$WORK/err")
}
size_of() { stat -c %s "$1" 2>/dev/null || echo missing; }
damage() { printf 'XX' | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null; }  # FILE OFFSET
snapshot() { (find . -type f -printf '%p %s %T@\n' | sort | cksum) 2>/dev/null; }

echo "# split sizes: units, media, counts (3 MiB file; size of segment 0002 = 8 + payload)"
# options | segments | payload of a full segment
SIZE_CASES=(
  "-s 1M         | 3  | 1048576"
  "-s1000KB      | 4  | 1000000"
  "--size=512K   | 6  | 524288"
  "-s 700000     | 5  | 700000"
  "-s email      | 4  | 921600"
  "-s FLOPPY     | 3  | 1433600"
  "-n 4          | 4  | 786432"
  "              | 6  | 524288"
)
for row in "${SIZE_CASES[@]}"; do
  read_row "$row" s_opts s_count s_payload
  new_case
  read -r -a opts <<<"$s_opts"
  run split data.bin ${opts[@]+"${opts[@]}"}
  expect_eq "exit code" 0 "$RC"
  expect_empty "stderr (no terminal, no -v)" "$ERR"
  expect_empty "stdout" "$OUT"
  n=$(ls data[0-9]*.trp 2>/dev/null | wc -l)
  expect_eq "segments in the current folder" "$s_count" "$n"
  expect_eq "size of data0002.trp" $((8 + s_payload)) "$(size_of data0002.trp)"
  mkdir back
  run join data0001.trp -o back
  expect_eq "join exit code" 0 "$RC"
  cmp -s data.bin back/data.bin || fail_because "the rebuilt file differs"
  report "trep split data.bin ${s_opts:-(no size)} -> $s_count segments of $s_payload bytes, joined back"
done

echo "# refused lines: exit 2, one line naming the problem, nothing made"
# arguments (";" between) | stderr
REFUSED=(
  "split                      | trep: no file given (see trep split --help)"
  "split;data.bin;-s;10Q      | trep: the segment size \"10Q\" is not valid"
  "split;data.bin;-s;5G       | is too large"
  "split;-;-s;1M              | needs --name NAME"
  "split;data.bin;-n;3;-s;1M  | once"
  "join;data.bin              | trep: \"data.bin\" is not a segment file"
  "join;missing0001.trp       | \"missing0001.trp\": it cannot be opened (No such file or directory)"
  "join;-                     | only a split reads standard input"
  "check;data.bin;-o;x        | trep check takes no option \"-o\""
  "split;data.bin;--bogus     | unknown option \"--bogus\" for trep split"
  "split;nothing.bin          | \"nothing.bin\": it cannot be opened (No such file or directory)"
)
for row in "${REFUSED[@]}"; do
  read_row "$row" r_args r_err
  new_case
  IFS=';' read -r -a args <<<"$r_args"
  before=$(snapshot)
  run "${args[@]}"
  expect_eq "exit code" 2 "$RC"
  expect_has "stderr" "$ERR" "$r_err"
  expect_empty "stdout" "$OUT"
  expect_eq "folder" "$before" "$(snapshot)"
  report "trep ${r_args//;/ } -> exit 2: $r_err"
done

echo "# help of each subcommand"
for verb in split join check; do
  run "$verb" --help
  expect_eq "exit code" 0 "$RC"
  expect_has "stdout" "$OUT" "Usage: trep $verb"
  expect_empty "stderr" "$ERR"
  report "trep $verb --help"
done
run --help
expect_has "stdout" "$OUT" "trep split FILE"
expect_has "stdout" "$OUT" "Usage: trep /i=FILE"
report "trep --help shows the subcommands first, the switches after"

echo "# files in the way, no terminal: refused naming the file; --force replaces"
new_case
run split data.bin -s 1M
echo old >data0002.trp
before=$(snapshot)
run split data.bin -s 1M
expect_eq "exit code" 2 "$RC"
expect_eq "stderr" "trep: \"./data0001.trp\" already exists; add --force to replace it (no terminal to ask)." "$ERR"
expect_eq "folder" "$before" "$(snapshot)"
expect_eq "data0002.trp" old "$(cat data0002.trp)"
report "split over an existing segment without --force -> exit 2, nothing touched"
run split data.bin -s 1M --force
expect_eq "exit code" 0 "$RC"
expect_eq "size of data0002.trp" $((8 + 1048576)) "$(size_of data0002.trp)"
report "split --force replaces it"
mkdir out && echo old >out/data.bin
run join data0003.trp -o out
expect_eq "exit code" 2 "$RC"
expect_has "stderr" "$ERR" "\"out/data.bin\" already exists; add --force"
expect_eq "out/data.bin" old "$(cat out/data.bin)"
run join data0003.trp -o out -f
expect_eq "exit code" 0 "$RC"
cmp -s data.bin out/data.bin || fail_because "the rebuilt file differs"
report "join over an existing file: refused, then replaced with -f"

echo "# pipes: tar | trep split - ; trep join -o - | tar"
new_case
tar cf - tree | "$TREP" split - --name tree.tar -s 300K -r 2 2>"$WORK/err"
RC=$?
expect_eq "exit code" 0 "$RC"
expect_empty "stderr" "$(cat "$WORK/err")"
expect_eq "segments" 5 "$(ls tree[0-9]*.trp | wc -l)"
expect_eq "recovery files" 3 "$(ls tree.*par2 | wc -l)"
mkdir x
"$TREP" join tree0002.trp -o - 2>"$WORK/err" | (cd x && tar xf -)
expect_eq "join exit code" 0 "${PIPESTATUS[0]}"
expect_empty "join stderr" "$(cat "$WORK/err")"
diff -r tree x/tree >/dev/null || fail_because "the unpacked tree differs"
tar cf whole.tar tree
"$TREP" join tree0001.trp -o - | cmp -s - whole.tar || fail_because "the joined bytes differ from tar's"
tar cf - tree | "$TREP" split - --name whole.tar -s 300K -o again >/dev/null 2>&1
"$TREP" split whole.tar -s 300K -o fromfile </dev/null >/dev/null 2>&1
expect_eq "segments of the stream" 5 "$(ls again | wc -l)"
for f in fromfile/whol0002.trp fromfile/whol0005.trp; do
  cmp -s "$f" "again/${f#fromfile/}" || fail_because "$f differs from the stream's"
done
# Segment 0001: the same but for the times (offsets 626..651).
cmp -s -n 626 fromfile/whol0001.trp again/whol0001.trp || fail_because "0001's header differs before its times"
cmp -s -i 652 fromfile/whol0001.trp again/whol0001.trp || fail_because "0001's payload differs"
report "tar c | split - --name -r 2; join -o - | tar x gives the tree; the segments are a file split's"

# A stream that ends on a segment's edge (3 MiB in segments of 1 MiB).
cat data.bin | "$TREP" split - --name data.bin -s 1M -o edge-stream 2>"$WORK/err"
expect_eq "exit code" 0 $?
"$TREP" split data.bin -s 1M -o edge-file </dev/null 2>&1
expect_eq "segments" "data0001.trp data0002.trp data0003.trp" "$(cd edge-stream && echo *)"
cmp -s edge-file/data0003.trp edge-stream/data0003.trp || fail_because "the last segment differs"
cmp -s -n 626 edge-file/data0001.trp edge-stream/data0001.trp || fail_because "0001's header differs"
report "split - of a stream that ends on a segment's edge: no empty segment, the file split's header"

rm tree0003.trp
"$TREP" join tree0001.trp -o - 2>"$WORK/err" | cmp -s - whole.tar || fail_because "mended bytes differ"
expect_eq "join exit code" 0 "${PIPESTATUS[0]}"
report "join -o - of a series with a lost segment: mended from the recovery files on the way"

new_case
"$TREP" split data.bin -s 1M -q </dev/null
# Within the first quarter of the data, which is what the recorded checksum covers.
damage data0001.trp 5000
"$TREP" join data0001.trp -o - 2>"$WORK/err" | cat >/dev/null
RC=${PIPESTATUS[0]}
expect_eq "exit code" 1 "$RC"
expect_eq "stderr" "trep: data0001.trp: checksum mismatch: the rebuilt data is damaged." "$(cat "$WORK/err")"
report "join -o - of a damaged series without recovery files -> exit 1, said at the end on stderr"
truncate -s 100 data0003.trp
"$TREP" join data0001.trp -o - 2>"$WORK/err" | cat >/dev/null
expect_eq "exit code" 1 "${PIPESTATUS[0]}"
expect_eq "stderr" "trep: segment 0003 is not of the size the series records: the rebuilt file is damaged." "$(cat "$WORK/err")"
report "join -o - of a series with a short segment -> exit 1, sizes on stderr"
"$TREP" split data.bin -s 1M -o whole -q </dev/null
timeout "$RUN_TIMEOUT" "$TREP" join whole/data0001.trp -o - 2>"$WORK/err" </dev/null | head -c 10 >/dev/null
expect_eq "exit code" 99 "${PIPESTATUS[0]}"
expect_eq "stderr" "trep: standard output: Broken pipe" "$(cat "$WORK/err")"
report "join -o - whose reader goes away -> exit 99, one line, no question"
script -qec "'$TREP' join whole/data0001.trp -o -" /dev/null >"$WORK/pty" 2>&1
expect_has "terminal" "$(cat "$WORK/pty")" "the rebuilt bytes would go to the terminal"
expect_eq "bytes on the terminal" 1 "$(grep -c '' "$WORK/pty")"
report "join -o - to a terminal is refused"
# A writer that stops sending: SIGTERM still ends the split at once, and
# segments without their 0001 are not left behind.
mkfifo feed
"$TREP" split - --name held.bin -s 1M -o held <feed 2>"$WORK/err" &
pid=$!
exec 7>feed
head -c 5M data.bin >&7 2>/dev/null
sleep 1
kill -TERM "$pid"
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$pid" 2>/dev/null; then
  fail_because "trep still waits for its input 10 s after SIGTERM"
  kill -KILL "$pid"
fi
wait "$pid"
expect_eq "exit code" 143 $?
exec 7>&-
expect_eq "files left in held/" "" "$(ls -A held)"
report "split - stopped by SIGTERM while its input is silent: ends at once, nothing left"
printf '' | timeout "$RUN_TIMEOUT" "$TREP" split - --name empty.bin >"$WORK/out" 2>"$WORK/err"
expect_eq "exit code" 2 $?
expect_eq "stderr" "trep: standard input was empty: no segment was written." "$(cat "$WORK/err")"
expect_eq "segments" 0 "$(ls empt*.trp 2>/dev/null | wc -l)"
report "split - of an empty stream -> exit 2, nothing written"

echo "# trep check: what it finds, its exit code, nothing written"
# setup | exit | text on stdout
new_case
"$TREP" split data.bin -s 512K -r 2 -q </dev/null
CHECK_CASES=(
  "true                                                         |0| whole"
  "rm data0003.trp                                              |1| data0003.trp: missing"
  "rm data0003.trp; truncate -s 9 data0005.trp                  |1| data0005.trp: damaged: 9 bytes, 524296 expected"
  "damage data0004.trp 999                                      |1| data0004.trp: damaged: its bytes are not those the recovery files record"
  "rm data0002.trp data0003.trp data0004.trp                    |6| damaged, cannot be mended"
  "rm data.par2 data.vol*; rm data0006.trp                      |6| recovery files: none"
  "rm data.par2 data.vol*; damage data0001.trp 999              |6| checksum: MISMATCH"
)
mkdir ../pristine && cp data0* data.*par2 ../pristine/
for row in "${CHECK_CASES[@]}"; do
  read_row "$row" c_setup c_exit c_out
  rm -f data0* data.*par2 && cp ../pristine/* .
  eval "$c_setup" 2>/dev/null
  before=$(snapshot)
  run check data0001.trp
  expect_eq "exit code" "$c_exit" "$RC"
  expect_has "stdout" "$OUT" "$c_out"
  expect_empty "stderr" "$ERR"
  expect_eq "folder" "$before" "$(snapshot)"
  report "check after '$c_setup' -> exit $c_exit, '$c_out'"
  run check -q data0001.trp
  expect_eq "exit code (-q)" "$c_exit" "$RC"
  expect_empty "stdout (-q)" "$OUT"
  report "check -q after '$c_setup' -> exit $c_exit, silent"
done

echo "# one verdict: trep check exits as the join's outcome implies, on the same folder"
# split options | setup | join exit | check exit | text on check's stdout
VERDICT_CASES=(
  "-s 512K -r 2 | damage data0002.trp 5000                               |0|1| damaged, can be mended"
  "-s 512K -r 1 | crc_kept data0003.trp 70000                            |0|1| data0003.trp: damaged: its bytes are not those"
  "-s 512K -r 2 | damage data0001.trp 314                                |0|1| damaged, can be mended"
  "-s 512K -r 2 | damage data0001.trp 622                                |0|1| damaged, can be mended"
  "-n 3 -r 2    | mv data0001.trp t; mv data0002.trp data0001.trp; mv t data0002.trp; rm data0003.trp |0|1| can be mended"
  "-n 3 -r 1    | rm data0001.trp; mv data0002.trp t; mv data0003.trp data0002.trp; mv t data0003.trp |0|1| can be mended"
  "-s 512K      | true                                                   |0|0| no damage found (the checksum reads part of the bytes)"
  "-s 512K      | truncate -s 600 data0001.trp                           |1|6| data0001.trp: damaged: 600 bytes, 652 expected"
  "-s 512K      | rm data0004.trp                                        |6|6| data0004.trp: missing"
  "-s 512K      | damage data0001.trp 999                                |1|6| checksum: MISMATCH"
  # Another file's set of the same name and size: it may be this series'
  # with damage the checksum does not see. The join makes the file, says so
  # and ends 1; check says 6.
  "-s 512K      | other_set                                              |1|6| may be another series': they agree with its header in names, count and sizes"
  # Beyond what the checksum reads, without recovery files: neither can see
  # it, and check says so rather than "whole".
  "-s 512K      | damage data0004.trp 400000                             |0|0| checksum: OK — it reads only part of the bytes"
)
# XORs 5 bytes at OFFSET of FILE with the CRC-32 polynomial (bit-reflected):
# every CRC-32 over them stays as it was, an MD5 does not.
crc_kept() {
  python3 - "$1" "$2" <<'PY'
import sys
path, at = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, 'rb').read())
for i, b in enumerate((0x1DB710641).to_bytes(5, 'little')):
    data[at + i] ^= b
open(path, 'wb').write(data)
PY
}
# Recovery files of another file of the same name and size beside the series.
other_set() {
  mkdir -p ../other && head -c 3145728 /dev/urandom >../other/data.bin &&
    (cd ../other && "$TREP" split data.bin -s 512K -r 1 -q -o s </dev/null) && cp ../other/s/*.par2 .
}
for row in "${VERDICT_CASES[@]}"; do
  read_row "$row" v_opts v_setup v_join v_check v_out
  new_case
  read -r -a opts <<<"$v_opts"
  "$TREP" split data.bin ${opts[@]+"${opts[@]}"} -q </dev/null
  eval "$v_setup" 2>/dev/null
  before=$(snapshot)
  run check data0002.trp
  expect_eq "check's exit code" "$v_check" "$RC"
  expect_has "check's stdout" "$OUT" "$v_out"
  [ "$v_check" = 0 ] && [[ $v_opts == *-r* ]] && expect_has "check's last line" "$OUT" "whole"
  [[ $v_opts != *-r* ]] && expect_no "check's stdout (nothing checked every byte)" "$OUT" "whole"
  expect_eq "the folder after check" "$before" "$(snapshot)"
  mkdir back
  run join data0002.trp -o back
  expect_eq "join's exit code" "$v_join" "$RC"
  [ "$RC" = 0 ] && [[ $v_setup != *400000 ]] &&
    { cmp -s data.bin back/data.bin || fail_because "the join ended 0 with other bytes"; }
  [ "$RC" != 0 ] && expect_nonempty "join's stderr (every refusal says why)" "$ERR"
  [ "$v_join" = 6 ] && expect_eq "made by a refused join" "" "$(ls back)"
  if [ "$v_setup" = other_set ]; then
    expect_has "join's stderr" "$ERR" "nothing vouches for the rebuilt file"
    cmp -s data.bin back/data.bin || fail_because "the file made is not the series' bytes"
  fi
  report "verdict after '$v_opts; $v_setup' -> join $v_join, check $v_check"
done

echo "# a segment another job holds is in use, not missing or damaged (exit 7)"
new_case
"$TREP" split data.bin -s 512K -r 1 -q </dev/null
# A process of its own holds the lock (flock(2)), as a join holds a segment.
python3 -c 'import fcntl, sys, time
f = open(sys.argv[1]); fcntl.flock(f, fcntl.LOCK_EX); time.sleep(20)' data0003.trp &
holder=$!
for _ in $(seq 50); do flock -n -x data0003.trp true 2>/dev/null || break; sleep 0.1; done
run check data0001.trp
expect_eq "check's exit code" 7 "$RC"
expect_has "check's stdout" "$OUT" "data0003.trp: in use by another program or job"
expect_no "check's stdout" "$OUT" "missing"
mkdir back
run join data0001.trp -o back
expect_eq "join's exit code" 7 "$RC"
expect_has "join's stderr" "$ERR" "is in use by another program or job; try again when it is done"
expect_eq "made by the join" "" "$(ls -A back)"
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
run join data0001.trp -o back
expect_eq "join's exit code once it is free" 0 "$RC"
report "check and join while another job holds a segment -> 7, said, nothing made; 0 after"

echo "# closed standard streams: no hang, a closed input reads as empty"
new_case
timeout "$RUN_TIMEOUT" "$TREP" split - --name c.bin <&- >"$WORK/out" 2>"$WORK/err"
expect_eq "exit code" 2 $?
expect_eq "stderr" "trep: standard input was empty: no segment was written." "$(cat "$WORK/err")"
"$TREP" split data.bin -s 1M -q </dev/null && mkdir back && "$TREP" join data0001.trp -o back -q </dev/null
timeout "$RUN_TIMEOUT" "$TREP" /i=data0001.trp /o=back <&- >"$WORK/out" 2>"$WORK/err"
expect_eq "exit code with the output in the way" 99 $?
expect_has "stderr" "$(cat "$WORK/err")" "No answer can be read"
report "split - and a question with stdin closed (<&-) -> they end, exit 2 and 99"

echo "# the terminal: a progress line, ended cleanly, and a last line saying what was made"
new_case
head -c 300M /dev/urandom >big.bin
script -qec "'$TREP' split big.bin -s 50M -r 1 -o media" /dev/null >"$WORK/pty" 2>&1
expect_eq "exit code" 0 $?
pty=$(tr -d '\n' <"$WORK/pty")
# Which segments the line shows depends on the machine's speed: some one.
[[ $pty =~ trep:\ segment\ [1-6]\ of\ 6\  ]] || fail_because "terminal: no 'trep: segment N of 6' in '${pty:0:300}'"
expect_has "terminal" "$pty" "of 300 MiB"
# Everything before the summary is progress, each rewritten over the last
# and the last one erased (CR, erase to the end of the line).
last=${pty##*$'\r\e[K'}
expect_eq "the last line" "trep: big.bin → 6 segments of 50 MiB in media/ (+ 1 recovery file)"$'\r' "$last"
expect_eq "lines written" 1 "$(grep -c '' "$WORK/pty")"
report "split on a terminal: progress in place, then one line what and where"
script -qec "'$TREP' join media/big.0004.trp -o back" /dev/null >"$WORK/pty" 2>&1
expect_eq "exit code" 0 $?
last=$(tr -d '\n' <"$WORK/pty")
last=${last##*$'\r\e[K'}
expect_eq "the last line" "trep: media/big.0004.trp → big.bin (300 MiB) in back/, checksum OK"$'\r' "$last"
cmp -s big.bin back/big.bin || fail_because "the rebuilt file differs"
report "join on a terminal: the last line says where and that the checksum held"
# The phases beside the copy show their bytes too: the check from its
# first line, the rebuild from recovery files as long as it lasts.
mkdir lost && cp media/* lost/ && rm lost/big.0002.trp
script -qec "'$TREP' check lost/big.0001.trp" /dev/null >"$WORK/pty" 2>&1
expect_eq "exit code of the check" 1 $?
pty=$(tr -d '\n' <"$WORK/pty")
[[ $pty =~ trep:\ checking\ the\ segments\ against\ the\ recovery\ files\ \ [0-9]+%\ \ [^$'\r']*\ of\ 300\ MiB ]] ||
  fail_because "terminal: no 'checking the segments … N% … of 300 MiB' in '${pty:0:300}'"
script -qec "'$TREP' join lost/big.0001.trp -o mended" /dev/null >"$WORK/pty" 2>&1
expect_eq "exit code of the join" 0 $?
cmp -s big.bin mended/big.bin || fail_because "the file mended from recovery files differs"
pty=$(tr -d '\n' <"$WORK/pty")
while [[ $pty =~ trep:\ Rebuilding\ segments\ from\ recovery\ files([^$'\r']*) ]]; do
  [[ ${BASH_REMATCH[1]} =~ ^\ \ [0-9]+%\ \ .*\ of\ 300\ MiB ]] ||
    fail_because "terminal: the rebuild's line without its bytes: '${BASH_REMATCH[0]}'"
  pty=${pty#*"${BASH_REMATCH[0]}"}
done
report "check and rebuild from recovery files on a terminal: bytes done of all, in place"
script -qec "'$TREP' split big.bin -s 50M -q -o quiet" /dev/null >"$WORK/pty" 2>&1
expect_eq "terminal with -q" "" "$(cat "$WORK/pty")"
run split big.bin -s 50M -o piped
expect_empty "stderr on a pipe" "$ERR"
run split big.bin -s 50M -o verbose -v
expect_eq "stderr with -v" "trep: big.bin → 6 segments of 50 MiB in verbose/" "$ERR"
report "quiet with -q and on a pipe; -v gives the last line on a pipe"
printf '2\n' | script -qec "'$TREP' split big.bin -s 50M -o media" /dev/null >"$WORK/pty" 2>&1
expect_has "terminal" "$(cat "$WORK/pty")" "File already exists."
report "on a terminal a file in the way is asked about"

cd "$WORK" || exit 2
finish_checks
