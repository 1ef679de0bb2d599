#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
mkdir -p "$WINEPREFIX"
exec wine "$@"
