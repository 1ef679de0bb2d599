#!/usr/bin/env bash
# Builds both programs and makes their packages in build/packages:
#   trep_VERSION_ARCH.deb      the Debian package of trep (cpack)
#   Trep-VERSION-win32.zip     Trep.exe and ReadMe.htm (cpack)
#   Trep-VERSION-setup.exe     the Windows installer (makensis)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$here/build/packages

"$here/scripts/build.sh"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$here/build/win32/CMakeCache.txt")
rm -f "$out"/trep_*.deb "$out"/Trep-*-win32.zip "$out"/Trep-*-setup.exe
cpack --config "$here/build/native/CPackConfig.cmake" -B "$out" >/dev/null
cpack --config "$here/build/win32/CPackConfig.cmake" -B "$out" >/dev/null

# The installer holds what the zip holds, stripped alike, and DefSet.txt.
stage=$here/build/win32/stage
rm -rf "$stage"
cmake --install "$here/build/win32" --prefix "$stage" --strip >/dev/null
makensis -V2 -WX -DVERSION="$version" -DSTAGE="$stage" \
  -DOUTFILE="$out/Trep-$version-setup.exe" "$here/packaging/windows/trep.nsi"

ls -l "$out"/trep_*.deb "$out"/Trep-*-win32.zip "$out"/Trep-*-setup.exe
