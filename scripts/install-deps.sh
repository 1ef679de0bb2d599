#!/usr/bin/env bash
# Installs, from Debian's archive, whatever of the build and test tools is
# missing. Does nothing when everything is there.
set -euo pipefail

packages=(cmake make g++ googletest
          g++-mingw-w64-i686 mingw-w64-i686-dev
          g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
          wine wine32:i386 wine64 xvfb xauth
          clang libclang-rt-14-dev
          dpkg-dev file lintian nsis groff-base man-db unzip locales
          par2 strace bsdutils zlib1g-dev libssl-dev libz-mingw-w64-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root to install them." >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
