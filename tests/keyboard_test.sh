#!/usr/bin/env bash
# Window tests of the main window worked from the keyboard and under
# pressure: the harness of tests/window_test.sh (Trep.exe under Wine on a
# virtual display of its own, worked by windriver.exe), with scenarios of
# their own: Enter (posted key strokes), double clicks and commands repeated
# while a notice is open.
#
#   tests/keyboard_test.sh           run every scenario
#   KEEP=1 tests/keyboard_test.sh    keep the work folder to look at after a failure
#
# A command that arrives while a notice is open is dropped, not queued: the
# notice is answered once, and nothing else opens after it.
set -u
WINDOW_TEST_HARNESS_ONLY=1
# shellcheck source=tests/window_test.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/window_test.sh"

BAD_COUNT="The number of segments must be at least 2 and at most 9999."

scenario "Enter with the start button greyed starts nothing; nor does its command sent again"
start_trep
drive "fresh start, no file: Enter, then two commands of the greyed \"Decide!\"" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
expect-enabled CTL_START 0
key enter
post-command CTL_START 2
no-notice 1500
expect-title Trep
expect-text CTL_START Decide!
expect-text CTL_FILE_NAME "No File"
click CTL_QUIT
wait-gone
EOF
wait_exit 0

# One segment (a preset larger than the file): "Go Trep!" stays usable and
# raises the count notice. Each row works it another way while that notice
# is open; the window must answer the one notice and raise no other.
while IFS='|' read -r how how_steps; do
  scenario "the count notice, then $how while it is open: answered once, nothing frozen"
  cp "$WORK/fx/small.bin" .
  start_trep "$(win "$SDIR/small.bin")"
  drive "$how; the notice answered; no second one; the window answers" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
choose CTL_PRESETS "DVD DL"
$(steps "$how_steps")
wait-notice "$BAD_COUNT"
notice 1 "$BAD_COUNT"
no-notice 1500
window Trep
expect-title Trep
click CTL_QUIT
wait-gone
EOF
  wait_exit 0
done <<'ROWS'
a double click on "Go Trep!"|double-click CTL_START
three commands of "Go Trep!" in a row|post-command CTL_START 3
Enter twice on "Go Trep!" (posted keys)|key enter; key enter
ROWS

# Other notices of the window's own thread: the end of a job ("Finished",
# raised by the job's timer) and one of the source analysis ("Cannot find
# first file!", raised while a typed path is analysed). While each is open,
# commands of "Go Trep!", "Wizard" and "Check CRC" arrive twice each: all
# dropped (a wizard opened after it would hide the window; a second split
# would ask about the segments it finds), the notice answered once.
while IFS='|' read -r notice_text setup files; do
  scenario "\"$notice_text\" open, then repeated commands of three buttons: dropped, nothing frozen"
  write_settings "$SDIR/prog/dTrep.dat" destinationMode=3
  mkdir -p src lost
  cp "$WORK/fx/small.bin" src/
  head -c 100 /dev/urandom >lost/lost0002.trp
  lost=$(win "$SDIR/lost/lost0002.trp")
  start_trep "$(win "$SDIR/src/small.bin")"
  drive "the notice; commands while it is open; answered; no second one; the window answers" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
${setup//LOST/$lost}
wait-notice "$notice_text"
post-command CTL_START 2
post-command CTL_WIZARD 2
post-command CTL_CHECK_CRC 2
notice 1 "$notice_text"
no-notice 1500
window Trep
wait-visible CTL_AUTO_RUN 1
click CTL_QUIT
wait-gone
EOF
  wait_exit 0
  expect_eq "files in src" "$files" "$(ls -A src | tr '\n' ' ')"
done <<'ROWS'
Finished|click CTL_START|smal0001.trp smal0002.trp small.bin 
Cannot find first file!|type CTL_SOURCE_PATH "LOST"|small.bin 
ROWS

# Tab and Shift+Tab: every control a person can use, in reading order (row
# by row, left to right), then round to the first; Shift+Tab goes the same
# way back. Each row: the state set up, then the controls in order from the
# file field on. The three size-mode buttons are one stop, at the checked
# one; controls out of use in that state are passed over.
while IFS='|' read -r state file setup order; do
  scenario "Tab and Shift+Tab with $state: every usable control in reading order, round and back"
  cp "$WORK/fx/batch.bin" .
  if [ "$file" = - ]; then start_trep; else start_trep "$(win "$SDIR/$file")"; fi
  read -r -a stops <<<"$order"
  forth=() back=()
  for ((i = 1; i <= ${#stops[@]}; i++)); do
    forth+=("key tab" "wait-focus ${stops[i % ${#stops[@]}]}")
  done
  for ((i = ${#stops[@]} - 1; i >= 0; i--)); do
    back+=("key shift+tab" "wait-focus ${stops[i]}")
  done
  drive "Tab ${#stops[@]} times goes round in reading order; Shift+Tab as many times goes back" <<EOF
window Trep
wait-text CTL_START "$([ "$file" = - ] && echo Decide! || echo "Go Trep!")"
$(steps "$setup")
wait-focus CTL_SOURCE_PATH
$(printf '%s\n' "${forth[@]}")
$(printf '%s\n' "${back[@]}")
no-notice 300
click CTL_QUIT
wait-gone
EOF
  wait_exit 0
done <<'ROWS'
no file|-|-|CTL_SOURCE_PATH CTL_CHOOSE_FILE CTL_USE_CRC CTL_CHECK_CRC CTL_CRC CTL_MEMORY CTL_AUTO_RUN CTL_HELP CTL_ABOUT CTL_WIZARD CTL_QUIT
a split in "Fast" mode|batch.bin|-|CTL_SOURCE_PATH CTL_CHOOSE_FILE CTL_USE_DESCRIPTION CTL_ENCRYPT CTL_REBUILD_METHOD CTL_MODE_FAST CTL_PRESETS CTL_SLIDER CTL_DESTINATION CTL_RECOVERY_COUNT CTL_OUTPUT_FOLDER CTL_CHOOSE_FOLDER CTL_USE_CRC CTL_CHECK_CRC CTL_CRC CTL_MEMORY CTL_AUTO_RUN CTL_HELP CTL_ABOUT CTL_WIZARD CTL_QUIT CTL_START
a split in "Number" mode, "Use" and "Encrypt" ticked, "Folder"|batch.bin|check CTL_MODE_NUMBER 1; check CTL_USE_DESCRIPTION 1; check CTL_ENCRYPT 1; choose CTL_DESTINATION Folder; focus CTL_SOURCE_PATH|CTL_SOURCE_PATH CTL_CHOOSE_FILE CTL_USE_DESCRIPTION CTL_DESCRIPTION CTL_ENCRYPT CTL_CIPHER_KEY CTL_REBUILD_METHOD CTL_MODE_NUMBER CTL_SEGMENT_COUNT CTL_DESTINATION CTL_RECOVERY_COUNT CTL_OUTPUT_FOLDER CTL_CHOOSE_FOLDER CTL_USE_CRC CTL_CHECK_CRC CTL_CRC CTL_MEMORY CTL_AUTO_RUN CTL_HELP CTL_ABOUT CTL_WIZARD CTL_QUIT CTL_START
a split in "Size" mode|batch.bin|check CTL_MODE_SIZE 1|CTL_SOURCE_PATH CTL_CHOOSE_FILE CTL_USE_DESCRIPTION CTL_ENCRYPT CTL_REBUILD_METHOD CTL_MODE_SIZE CTL_SIZE_NUMBER CTL_SIZE_UNIT CTL_DESTINATION CTL_RECOVERY_COUNT CTL_OUTPUT_FOLDER CTL_CHOOSE_FOLDER CTL_USE_CRC CTL_CHECK_CRC CTL_CRC CTL_MEMORY CTL_AUTO_RUN CTL_HELP CTL_ABOUT CTL_WIZARD CTL_QUIT CTL_START
ROWS

# A split and its rebuild by the keyboard alone: the path typed where the
# focus is, Enter for the default button, Enter for "Finished"; then Tab
# round to the file field (which selects its text), the first segment's
# path typed over it, Enter, Enter. The focus is back in the file field
# after each job. The segments go beside the file ("Same as Source"); the
# rebuilt file is compared with the original by cmp.
scenario "a split and a rebuild by the keyboard alone: typed paths, Tab, Enter"
write_settings "$SDIR/prog/dTrep.dat" destinationMode=3
mkdir -p src
cp "$WORK/fx/batch.bin" src/
cp "$WORK/fx/batch.bin" original.bin
BATCH=$(win "$SDIR/src/batch.bin")
FIRST=$(win "$SDIR/src/batc0001.trp")
start_trep
drive "the path typed into the focused file field; Enter starts the split; Enter answers \"Finished\"" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
wait-focus CTL_SOURCE_PATH
keys CTL_SOURCE_PATH "$BATCH"
wait-text CTL_START "Go Trep!"
key enter
wait-notice Finished
notice-key enter Finished
window Trep
wait-visible CTL_AUTO_RUN 1
EOF
expect_eq "files in src after the split" "$(printf '%s\n' batc0001.trp batc0002.trp batch.bin)" "$(ls -A src)"
drive "Enter again after the split: the start button is greyed, nothing starts" <<EOF
window Trep
wait-focus CTL_SOURCE_PATH
expect-enabled CTL_START 0
key enter
no-notice 1500
expect-enabled CTL_START 0
EOF
expect_eq "files in src after Enter again" "$(printf '%s\n' batc0001.trp batc0002.trp batch.bin)" "$(ls -A src)"
rm -f src/batch.bin
drive "Tab and Shift+Tab back to the file field; the first segment typed over its text; Enter rebuilds; Enter answers \"Finished\"" <<EOF
window Trep
wait-focus CTL_SOURCE_PATH
key tab
key shift+tab
wait-focus CTL_SOURCE_PATH
keys CTL_SOURCE_PATH "$FIRST"
wait-text CTL_START "Go UnTrep!"
expect-text CTL_SOURCE_PATH "$FIRST"
key enter
wait-notice Finished
notice-key enter Finished
window Trep
wait-visible CTL_AUTO_RUN 1
click CTL_QUIT
wait-gone
EOF
wait_exit 0
if cmp -s original.bin src/batch.bin; then
  report "src/batch.bin rebuilt by the keyboard alone is the original, byte for byte (cmp)"
else
  fail_because "cmp: src/batch.bin $(size_of src/batch.bin) bytes differs from the original"
  report "src/batch.bin rebuilt by the keyboard alone is the original, byte for byte (cmp)"
fi

end_scenario
finish_checks
