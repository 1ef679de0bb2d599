#!/usr/bin/env bash
# Builds both programs and makes their packages in build/packages:
#   trep_VERSION_ARCH.deb         the Debian package of trep (cpack)
#   Trep-VERSION-win32.zip        the 32-bit Trep.exe and ReadMe.htm (cpack)
#   Trep-VERSION-win64.zip        the 64-bit Trep.exe and ReadMe.htm (cpack)
#   Trep-VERSION-setup.exe        the Windows installer (makensis): a 32-bit
#                                 installer holding both programs; it puts
#                                 the 64-bit one on 64-bit Windows
#   Trep-VERSION-win64-setup.exe  the same installer as a 64-bit program with
#                                 the 64-bit Trep.exe alone, for 64-bit
#                                 systems that run no 32-bit code
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$here/build/packages

"$here/scripts/build.sh"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$here/build/win32/CMakeCache.txt")
rm -f "$out"/trep_*.deb "$out"/Trep-*-win32.zip "$out"/Trep-*-win64.zip "$out"/Trep-*-setup.exe
cpack --config "$here/build/native/CPackConfig.cmake" -B "$out" >/dev/null
for arch in win32 win64; do
  cpack --config "$here/build/$arch/CPackConfig.cmake" -B "$out" >/dev/null
  # The installers hold what the zips hold, stripped alike, and DefSet.txt.
  rm -rf "$here/build/$arch/stage"
  cmake --install "$here/build/$arch" --prefix "$here/build/$arch/stage" --strip >/dev/null
done

makensis -V2 -WX -DVERSION="$version" -DSTAGE32="$here/build/win32/stage" \
  -DSTAGE64="$here/build/win64/stage" -DOUTFILE="$out/Trep-$version-setup.exe" \
  "$here/packaging/windows/trep.nsi"
makensis -V2 -WX -DVERSION="$version" -DWIN64_ONLY -DSTAGE64="$here/build/win64/stage" \
  -DOUTFILE="$out/Trep-$version-win64-setup.exe" "$here/packaging/windows/trep.nsi"

ls -l "$out"/trep_*.deb "$out"/Trep-*.zip "$out"/Trep-*-setup.exe
