#!/usr/bin/env bash
# Package tests: the packages that scripts/package.sh leaves in
# build/packages, each used the way a person would use it.
#
# - The Debian package: its files and fields; unpacked into a private root
#   (dpkg -x), the installed trep's help and version, a split and a rebuild
#   judged by coreutils (split, cmp), "Open ReadMe" naming the installed
#   guide, the manual page rendered by groff and man without a warning, and
#   lintian without an error.
# - The Windows zips: exactly Trep.exe and ReadMe.htm; its Trep.exe splits
#   under Wine.
# - The Windows installers, in a Wine prefix of their own made anew for each
#   run (build/wineprefix-package, or -package64 for a 64-bit prefix): where
#   this machine runs 32-bit programs, Trep-VERSION-setup.exe in a 32-bit
#   prefix (it installs the 32-bit Trep.exe there); everywhere,
#   Trep-VERSION-win64-setup.exe in a 64-bit one. A silent install puts the files, the
#   Start-menu entry, the Add/Remove Programs entry and the association's
#   eight entries in place; the installed Trep.exe splits; the silent
#   uninstall leaves no file and no registry key that was not there before.
#   Declining the association (/NOASSOC) writes none, and the uninstaller
#   leaves alone an association that another copy of Trep.exe wrote.
#
#   tests/package_test.sh           run every check (make the packages first)
#   KEEP=1 tests/package_test.sh    keep the work folder and the Wine prefix
#
# One line per check ("ok" or "FAIL", then what differed); the exit code is 1
# when any check failed, 2 when the packages or tools are missing.
set -u
export LC_ALL=C.UTF-8

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/windows-build.sh
source "$ROOT/scripts/windows-build.sh" || exit 2
# The Windows packages tried here: each as "ARCH ZIP SETUP".
if [ "$TREP_WIN" = win32 ]; then
  WINDOWS_CASES=("win32 win32.zip setup.exe" "win64 win64.zip win64-setup.exe")
  echo "Windows packages: the 32-bit and the 64-bit ones (this machine runs both)"
else
  WINDOWS_CASES=("win64 win64.zip win64-setup.exe")
  echo "Windows packages: the 64-bit ones alone (this machine runs no 32-bit programs, or TREP_WINDOWS_BUILD=win64)"
fi
PACKAGES=$ROOT/build/packages
BUILT_TREP=$ROOT/build/native/trep
RUN_GUARD=120  # seconds a program run may last: a guard against a hang only

for tool in dpkg dpkg-deb lintian groff man unzip zcat wine wineserver flock cmp split stat \
  timeout od; do
  if ! command -v "$tool" >/dev/null; then
    echo "package_test: the tool '$tool' is missing (scripts/install-deps.sh)" >&2
    exit 2
  fi
done
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$ROOT/build/native/CMakeCache.txt" 2>/dev/null)
ARCH=$(dpkg --print-architecture)
DEB=$PACKAGES/trep_${VERSION}_$ARCH.deb
WINDOWS_FILES=()
for case in "${WINDOWS_CASES[@]}"; do
  read -r _ zip setup <<<"$case"
  WINDOWS_FILES+=("$PACKAGES/Trep-$VERSION-$zip" "$PACKAGES/Trep-$VERSION-$setup")
done
for f in "$DEB" "${WINDOWS_FILES[@]}" "$BUILT_TREP"; do
  if [ -z "$VERSION" ] || [ ! -f "$f" ]; then
    echo "package_test: ${f} is missing; make the packages with scripts/package.sh" >&2
    exit 2
  fi
done

# The prefixes of these tests alone (one for each architecture), used by
# one run at a time.
PREFIX_BASE=$ROOT/build/wineprefix-package
export WINEDEBUG=-all
# No .NET or Gecko offers in a new prefix; no menu entries of the host for
# the Start-menu entries the installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
exec 9>"$PREFIX_BASE.lock"
if ! flock -w 600 9; then
  echo "package_test: another run holds $PREFIX_BASE" >&2
  exit 2
fi
# use_prefix ARCH: the prefix and the Wine loader for ARCH (win32|win64).
# /usr/bin/wine takes the 32-bit loader whenever it is installed, also where
# it cannot run: the 64-bit one is called by its own name.
use_prefix() {
  if [ "$1" = win64 ]; then
    export WINEPREFIX=${PREFIX_BASE}64 WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    WINE=/usr/lib/wine/wine64
  else
    export WINEPREFIX=$PREFIX_BASE WINEARCH=win32
    unset WINELOADER
    WINE=wine
  fi
  WINE_RUN=$WINE  # for tests/lib/association.sh
}

WORK=$(mktemp -d "${TMPDIR:-/tmp}/trep-package.XXXXXX")
cleanup() {
  timeout 60 wineserver -k 2>/dev/null
  timeout 60 wineserver -w 2>/dev/null
  if [ "${KEEP:-0}" = 1 ]; then
    echo "work folder kept: $WORK; Wine prefixes kept: $PREFIX_BASE*"
  else
    rm -rf "$WORK" "$PREFIX_BASE" "${PREFIX_BASE}64"
  fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Everything the programs could touch outside their folders is private to
# this run: the instance lock, HOME (and so the desktop and the folders a
# new Wine prefix links to).
export XDG_RUNTIME_DIR=$WORK/runtime
export HOME=$WORK/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY XDG_DESKTOP_DIR XDG_CONFIG_HOME

# shellcheck source=tests/lib/checks.sh
source "$ROOT/tests/lib/checks.sh"
# shellcheck source=tests/lib/association.sh
source "$ROOT/tests/lib/association.sh"

# run PROGRAM ARGS...: runs it with stdin closed, or fed ANSWERS (printf
# escapes allowed); sets RC, OUT (stdout) and ERR (stderr).
ANSWERS=
run() {
  printf %b "$ANSWERS" >"$WORK/answers"
  local input=/dev/null
  [ -n "$ANSWERS" ] && input=$WORK/answers
  timeout "$RUN_GUARD" "$@" <"$input" >"$WORK/stdout" 2>"$WORK/stderr"
  RC=$?
  OUT=$(<"$WORK/stdout")
  ERR=$(<"$WORK/stderr")
  [ "$RC" = 124 ] && fail_because "$* did not end within ${RUN_GUARD}s"
}
win() { local p=$1; echo "Z:${p//\//\\}"; }  # the path as a Windows program sees it
wine_idle() { timeout 60 wineserver -w 2>/dev/null; }
files_in() { (cd "$1" 2>/dev/null && find . -mindepth 1 | sed 's|^\./||' | sort); }

# The file to split: random bytes, 1,300,000 of them, so 500 KiB segments
# make three, the last one short.
SEG_KIB=500
SEG_BYTES=$((SEG_KIB * 1024))
mkdir -p "$WORK/fx"
head -c 1300000 /dev/urandom >"$WORK/fx/data.bin"

# expect_series DIR: DIR holds data0001.trp .. data0003.trp of fx/data.bin
# cut at SEG_BYTES, and every payload is the piece that coreutils' split cuts
# at the same size (652 header bytes before the first, 8 before the others).
expect_series() {
  local dir=$1 pieces=$WORK/pieces.$RANDOM i skip
  expect_eq "segments in ${dir#"$WORK/"}" "$(printf 'data%04d.trp\n' 1 2 3)" "$(files_in "$dir")"
  mkdir -p "$pieces"
  split -b "$SEG_BYTES" -d -a 4 "$WORK/fx/data.bin" "$pieces/p"
  for i in 1 2 3; do
    skip=$((i == 1 ? 652 : 8))
    tail -c +$((skip + 1)) "$dir/$(printf 'data%04d.trp' "$i")" 2>/dev/null |
      cmp -s - "$pieces/$(printf 'p%04d' $((i - 1)))" ||
      fail_because "the payload of segment $i differs from split's piece $i"
  done
  rm -rf "$pieces"
}
# expect_rebuilt_by TREP DIR: TREP rebuilds fx/data.bin from segment 0002 in DIR.
expect_rebuilt_by() {
  local out=$WORK/rebuilt.$RANDOM
  mkdir -p "$out"
  run "$1" "/i=$2/data0002.trp" "/o=$out" /q
  expect_eq "exit code of the rebuild" 0 "$RC"
  cmp -s "$out/data.bin" "$WORK/fx/data.bin" || fail_because "the rebuilt data.bin differs"
  expect_eq "modification time of the rebuilt file" "$(stat -c %Y "$WORK/fx/data.bin")" \
    "$(stat -c %Y "$out/data.bin" 2>/dev/null)"
  rm -rf "$out"
}

# ====================================================== Debian package ===

echo "== the Debian package $(basename "$DEB") ($(stat -c %s "$DEB") bytes)"

WANT_FILES="./usr/bin/trep
./usr/share/bash-completion/completions/trep
./usr/share/doc/trep/README.md
./usr/share/doc/trep/ReadMe.htm
./usr/share/doc/trep/changelog.gz
./usr/share/doc/trep/copyright
./usr/share/man/man1/trep.1.gz"
expect_eq "files" "$WANT_FILES" "$(dpkg-deb -c "$DEB" | grep -v '^d' | awk '{print $6}' | sort)"
expect_eq "owners" "root/root" "$(dpkg-deb -c "$DEB" | awk '{print $2}' | sort -u)"
while IFS='|' read -r field want; do
  expect_eq "field $field" "$want" "$(dpkg-deb -f "$DEB" "$field")"
done <<EOF
Package|trep
Version|$VERSION
Architecture|$ARCH
Section|utils
EOF
expect_has "Depends" "$(dpkg-deb -f "$DEB" Depends)" "libc6"
report "the package holds the program, its manual page and its documents, owned by root"

PKG_ROOT=$WORK/root
dpkg -x "$DEB" "$PKG_ROOT"
TREP=$PKG_ROOT/usr/bin/trep
[ -x "$TREP" ] || fail_because "dpkg -x gave no executable usr/bin/trep"
cmp -s "$PKG_ROOT/usr/share/doc/trep/ReadMe.htm" "$ROOT/ReadMe.htm" ||
  fail_because "the installed ReadMe.htm differs from the repository's"
report "dpkg -x unpacks it into a private root"

# The bash completion as bash-completion loads it: the subcommands, then a
# subcommand's options and the media names of -s.
completed=$(bash -c 'source "$1" && for line in "trep sp" "trep split -s cd8" "trep join --fo"; do
  read -r -a COMP_WORDS <<<"$line"; COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _trep; echo "${COMPREPLY[*]}"
  done' bash "$PKG_ROOT/usr/share/bash-completion/completions/trep" 2>&1)
expect_eq "completions" "split
cd80
--force" "$completed"
report "the bash completion completes the subcommands, their options and the media"

# Help and version: printed on stdout, exit code 0, nothing made, also when
# other switches stand beside them.
USAGE_HEAD="Trep $VERSION - splits a file into a numbered series of segment files and"
while IFS= read -r row; do
  read_row "$row" args first
  mkdir -p "$WORK/hv" && cd "$WORK/hv" || exit 2
  cp "$WORK/fx/data.bin" .
  # shellcheck disable=SC2086 # the arguments are words of the table
  run "$TREP" $args
  expect_eq "exit code" 0 "$RC"
  expect_eq "first line on stdout" "$first" "$(head -n 1 <<<"$OUT")"
  expect_empty "stderr" "$ERR"
  expect_eq "files afterwards" "data.bin" "$(files_in .)"
  [ "$first" = "$USAGE_HEAD" ] && expect_has "usage" "$OUT" "Usage: trep /i=FILE"
  report "installed trep $args"
  cd "$WORK" && rm -rf "$WORK/hv"
done <<EOF
--version                       | trep $VERSION
--help                          | $USAGE_HEAD
-h                              | $USAGE_HEAD
/?                              | $USAGE_HEAD
/i=data.bin /o=out /q --version | trep $VERSION
/i=data.bin /o=out /q -h        | $USAGE_HEAD
EOF

mkdir -p "$WORK/deb-split"
run "$TREP" "/i=$WORK/fx/data.bin" "/o=$WORK/deb-split" "/s=$SEG_KIB" /q
expect_eq "exit code of the split" 0 "$RC"
expect_series "$WORK/deb-split"
expect_rebuilt_by "$TREP" "$WORK/deb-split"
report "the installed trep splits (segments as coreutils' split cuts them) and rebuilds (cmp)"

# "Open ReadMe" (answer 2 to "Cannot find first file!") names the guide:
# where the package put it, and beside the program in the build folder.
while IFS= read -r row; do
  read_row "$row" program guide
  ANSWERS='2\n' run "$program" "/i=$WORK/none0002.trp"
  expect_eq "exit code" 2 "$RC"
  named=$(sed -n 's/.*the user guide is //p' <<<"$ERR")
  expect_eq "guide named" "$guide" "$named"
  cmp -s "$named" "$ROOT/ReadMe.htm" || fail_because "\"$named\" is not the user guide"
  report "\"Open ReadMe\" of ${program#"$WORK/"} names an existing ReadMe.htm"
done <<EOF
$TREP       | $PKG_ROOT/usr/share/doc/trep/ReadMe.htm
$BUILT_TREP | $ROOT/build/native/ReadMe.htm
EOF

# The manual page: groff with every warning, and man as lintian runs it,
# say nothing; the page names every switch of the usage and every exit code
# of the README.
zcat "$PKG_ROOT/usr/share/man/man1/trep.1.gz" >"$WORK/installed.1"
cmp -s "$WORK/installed.1" "$ROOT/docs/trep.1" || fail_because "the installed page differs from docs/trep.1"
for page in "$ROOT/docs/trep.1" "$PKG_ROOT/usr/share/man/man1/trep.1.gz"; do
  expect_empty "groff -ww on ${page#"$WORK/"}" \
    "$(zcat -f "$page" | groff -ww -man -Tutf8 2>&1 >/dev/null)"
  expect_empty "man --warnings -l ${page#"$WORK/"}" \
    "$(MANPAGER=cat MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
done
RENDERED=$(MANPAGER=cat MANWIDTH=80 man -l "$ROOT/docs/trep.1" 2>/dev/null)
expect_has "the page" "$RENDERED" "SYNOPSIS"
run "$TREP" --help
for switch in $(grep -oE '^  (/[a-z]=?|--[a-z]+)' <<<"$OUT") -h '/?'; do
  expect_has "switches in the page" "$RENDERED" "$switch"
done
STATUS=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$RENDERED")
for code in $(sed -n '/^Exit codes:/,/^## /p' "$ROOT/README.md" | grep -oE '^\| [0-9]+ ' | tr -d '| '); do
  grep -qE "^ +$code +[A-Z]" <<<"$STATUS" || fail_because "exit code $code is not in EXIT STATUS"
done
report "the manual page renders without a warning and names every switch and exit code"

lintian --display-info "$DEB" >"$WORK/lintian" 2>&1
LINTIAN_RC=$?
LINTIAN=$(grep -v 'running with root privileges' "$WORK/lintian")
ERRORS=$(grep '^E:' <<<"$LINTIAN")
expect_empty "lintian errors" "$ERRORS"
[ "$LINTIAN_RC" -le 1 ] || fail_because "lintian ended with $LINTIAN_RC"
report "lintian reports no error"
grep -E '^[WI]:' <<<"$LINTIAN" | sed 's/^/       lintian: /'

# windows_packages ARCH ZIP SETUP: the zip and the installer of one
# Windows build, in a new prefix of that architecture.
windows_packages() {
  local ARCH_WIN=$1 ZIP=$PACKAGES/Trep-$VERSION-$2 SETUP=$PACKAGES/Trep-$VERSION-$3
  use_prefix "$ARCH_WIN"
  # =========================================================== Windows zip ===

  echo "== the Windows zip $(basename "$ZIP") ($(stat -c %s "$ZIP") bytes)"
  TOP=Trep-$VERSION-$ARCH_WIN
  expect_eq "entries" "$(printf '%s\n' "$TOP/ReadMe.htm" "$TOP/Trep.exe")" "$(unzip -Z1 "$ZIP" | sort)"
  rm -rf "$WORK/zip" "$WORK/zip-split" "$WORK/setup-split"
  mkdir -p "$WORK/zip"
  unzip -q "$ZIP" -d "$WORK/zip"
  cmp -s "$WORK/zip/$TOP/ReadMe.htm" "$ROOT/ReadMe.htm" || fail_because "ReadMe.htm differs"
  ZIP_EXE=$WORK/zip/$TOP/Trep.exe
  expect_eq "Trep.exe begins" "4d5a" "$(hex "$ZIP_EXE" 0 2)"
  if [ "$ARCH_WIN" = win64 ]; then machine=x86-64:$((0x8664)); else machine=i386:$((0x14c)); fi
  expect_eq "Trep.exe's machine (${machine%:*})" "${machine#*:}" "$(le "$ZIP_EXE" $(($(le "$ZIP_EXE" 60 4) + 4)) 2)"
  report "the zip holds exactly Trep.exe (${machine%:*}) and ReadMe.htm in $TOP/"

  # A new prefix for this run: nothing of an earlier run can hide a leftover.
  rm -rf "$WINEPREFIX"
  if ! timeout 300 "$WINE" cmd /c exit 0 >/dev/null 2>&1; then
    echo "package_test: Wine does not run in $WINEPREFIX" >&2
    exit 2
  fi
  wine_idle

  mkdir -p "$WORK/zip-split"
  run "$WINE" "$ZIP_EXE" "/i=$(win "$WORK/fx/data.bin")" "/o=$(win "$WORK/zip-split")" "/s=$SEG_KIB" /q
  expect_eq "exit code of the split" 0 "$RC"
  expect_series "$WORK/zip-split"
  expect_rebuilt_by "$TREP" "$WORK/zip-split"
  wine_idle
  report "the zip's Trep.exe splits under Wine; trep rebuilds its series"

  # ===================================================== Windows installer ===

  echo "== the Windows installer $(basename "$SETUP") ($(stat -c %s "$SETUP") bytes)"
  DRIVE_C=$WINEPREFIX/drive_c
  INSTALLED=$DRIVE_C/Program\ Files/Trep
  PROG_WIN='C:\Program Files\Trep\'
  START_MENU=$DRIVE_C/ProgramData/Microsoft/Windows/Start\ Menu/Programs
  UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Trep'

  # What the prefix holds, to compare after the uninstall: every registry key
  # (without Wine's time stamps), every line that names Trep, every file
  # outside the temporary folders (the uninstaller runs from a copy there that
  # the system removes at its next start).
  registry_keys() { cat "$WINEPREFIX"/*.reg | sed -nE 's/^(\[[^]]*\]).*$/\1/p' | sort -u; }
  registry_trep() { cat "$WINEPREFIX"/*.reg | grep -i 'trep' | grep -v -i 'faultrep'; }
  prefix_files() { files_in "$DRIVE_C" | grep -v '^users/[^/]*/Temp/'; }
  snapshot_prefix() {
    wine_idle
    registry_keys >"$WORK/$1.keys"
    registry_trep >"$WORK/$1.trep"
    prefix_files >"$WORK/$1.files"
  }
  # expect_as_before NAME: nothing is in the prefix that was not in snapshot NAME.
  expect_as_before() {
    snapshot_prefix now
    expect_empty "registry keys added" "$(comm -13 "$WORK/$1.keys" "$WORK/now.keys")"
    expect_eq "registry lines naming Trep" "$(<"$WORK/$1.trep")" "$(<"$WORK/now.trep")"
    expect_empty "files added" "$(comm -13 "$WORK/$1.files" "$WORK/now.files")"
  }
  uninstall_value() {  # NAME: the data of a value of the Add/Remove Programs entry
    "$WINE" reg query "$UNINSTALL_KEY" /v "$1" </dev/null 2>/dev/null | tr -d '\r' |
      sed -nE "s/^ +$1 +REG_[A-Z]+ +//p"
  }
  # uninstall: runs the uninstaller silently, as Add/Remove Programs would.
  uninstall() {
    run "$WINE" "${PROG_WIN}Uninstall.exe" /S
    expect_eq "exit code of the uninstaller" 0 "$RC"
    wine_idle  # the uninstaller goes on in a copy of itself
  }

  snapshot_prefix before
  NONE=$(printf '(none)\n%.0s' 1 2 3 4 5 6 7 8)
  expect_eq "association before" "$NONE" "$(registry_read "$PROG_WIN")"
  report "the new prefix holds no association"

  run "$WINE" "$SETUP" /S
  expect_eq "exit code of the installer" 0 "$RC"
  wine_idle
  expect_eq "installed files" "$(printf '%s\n' DefSet.txt ReadMe.htm Trep.exe Uninstall.exe)" \
    "$(files_in "$INSTALLED")"
  cmp -s "$INSTALLED/Trep.exe" "$ZIP_EXE" || fail_because "the installed Trep.exe is not the zip's"
  cmp -s "$INSTALLED/ReadMe.htm" "$ROOT/ReadMe.htm" || fail_because "the installed ReadMe.htm differs"
  [ -f "$START_MENU/Trep.lnk" ] || fail_because "no Start-menu entry Trep.lnk"
  report "a silent install puts Trep.exe, ReadMe.htm, DefSet.txt and the uninstaller in Program Files, and a Start-menu entry"

  while IFS= read -r row; do
    read_row "$row" value want
    expect_eq "$value" "$want" "$(uninstall_value "$value")"
  done <<EOF
  DisplayName          | Trep $VERSION
  DisplayVersion       | $VERSION
  InstallLocation      | ${PROG_WIN%\\}
  UninstallString      | "${PROG_WIN}Uninstall.exe"
  QuietUninstallString | "${PROG_WIN}Uninstall.exe" /S
EOF
  report "the Add/Remove Programs entry names the uninstaller"

  expect_eq "association" "$(association_entries "$PROG_WIN" | sed 's/^[^|]*|[^|]*|//')" \
    "$(registry_read "$PROG_WIN")"
  report "the eight entries of the association read back as \"Auto Run\" writes them"

  mkdir -p "$WORK/setup-split"
  run "$WINE" "${PROG_WIN}Trep.exe" "/i=$(win "$WORK/fx/data.bin")" "/o=$(win "$WORK/setup-split")" \
    "/s=$SEG_KIB" /q
  expect_eq "exit code of the split" 0 "$RC"
  expect_series "$WORK/setup-split"
  expect_rebuilt_by "$TREP" "$WORK/setup-split"
  wine_idle
  # DefSet.txt moved the settings out of Program Files.
  [ -n "$(find "$DRIVE_C/users" -type d -path '*/AppData/Roaming/Quorin/Trep' 2>/dev/null)" ] ||
    fail_because "no per-user settings folder Quorin\\Trep was made"
  report "the installed Trep.exe splits; trep rebuilds its series"

  uninstall
  expect_eq "association after" "$NONE" "$(registry_read "$PROG_WIN")"
  expect_eq "Add/Remove Programs entry after" "" "$(uninstall_value DisplayName)"
  expect_as_before before
  report "a silent uninstall leaves no file, no registry key and no entry naming Trep"

  # An association in the form earlier versions wrote (the program's path
  # unquoted) names this installation too: the uninstaller takes it away.
  run "$WINE" "$SETUP" /S /NOASSOC
  expect_eq "exit code of the installer" 0 "$RC"
  wine_idle
  while IFS= read -r entry; do
    IFS='|' read -r key value data <<<"$entry"
    if [ -z "$value" ]; then
      "$WINE" reg add "$key" /ve /d "$data" /f </dev/null >/dev/null 2>&1
    else
      "$WINE" reg add "$key" /v "$value" /d "$data" /f </dev/null >/dev/null 2>&1
    fi
  done < <(association_entries "$PROG_WIN" unquoted)
  expect_eq "the earlier form written" \
    "$(association_entries "$PROG_WIN" unquoted | sed 's/^[^|]*|[^|]*|//')" \
    "$(registry_read "$PROG_WIN" unquoted)"
  uninstall
  expect_eq "association after the uninstall" "$NONE" "$(registry_read "$PROG_WIN" unquoted)"
  report "the uninstaller takes away this installation's association written without quotes"

  # Declined association; entries of another copy of Trep.exe stay.
  OTHER='C:\Portable Trep\'
  run "$WINE" "$SETUP" /S /NOASSOC
  expect_eq "exit code of the installer" 0 "$RC"
  wine_idle
  expect_eq "installed files" "$(printf '%s\n' DefSet.txt ReadMe.htm Trep.exe Uninstall.exe)" \
    "$(files_in "$INSTALLED")"
  expect_eq "association" "$NONE" "$(registry_read "$PROG_WIN")"
  report "with /NOASSOC the installer writes none of the association"
  while IFS= read -r entry; do
    IFS='|' read -r key value data <<<"$entry"
    if [ -z "$value" ]; then
      "$WINE" reg add "$key" /ve /d "$data" /f </dev/null >/dev/null 2>&1
    else
      "$WINE" reg add "$key" /v "$value" /d "$data" /f </dev/null >/dev/null 2>&1
    fi
  done < <(association_entries "$OTHER")
  OTHER_WANT=$(association_entries "$OTHER" | sed 's/^[^|]*|[^|]*|//')
  expect_eq "another copy's association" "$OTHER_WANT" "$(registry_read "$OTHER")"
  uninstall
  expect_eq "another copy's association after the uninstall" "$OTHER_WANT" "$(registry_read "$OTHER")"
  expect_eq "installed files after" "" "$(files_in "$INSTALLED")"
  report "the uninstaller leaves the association of another copy as it was"
}

for case in "${WINDOWS_CASES[@]}"; do
  # shellcheck disable=SC2086 # the words of the case
  windows_packages $case
done

finish_checks
