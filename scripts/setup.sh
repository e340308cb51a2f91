#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Tidewell.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev clang-format libgtest-dev libgmock-dev
          gettext python3 attr fd-find hyperfine coreutils findutils
          qt6-base-dev libgl-dev xvfb xauth fonts-dejavu-core librsvg2-bin
          # Japanese interface texts need a font with their glyphs.
          fonts-ipafont-gothic
          # Checks of the desktop file and the AppStream metainfo.
          desktop-file-utils appstream
          # The Windows build: MinGW-w64 cross compilers, GoogleTest sources, Wine 8.
          # (wine32 installs, but 32-bit programs need a kernel that runs i386 binaries.)
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools googletest
          wine wine64 file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
