#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix: a
# 32-bit program under 32-bit Wine in build/wineprefix, a 64-bit one under
# 64-bit Wine in build/wineprefix64. The program's own header decides; for
# Wine's programs (cmd, reg, winepath) the build this machine runs decides
# (scripts/windows-build.sh, or TREP_WIN when a caller exported it). A
# WINEPREFIX already set is kept: it must be a prefix of the same
# architecture.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The machine field of a PE file: 14c for i386, 8664 for x86-64.
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || return 1
  od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

arch=
if [ -f "${1:-}" ]; then
  case "$(pe_machine "$1")" in
    14c) arch=win32 ;;
    8664) arch=win64 ;;
  esac
fi
if [ -z "$arch" ]; then
  # A test that sourced windows-build.sh has exported its choice already.
  if [ -z "${TREP_WIN:-}" ]; then
    # shellcheck source=scripts/windows-build.sh
    . "$here/scripts/windows-build.sh" || exit 2
  fi
  arch=$TREP_WIN
fi

if [ "$arch" = win64 ]; then
  # /usr/bin/wine takes the 32-bit loader whenever it is installed, also
  # where it cannot run: the 64-bit loader is called by its own name.
  export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix64}"
  export WINEARCH=win64
  export WINELOADER=/usr/lib/wine/wine64
  loader=/usr/lib/wine/wine64
else
  export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
  export WINEARCH=win32
  loader=wine
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine names Unix files in the charset of the Unix locale: in C (ASCII) a
# Windows name beyond ASCII cannot be made at all. C.UTF-8 keeps Windows'
# own locale (English, code pages 1252 and 437) and names files in UTF-8.
# TREP_WINE_LOCALE runs Wine as another system (its locale decides Windows'
# code pages), e.g. one whose console code page is UTF-8.
export LC_ALL="${TREP_WINE_LOCALE:-C.UTF-8}"
mkdir -p "$WINEPREFIX"
exec "$loader" "$@"
