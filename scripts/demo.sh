#!/usr/bin/env bash
# The main job on a sample file: installs what is missing, builds both
# programs, splits one sample file with each from the command line, shows the
# two series, rebuilds each series with the other program and compares the
# rebuilt files with the original.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
# shellcheck source=scripts/windows-build.sh
source "$here/scripts/windows-build.sh"  # TREP_WIN: the Windows build this machine runs
win=$TREP_WIN

demo="$here/build/demo"
rm -rf "$demo"  # a fresh series each time: no overwrite questions
mkdir -p "$demo/native" "$demo/$win" "$demo/rebuilt-by-trep" "$demo/rebuilt-by-Trep.exe"
export XDG_RUNTIME_DIR="$demo"  # the single-instance lock of trep
unset DISPLAY

head -c $((5 * 1024 * 1024 + 12345)) /dev/urandom > "$demo/sample.bin"

echo "== trep: split sample.bin into segments of 1024 KiB"
(cd "$demo" && "$here/build/native/trep" /q /i=sample.bin /o=native /s=1024)
echo "exit code $?"
echo "== $TREP_WIN_WHY"
echo "== Trep.exe (build/$win, under Wine): the same split"
(cd "$demo" && "$here/scripts/wine-run.sh" "$TREP_WIN_DIR/Trep.exe" /q /i=sample.bin "/o=$win" /s=1024)
echo "exit code $?"

for side in native "$win"; do
  echo "== $side series"
  ls -l "$demo/$side"
  first="$demo/$side/samp0001.trp"
  printf 'header: magic %s, %s segments, name "%s", size %s bytes\n' \
    "$(head -c 8 "$first")" \
    "$(od -An -tu4 -j8 -N4 "$first" | tr -d ' ')" \
    "$(dd if="$first" bs=1 skip=314 count=300 status=none | tr -d '\0')" \
    "$(od -An -tu4 -j614 -N4 "$first" | tr -d ' ')"
done
if cmp -s "$demo/native/samp0002.trp" "$demo/$win/samp0002.trp"; then
  echo "== segment 0002 is byte-identical from both programs"
fi

echo "== trep rebuilds the series Trep.exe made; Trep.exe rebuilds the one trep made"
(cd "$demo" && "$here/build/native/trep" /q "/i=$win/samp0003.trp" /o=rebuilt-by-trep)
(cd "$demo" && "$here/scripts/wine-run.sh" "$TREP_WIN_DIR/Trep.exe" /q /i=native\\samp0001.trp /o=rebuilt-by-Trep.exe)
for side in rebuilt-by-trep rebuilt-by-Trep.exe; do
  if cmp "$demo/sample.bin" "$demo/$side/sample.bin"; then
    echo "$side/sample.bin is identical to sample.bin"
  else
    echo "$side/sample.bin DIFFERS from sample.bin" >&2
    exit 1
  fi
done
