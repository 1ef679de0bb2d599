#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
# Wine names Unix files in the charset of the Unix locale: in C (ASCII) a
# Windows name beyond ASCII cannot be made at all. C.UTF-8 keeps Windows'
# own locale (English, code pages 1252 and 437) and names files in UTF-8.
# TREP_WINE_LOCALE runs Wine as another system (its locale decides Windows'
# code pages), e.g. one whose console code page is UTF-8.
export LC_ALL="${TREP_WINE_LOCALE:-C.UTF-8}"
mkdir -p "$WINEPREFIX"
exec wine "$@"
