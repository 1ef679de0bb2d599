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

end_scenario
finish_checks
