#!/usr/bin/env bash
# Window tests of the setup wizard and of the file-type association: the
# harness of tests/window_test.sh (Trep.exe under Wine on a virtual display
# of its own, worked by windriver.exe; the fixtures movie.bin and its series
# by the native program), with scenarios of their own.
#
#   tests/wizard_test.sh           run every scenario
#   KEEP=1 tests/wizard_test.sh    keep the work folder to look at after a failure
#
# One line per check ("ok" or "FAIL", then what differed); the exit code is 1
# when any check failed, 2 when the programs or tools are missing.
#
# The wizard is a property sheet: windriver's "page TITLE" makes its active
# page the current window, "sheet-press" works the sheet's Back, Next,
# Finish and Cancel, "expect-sheet-button" / "wait-sheet-button" check them.
set -u
WINDOW_TEST_HARNESS_ONLY=1
# shellcheck source=tests/window_test.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/window_test.sh"

# The desktop folder (CSIDL_DESKTOPDIRECTORY), as Wine names it for this user.
DESKTOP=$(timeout 60 "$WINE_RUN" cmd /c echo %USERPROFILE% </dev/null 2>/dev/null | tr -d '\r')
DESKTOP+='\Desktop'

# The header's description: 300 bytes from offset 14, up to the first zero.
description_of() { dd if="$1" bs=1 skip=14 count=300 status=none 2>/dev/null | tr -d '\0'; }

# -------------------------------------------------- the wizard at start-up ---

scenario "the wizard at start-up with a segment as argument: Next skips \"Trep Method\", Back returns"
write_settings "$SDIR/prog/dTrep.dat" wizardAtStart=1
cp -r "$WORK/fx/series" .
SEGMENT=$(win "$SDIR/series/movi0002.trp")
start_trep "$SEGMENT"
drive "\"Select File\" shows the segment, centred on the screen; only Next (and Cancel) usable" <<EOF
page "Select File"
expect-centred screen
expect-text CTL_SOURCE_PATH "$SEGMENT"
wait-sheet-button next 1
expect-sheet-button back 0
expect-sheet-button finish 0
expect-sheet-button cancel 1
expect-text WIZ_WELCOME "Welcome To Trep!"
expect-text WIZ_CLOSE "Close Wizard"
EOF
drive "Next goes to \"Select Destination\"; Back from there returns to \"Select File\"" <<EOF
page "Select File"
sheet-press next
page "Select Destination"
wait-sheet-button back 1
expect-sheet-button next 1
expect-checked WIZ_DEST_NAMED_DESKTOP 1
expect-text CTL_OUTPUT_FOLDER "$DESKTOP\movie"
expect-enabled CTL_OUTPUT_FOLDER 0
expect-enabled CTL_CHOOSE_FOLDER 0
sheet-press back
page "Select File"
expect-text CTL_SOURCE_PATH "$SEGMENT"
wait-sheet-button next 1
expect-sheet-button back 0
EOF
drive "Cancel: the main window is back with the join set up, no job started" <<EOF
page "Select File"
sheet-press cancel
window Trep
wait-text CTL_START "Go UnTrep!"
expect-text CTL_SOURCE_PATH "$SEGMENT"
expect-text CTL_OUTPUT_FOLDER "$DESKTOP\movie"
expect-text CTL_SIZE_SUMMARY "File was Trepped into $SERIES_COUNT files"
expect-text CTL_SEGMENT_COUNT $SERIES_COUNT
no-notice 500
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_eq "files in out" "" "$(ls -A out)"
report "nothing written"

# ------------------------------------------------- a split in the wizard ---

scenario "a split set up in the wizard alone: typed file, EMail, a selected folder, a description, Finish"
write_settings "$SDIR/prog/dTrep.dat" wizardAtStart=1
cp "$WORK/fx/movie.bin" .
MOVIE=$(win "$SDIR/movie.bin")
OUT=$(win "$SDIR/out")
start_trep
drive "\"Select File\" with no file: empty, Next not usable; a file that is not there leaves it so" <<EOF
page "Select File"
expect-text CTL_SOURCE_PATH ""
wait-sheet-button next 0
expect-sheet-button back 0
expect-sheet-button finish 0
type CTL_SOURCE_PATH "$(win "$SDIR/nothing.bin")"
wait-sheet-button next 0
type CTL_SOURCE_PATH "$MOVIE"
wait-sheet-button next 1
EOF
# steps on "Trep Method" | count field | size field | size usable | count usable
#   10,000,000 bytes. The page opens on "Divide by number" asking for 2:
#   q = 5,000,000, the segment q + 1 + (q + 1) / 256 = 5,019,532 bytes, shown
#   as 4901 kBytes. A custom size of 1 kByte makes 9766 segments; 4 asked
#   for make segments of 2450 kBytes; EMail is 900 kBytes, 11 segments.
METHOD_CASES=(
  "-                                            | 2    | 4901 | 0 | 1"
  "check WIZ_CUSTOM_SIZE 1                      | 2    | 4901 | 1 | 0"
  "type CTL_SIZE_NUMBER 1                       | 9766 | 1    | 1 | 0"
  "check WIZ_DIVIDE 1; type CTL_SEGMENT_COUNT 4 | 4    | 2450 | 0 | 1"
  "check WIZ_PRESET_EMAIL 1                     | 11   | 900  | 0 | 0"
)
drive "Next goes to \"Trep Method\": \"Divide by number\", Back and Next usable" <<EOF
page "Select File"
sheet-press next
page "Trep Method"
wait-sheet-button back 1
expect-sheet-button next 1
expect-checked WIZ_DIVIDE 1
expect-items CTL_SIZE_UNIT "Bytes|kBytes|MBytes|GBytes"
expect-selection CTL_SIZE_UNIT kBytes
expect-enabled CTL_SIZE_UNIT 0
EOF
for row in "${METHOD_CASES[@]}"; do
  read_row "$row" m_steps m_count m_size m_size_on m_count_on
  what=$m_steps
  [ "$what" = - ] && what="as opened"
  drive "\"Trep Method\", $what: count $m_count, size $m_size kBytes" <<EOF
page "Trep Method"
$(steps "$m_steps")
expect-text CTL_SEGMENT_COUNT $m_count
expect-text CTL_SIZE_NUMBER $m_size
expect-selection CTL_SIZE_UNIT kBytes
expect-enabled CTL_SIZE_NUMBER $m_size_on
expect-enabled CTL_SEGMENT_COUNT $m_count_on
EOF
done
drive "\"Select Destination\": the named folder on the desktop; \"Selected Folder\" lets the folder be typed" <<EOF
page "Trep Method"
sheet-press next
page "Select Destination"
expect-checked WIZ_DEST_NAMED_DESKTOP 1
expect-text CTL_OUTPUT_FOLDER "$DESKTOP\movie"
expect-enabled CTL_OUTPUT_FOLDER 0
check WIZ_DEST_SELECTED 1
expect-enabled CTL_OUTPUT_FOLDER 1
expect-enabled CTL_CHOOSE_FOLDER 1
expect-text CTL_OUTPUT_FOLDER "$DESKTOP\movie"
type CTL_OUTPUT_FOLDER "$OUT"
EOF
drive "\"Options\": Back and Finish usable; \"Use Trep\", \"Use CRC\"; a description typed; 1 recovery file" <<EOF
page "Select Destination"
sheet-press next
page "Options"
wait-sheet-button finish 1
expect-sheet-button back 1
expect-sheet-button next 0
expect-checked WIZ_USE_TREP 1
expect-checked WIZ_BAT_FILE 0
expect-checked WIZ_USE_CRC 1
expect-checked WIZ_ENCRYPT 0
expect-checked WIZ_USE_DESCRIPTION 0
expect-enabled WIZ_CIPHER_KEY 0
expect-enabled WIZ_DESCRIPTION 0
expect-enabled WIZ_USE_DESCRIPTION 1
check WIZ_USE_DESCRIPTION 1
expect-enabled WIZ_DESCRIPTION 1
type WIZ_DESCRIPTION "made by the wizard"
expect-text CTL_RECOVERY_COUNT 0
expect-enabled CTL_RECOVERY_COUNT 1
type CTL_RECOVERY_COUNT 1
EOF
drive "Finish: the job runs at once and ends with \"Finished\"; the main window shows what the wizard set up" <<EOF
page "Options"
sheet-press finish
expect-notice-buttons OK "Quit Trep"
notice 1 Finished
window Trep
wait-title "Trep 1.91"
wait-visible CTL_AUTO_RUN 1
expect-text CTL_SOURCE_PATH "$MOVIE"
expect-text CTL_FILE_NAME movie.bin
expect-text CTL_FILE_SIZE "10, 000, 000"
expect-text CTL_START "Go Trep!"
expect-text CTL_OUTPUT_FOLDER "$OUT"
expect-selection CTL_DESTINATION Folder
expect-text CTL_SEGMENT_COUNT 11
expect-text CTL_SIZE_NUMBER 900
expect-selection CTL_SIZE_UNIT kBytes
expect-text CTL_SIZE_SUMMARY "File will be Trepped into 11 files of 900 kBytes"
expect-text CTL_RECOVERY_COUNT 1
expect-text CTL_RECOVERY_SUMMARY "+ 1 recovery file"
expect-selection CTL_REBUILD_METHOD Trep
expect-checked CTL_USE_CRC 1
expect-checked CTL_ENCRYPT 0
expect-checked CTL_USE_DESCRIPTION 1
expect-text CTL_DESCRIPTION "made by the wizard"
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_eq "recovery files in out" "movi.par2 movi.vol0+1.par2" "$(cd out && ls -A movi.par2 movi.vol*.par2 | paste -sd ' ')"
par2 verify -q out/movi.par2 >/dev/null 2>&1
expect_eq "exit code of par2 verify" 0 "$?"
report "out holds movi.par2 and one recovery volume, which par2 verifies"
mkdir par2 && mv out/*.par2 par2/
expect_series "$SDIR/out" movi movie.bin 921600
report "out holds movi0001.trp .. movi0011.trp of 900 kBytes; trep rebuilds movie.bin from them"
expect_eq "description in movi0001.trp" "made by the wizard" "$(description_of "$SDIR/out/movi0001.trp")"
expect_eq "description flag in movi0001.trp" 1 "$(le "$SDIR/out/movi0001.trp" 12 2)"
report "movi0001.trp carries the description, flagged for showing"
expect_settings "$SDIR/prog/dTrep.dat" wizardAtStart=1 destinationMode=0 useDescription=1 sliderMax=9999 \
  recoveryFiles=1
report "dTrep.dat after Quit: the wizard still on at start, its folder as it stands, the description in use, 1 recovery file"

scenario "a file named beyond ASCII set up in the wizard: typed, a folder and a description in any script, Finish"
write_settings "$SDIR/prog/dTrep.dat" wizardAtStart=1
NAMED="résumé 日本語 🎬.bin"
cp "$WORK/fx/many.bin" "$NAMED"
mkdir "dossier Ωμέγα"
NAMED_OUT=$(win "$SDIR/dossier Ωμέγα")
start_trep
drive "\"Select File\": the name typed, Next; \"Trep Method\" as it opens; a selected folder; a description; Finish" <<EOF
page "Select File"
type CTL_SOURCE_PATH "$(win "$SDIR/$NAMED")"
wait-sheet-button next 1
expect-text CTL_SOURCE_PATH "$(win "$SDIR/$NAMED")"
sheet-press next
page "Trep Method"
wait-sheet-button next 1
sheet-press next
page "Select Destination"
check WIZ_DEST_SELECTED 1
type CTL_OUTPUT_FOLDER "$NAMED_OUT"
expect-text CTL_OUTPUT_FOLDER "$NAMED_OUT"
sheet-press next
page "Options"
wait-sheet-button finish 1
check WIZ_USE_DESCRIPTION 1
type WIZ_DESCRIPTION "Größe — 日本語"
sheet-press finish
notice 1 Finished
window Trep
wait-title "Trep 1.91"
wait-visible CTL_AUTO_RUN 1
expect-text CTL_SOURCE_PATH "$(win "$SDIR/$NAMED")"
expect-text CTL_OUTPUT_FOLDER "$NAMED_OUT"
click CTL_QUIT
wait-gone
EOF
wait_exit 0
# Divided by 2, as the page opens: q = 10,000, segments of q + 1 + (q + 1) / 256.
expect_series "$SDIR/dossier Ωμέγα" résu "$SDIR/$NAMED" $((10001 + 10001 / 256))
report "\"dossier Ωμέγα\" holds résu0001.trp and résu0002.trp; trep rebuilds \"$NAMED\" from them"
expect_eq "description in résu0001.trp" "Größe — 日本語" "$(description_of "$SDIR/dossier Ωμέγα/résu0001.trp")"
report "résu0001.trp carries the description typed on \"Options\""

# -------------------------------------------------- a join in the wizard ---

scenario "a join from the \"Wizard\" button: pages 1, 3, 4, Back from 3 to 1; the series' description shown"
cp -r "$WORK/fx/movie.bin" "$WORK/fx/series" .
# The series' first segment gets a description, flagged for showing.
printf '\001\000holiday film' | dd of=series/movi0001.trp bs=1 seek=12 conv=notrunc status=none
mkdir rebuilt
SEGMENT=$(win "$SDIR/series/movi0003.trp")
start_trep
drive "\"Wizard\" opens \"Select File\" centred on the main window; no file yet" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
move 120 60
open-page CTL_WIZARD "Select File"
expect-centred Trep
expect-text CTL_SOURCE_PATH ""
wait-sheet-button next 0
EOF
expect_eq "size of dTrep.dat" 58 "$(size_of "$SDIR/prog/dTrep.dat")"
expect_eq "wizardAtStart in dTrep.dat" 1 "$(le "$SDIR/prog/dTrep.dat" 8 4)"
report "dTrep.dat written by the \"Wizard\" button: wizardAtStart 1"
drive "a segment typed: Next goes to \"Select Destination\", Back to \"Select File\" and Next again" <<EOF
page "Select File"
type CTL_SOURCE_PATH "$SEGMENT"
wait-sheet-button next 1
sheet-press next
page "Select Destination"
wait-sheet-button back 1
sheet-press back
page "Select File"
expect-text CTL_SOURCE_PATH "$SEGMENT"
wait-sheet-button next 1
sheet-press next
page "Select Destination"
check WIZ_DEST_SELECTED 1
type CTL_OUTPUT_FOLDER "$(win "$SDIR/rebuilt")"
EOF
drive "\"Options\" in a join: the rebuild choice and \"Description\" not usable; the description shown" <<EOF
page "Select Destination"
sheet-press next
page "Options"
wait-sheet-button finish 1
expect-checked WIZ_USE_DESCRIPTION 1
expect-text WIZ_DESCRIPTION "holiday film"
expect-enabled WIZ_USE_DESCRIPTION 0
expect-enabled WIZ_USE_TREP 0
expect-enabled WIZ_BAT_FILE 0
expect-enabled WIZ_ENCRYPT 1
expect-enabled CTL_RECOVERY_COUNT 0
EOF
drive "Finish: the description notice, then \"Finished\"" <<EOF
page "Options"
sheet-press finish
notice 1 "holiday film"
notice 1 Finished
window Trep
wait-title "Trep 1.91"
wait-visible CTL_AUTO_RUN 1
expect-text CTL_SOURCE_PATH "$SEGMENT"
expect-text CTL_OUTPUT_FOLDER "$(win "$SDIR/rebuilt")"
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_eq "files in rebuilt" movie.bin "$(ls -A rebuilt)"
cmp -s rebuilt/movie.bin movie.bin || fail_because "rebuilt/movie.bin differs from movie.bin"
report "rebuilt/movie.bin is movie.bin, byte for byte"

# ------------------------------------------ back to page 1 for another file ---

scenario "back to \"Select File\" for another file: \"Trep Method\" and \"Select Destination\" set up anew"
write_settings "$SDIR/prog/dTrep.dat" wizardAtStart=1
cp "$WORK/fx/movie.bin" "$WORK/fx/batch.bin" .
start_trep "$(win "$SDIR/movie.bin")"
drive "movie.bin: EMail on \"Trep Method\" (11 segments), the named folder movie; back to \"Select File\"" <<EOF
page "Select File"
wait-sheet-button next 1
sheet-press next
page "Trep Method"
check WIZ_PRESET_EMAIL 1
expect-text CTL_SEGMENT_COUNT 11
sheet-press next
page "Select Destination"
expect-text CTL_OUTPUT_FOLDER "$DESKTOP\movie"
sheet-press back
page "Trep Method"
sheet-press back
page "Select File"
EOF
# batch.bin, 2,000,000 bytes, asked for in 2: q = 1,000,000, the segment
# 1,003,907 bytes, shown as 980 kBytes; the job reads back 980 kBytes
# (1,003,520 bytes), which still makes 2 segments.
drive "batch.bin typed: \"Trep Method\" back at 2 segments of batch.bin, the folder named batch" <<EOF
page "Select File"
type CTL_SOURCE_PATH "$(win "$SDIR/batch.bin")"
wait-sheet-button next 1
sheet-press next
page "Trep Method"
expect-checked WIZ_DIVIDE 1
expect-checked WIZ_PRESET_EMAIL 0
expect-text CTL_SEGMENT_COUNT 2
expect-text CTL_SIZE_NUMBER 980
expect-enabled CTL_SEGMENT_COUNT 1
sheet-press next
page "Select Destination"
expect-checked WIZ_DEST_NAMED_DESKTOP 1
expect-text CTL_OUTPUT_FOLDER "$DESKTOP\batch"
check WIZ_DEST_SELECTED 1
type CTL_OUTPUT_FOLDER "$(win "$SDIR/out")"
sheet-press next
page "Options"
sheet-press finish
notice 1 Finished
window Trep
wait-visible CTL_AUTO_RUN 1
click CTL_QUIT
wait-gone
EOF
wait_exit 0
# Two segments of the size the page computed for them: q + 1 + (q + 1) / 256
# with q = 2,000,000 / 2, which the fields show as 980 kBytes.
TWO_OF_BATCH=$((1000001 + 1000001 / 256))
expect_series "$SDIR/out" batc batch.bin $TWO_OF_BATCH
report "out holds batc0001.trp and batc0002.trp; trep rebuilds batch.bin from them"

# ------------------------------------------------- the BAT-file rebuild ---

scenario "\"Create a BAT File\" on \"Options\": segments without headers and UnTrep.bat, though \"Encrypt\" was ticked"
write_settings "$SDIR/prog/dTrep.dat" wizardAtStart=1 destinationMode=0
cp "$WORK/fx/batch.bin" .
start_trep "$(win "$SDIR/batch.bin")"
drive "batch.bin into out; \"Encrypt\" ticked, then the BAT file: the boxes and fields out of use" <<EOF
page "Select File"
wait-sheet-button next 1
sheet-press next
page "Trep Method"
sheet-press next
page "Select Destination"
expect-checked WIZ_DEST_DESKTOP 1
expect-text CTL_OUTPUT_FOLDER "$DESKTOP"
check WIZ_DEST_SELECTED 1
type CTL_OUTPUT_FOLDER "$(win "$SDIR/out")"
sheet-press next
page "Options"
check WIZ_ENCRYPT 1
expect-enabled WIZ_CIPHER_KEY 1
check WIZ_BAT_FILE 1
expect-enabled WIZ_ENCRYPT 0
expect-enabled WIZ_CIPHER_KEY 0
expect-enabled WIZ_USE_DESCRIPTION 0
expect-enabled WIZ_DESCRIPTION 0
expect-checked WIZ_ENCRYPT 1
sheet-press finish
notice 1 Finished
window Trep
wait-visible CTL_AUTO_RUN 1
expect-selection CTL_REBUILD_METHOD "BAT file"
expect-selection CTL_DESTINATION Folder
expect-text CTL_OUTPUT_FOLDER "$(win "$SDIR/out")"
expect-checked CTL_ENCRYPT 1
expect-text CTL_FILE_NAME batch.bin
expect-text CTL_START "Go Trep!"
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_settings "$SDIR/prog/dTrep.dat" wizardAtStart=1 rebuildMethod=1 destinationMode=0 sliderMax=9999
report "dTrep.dat after Quit: the BAT file the main window shows"
expect_eq "files in out" "$(printf 'UnTrep.bat\nbatc0001.trp\nbatc0002.trp')" "$(ls -A out | LC_ALL=C sort)"
expect_eq "size of batc0001.trp" $TWO_OF_BATCH "$(size_of out/batc0001.trp)"
expect_eq "size of batc0002.trp" $((2000000 - TWO_OF_BATCH)) "$(size_of out/batc0002.trp)"
cat out/batc0001.trp out/batc0002.trp 2>/dev/null | cmp -s - batch.bin &&
  fail_because "the segments put together give batch.bin: they were not scrambled"
report "out holds UnTrep.bat and two segments without headers, scrambled (\"Encrypt\" kept)"

# -------------------------------------- what the wizard leaves is shown ---

scenario "\"Encrypt\" ticked in the wizard, then Cancel: the main window shows it, and unticked there it is off"
write_settings "$SDIR/prog/dTrep.dat" wizardAtStart=1 destinationMode=0
cp "$WORK/fx/movie.bin" .
OUT=$(win "$SDIR/out")
start_trep "$(win "$SDIR/movie.bin")"
drive "movie.bin, 2 segments, into out; \"Encrypt\" ticked on \"Options\"; Cancel" <<EOF
page "Select File"
wait-sheet-button next 1
sheet-press next
page "Trep Method"
sheet-press next
page "Select Destination"
check WIZ_DEST_SELECTED 1
type CTL_OUTPUT_FOLDER "$OUT"
sheet-press next
page "Options"
check WIZ_ENCRYPT 1
sheet-press cancel
window Trep
wait-visible CTL_AUTO_RUN 1
expect-checked CTL_ENCRYPT 1
expect-enabled CTL_CIPHER_KEY 1
expect-text CTL_OUTPUT_FOLDER "$OUT"
expect-text CTL_SEGMENT_COUNT 2
expect-text CTL_START "Go Trep!"
EOF
drive "\"Encrypt\" unticked in the main window; \"Go Trep!\"" <<EOF
window Trep
check CTL_ENCRYPT 0
expect-enabled CTL_CIPHER_KEY 0
click CTL_START
notice 1 Finished
wait-visible CTL_AUTO_RUN 1
click CTL_QUIT
wait-gone
EOF
wait_exit 0
TWO_OF_MOVIE=$((5000001 + 5000001 / 256))
expect_series "$SDIR/out" movi movie.bin $TWO_OF_MOVIE
report "out holds two plain segments; trep rebuilds movie.bin from them byte for byte"

# ------------------------------ closed without Finish: the job it shows ---

# movie.bin (10,000,000 bytes) with "EMail" in the main window: 11 files of
# 900 kBytes. The wizard takes the same file again on "Select File" (the
# field emptied, then the path typed: each is analysed) and closes by the
# row's button before "Trep Method": the window shows the split it runs, and
# "Go Trep!" runs exactly that. The segments go beside the file ("Same as
# Source"), in a folder of their own.
EMAIL_SET="File will be Trepped into 11 files of 900 kBytes"
while IFS='|' read -r how close_steps; do
  scenario "the file taken again in the wizard, then $how: the window shows the split it runs"
  mkdir -p src
  cp "$WORK/fx/movie.bin" src/
  MOVIE=$(win "$SDIR/src/movie.bin")
  start_trep "$MOVIE"
  drive "\"EMail\" chosen; the wizard takes movie.bin again; $how" <<EOF
window Trep
wait-text CTL_START "Go Trep!"
choose CTL_DESTINATION "Same as Source"
choose CTL_PRESETS EMail
expect-text CTL_SIZE_SUMMARY "$EMAIL_SET"
open-page CTL_WIZARD "Select File"
type CTL_SOURCE_PATH ""
wait-sheet-button next 0
type CTL_SOURCE_PATH "$MOVIE"
wait-sheet-button next 1
$(steps "$close_steps")
window Trep
wait-visible CTL_AUTO_RUN 1
expect-text CTL_SOURCE_PATH "$MOVIE"
expect-text CTL_FILE_NAME movie.bin
expect-selection CTL_PRESETS EMail
expect-text CTL_SIZE_NUMBER 900
expect-selection CTL_SIZE_UNIT kBytes
expect-text CTL_SEGMENT_COUNT 11
expect-text CTL_SIZE_SUMMARY "$EMAIL_SET"
expect-enabled CTL_START 1
no-notice 500
EOF
  drive "\"Go Trep!\": \"Finished\", no other notice" <<EOF
window Trep
click CTL_START
notice 1 Finished
wait-visible CTL_AUTO_RUN 1
click CTL_QUIT
wait-gone
EOF
  wait_exit 0
  mv src/movie.bin .
  expect_series "$SDIR/src" movi movie.bin 921600
  report "src holds 11 segments of 900 kBytes; trep rebuilds movie.bin from them"
done <<'ROWS'
Cancel|sheet-press cancel
"Close Wizard"|click WIZ_CLOSE
ROWS

# No file, or none that is there: the window looks as before any file.
while IFS='|' read -r how typed field; do
  scenario "the wizard closed with $how: the window shows no file and its first sizes"
  start_trep
  drive "\"Wizard\"; $how; Cancel" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
expect-text CTL_SIZE_NUMBER 900
open-page CTL_WIZARD "Select File"
$([ "$typed" = - ] || echo "type CTL_SOURCE_PATH \"$typed\"")
sheet-press cancel
window Trep
wait-visible CTL_AUTO_RUN 1
expect-text CTL_SOURCE_PATH "$field"
expect-text CTL_FILE_NAME "No File"
expect-text CTL_SIZE_NUMBER 900
expect-selection CTL_SIZE_UNIT kBytes
expect-text CTL_SEGMENT_COUNT 2
expect-text CTL_SIZE_SUMMARY "Pick a valid file."
expect-enabled CTL_START 0
click CTL_QUIT
wait-gone
EOF
  wait_exit 0
done <<ROWS
no file chosen|-|None Selected
a file that is not there|$(win "$WORK/nothing.bin")|$(win "$WORK/nothing.bin")
ROWS

# ---------------------------------------- the main window's file kept ---

scenario "\"Wizard\" with a file chosen in the main window and none on the command line: \"Select File\" keeps it"
cp "$WORK/fx/batch.bin" .
BATCH=$(win "$SDIR/batch.bin")
start_trep
drive "batch.bin typed in the main window; \"Wizard\": the page shows it, Next usable; Cancel" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
type CTL_SOURCE_PATH "$BATCH"
wait-text CTL_START "Go Trep!"
open-page CTL_WIZARD "Select File"
expect-text CTL_SOURCE_PATH "$BATCH"
wait-sheet-button next 1
sheet-press cancel
window Trep
wait-text CTL_FILE_NAME batch.bin
expect-text CTL_SOURCE_PATH "$BATCH"
expect-enabled CTL_START 1
click CTL_QUIT
wait-gone
EOF
wait_exit 0

# ------------------------------------------------------- "Close Wizard" ---

scenario "\"Close Wizard\": the wizard off for the next start; the chosen file stays; no job"
write_settings "$SDIR/prog/dTrep.dat" wizardAtStart=1 destinationMode=0
cp "$WORK/fx/movie.bin" "$WORK/fx/batch.bin" .
MOVIE=$(win "$SDIR/movie.bin")
BATCH=$(win "$SDIR/batch.bin")
start_trep "$MOVIE"
drive "\"Select File\" shows movie.bin; batch.bin typed instead; \"Close Wizard\"" <<EOF
page "Select File"
expect-text CTL_SOURCE_PATH "$MOVIE"
wait-sheet-button next 1
type CTL_SOURCE_PATH "$BATCH"
wait-sheet-button next 1
click WIZ_CLOSE
window Trep
wait-text CTL_START "Go Trep!"
expect-text CTL_SOURCE_PATH "$BATCH"
expect-text CTL_FILE_NAME batch.bin
expect-enabled CTL_START 1
no-notice 500
EOF
expect_eq "size of dTrep.dat" 58 "$(size_of "$SDIR/prog/dTrep.dat")"
expect_eq "magic of dTrep.dat" "$(printf TREP1600 | od -A n -t x1 | tr -d ' \n')" "$(hex "$SDIR/prog/dTrep.dat" 0 8)"
expect_eq "wizardAtStart in dTrep.dat" 0 "$(le "$SDIR/prog/dTrep.dat" 8 4)"
report "dTrep.dat written by \"Close Wizard\": wizardAtStart 0"
drive "\"Quit\"" <<EOF
window Trep
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_eq "files in out" "" "$(ls -A out)"
report "nothing written"
start_trep
drive "started again: the main window, no wizard" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_eq "wizardAtStart in dTrep.dat" 0 "$(le "$SDIR/prog/dTrep.dat" 8 4)"
report "dTrep.dat still holds wizardAtStart 0"

# ------------------------------------------------ file-type association ---

# shellcheck source=tests/lib/association.sh
source "$ROOT/tests/lib/association.sh"

scenario "\"Auto Run\" writes the eight entries of the association; a second press leaves them as they are"
for key in "${ASSOCIATION_KEYS[@]}"; do
  timeout 60 "$WINE_RUN" reg delete "$key" /f </dev/null >/dev/null 2>&1
done
PROG="$(win "$SDIR/prog")\\"
WANT=$(association_entries "$PROG" | sed 's/^[^|]*|[^|]*|//')
expect_eq "entries before" "$(printf '(none)\n%.0s' 1 2 3 4 5 6 7 8)" "$(registry_read "$PROG")"
report "none of the entries is there before"
start_trep
drive "the button reads \"Auto Run\" (Wine gives the program administrator rights); pressed" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
expect-text CTL_AUTO_RUN "Auto Run"
click CTL_AUTO_RUN
no-notice 300
EOF
FIRST=$(registry_read "$PROG")
expect_eq "entries after the first press" "$WANT" "$FIRST"
report "the eight entries read back as written"
drive "pressed again" <<EOF
window Trep
click CTL_AUTO_RUN
no-notice 300
EOF
expect_eq "entries after the second press" "$FIRST" "$(registry_read "$PROG")"
report "the second press leaves the entries unchanged"
drive "\"Quit\"" <<EOF
window Trep
click CTL_QUIT
wait-gone
EOF
wait_exit 0

scenario "\"Auto Run\" from a program folder named beyond ASCII: the entries name it as it is"
for key in "${ASSOCIATION_KEYS[@]}"; do
  timeout 60 "$WINE_RUN" reg delete "$key" /f </dev/null >/dev/null 2>&1
done
PROG_DIR="$SDIR/prögram Ωμέγα 日本"
PROG="$(win "$PROG_DIR")\\"
start_trep
drive "\"Auto Run\" pressed" <<EOF
window Trep
wait-text CTL_SOURCE_PATH "None Selected"
click CTL_AUTO_RUN
no-notice 300
click CTL_QUIT
wait-gone
EOF
wait_exit 0
expect_eq "entries" "$(association_entries "$PROG" | sed 's/^[^|]*|[^|]*|//')" "$(registry_read "$PROG")"
report "the eight entries name \"prögram Ωμέγα 日本\" whole"
expect_settings "$PROG_DIR/dTrep.dat"
report "dTrep.dat written in \"prögram Ωμέγα 日本\""

end_scenario
finish_checks
