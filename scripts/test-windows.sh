#!/usr/bin/env bash
# The Windows build, checked from Linux: cross-builds the console program and the core's
# test programs with MinGW-w64 for x86_64 and i686, runs the x86_64 tests under wine64,
# and compares the Windows build's answers (Wine's own) with the Linux build's on the
# same sample system: preview, settings, and clean with each delete method.
#
#   scripts/test-windows.sh [LINUX_TIDEWELL_CLI]
#
# Without an argument a Release build of the Linux program is made in build/rel.
# Everything Wine touches lives in a temporary folder (prefix, HOME, trash); no display
# is needed. TW_KEEP_WINE=1 keeps that folder.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
jobs=$(nproc)
t0=$(date +%s)
stamp() { echo "   ($(( $(date +%s) - t0 )) s)"; }

configure() {  # DIR TOOLCHAIN
  # No optimisation: the programs are small and compile time is what counts here.
  cmake -S . -B "$1" -G Ninja --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE="cmake/$2" -DCMAKE_BUILD_TYPE= \
    -DTW_WERROR=ON -DTW_BUILD_GUI=OFF -DTW_BUILD_BENCH=OFF >/dev/null
}
test_targets() {  # DIR: the test programs CMake knows
  ninja -C "$1" -t targets all | sed -n 's/^\(tw_[a-z]*_tests\): phony$/\1/p' | sort -u
}

echo "== cross-build x86_64 (build/mingw64)"
configure build/mingw64 mingw-x86_64.cmake
cmake --build build/mingw64 -j "$jobs" --target tidewell-cli $(test_targets build/mingw64)
stamp
echo "== cross-build i686 (build/mingw32)"
configure build/mingw32 mingw-i686.cmake
cmake --build build/mingw32 -j "$jobs" --target tidewell-cli $(test_targets build/mingw32)
file build/mingw32/bin/tidewell-cli.exe | grep -q 'PE32 executable' ||
  { echo "build/mingw32/bin/tidewell-cli.exe is not a 32-bit program" >&2; exit 1; }
stamp

linux_cli=${1:-}
if [ -z "$linux_cli" ]; then
  echo "== Linux build (build/rel)"
  cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DTW_WERROR=ON -DTW_BUILD_GUI=OFF \
    -DTW_BUILD_BENCH=OFF -DTW_BUILD_TESTS=OFF >/dev/null
  cmake --build build/rel -j "$jobs" --target tidewell-cli
  linux_cli=$PWD/build/rel/bin/tidewell-cli
fi
linux_cli=$(cd "$(dirname "$linux_cli")" && pwd)/$(basename "$linux_cli")

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tidewell-wine.XXXXXX")
cleanup() {
  for p in "$tmp"/*/; do WINEPREFIX=${p%/} wineserver -k 2>/dev/null || true; done
  if [ "${TW_KEEP_WINE:-0}" != 1 ]; then rm -rf "$tmp"; else echo "kept $tmp"; fi
}
trap cleanup EXIT

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" DISPLAY=
export WAYLAND_DISPLAY= USER=tester
diff_py="python3 $src/scripts/windows-diff.py"

# use PREFIX: Wine, the Linux build and the trash all work on PREFIX and its home.
use() {
  export WINEPREFIX=$1
  export HOME=$1/home
  export XDG_DATA_HOME=$1/home/.local/share
}

echo "== sample system as a Wine prefix"
P0=$tmp/sample
bash scripts/make-sample-system.sh "$P0"
# Names the ANSI code page (1252) holds, does not hold, and one whose best-fit form
# ("abc.tmp") is the name of another file.
W=$P0/drive_c/users/tester/Work
printf 'x' >"$W/café.tmp"
printf 'xy' >"$W/日本.tmp"
printf 'xyz' >"$W/ābc.tmp"
printf 'wxyz' >"$W/abc.tmp"
rm -f "$P0/.update-timestamp"  # "disable" would stop wineboot
use "$P0"
# A first start of Wine on a machine has been seen to fail once (exit 53); try again once.
if ! wineboot -u >/dev/null 2>&1; then
  echo "wineboot failed; once more" >&2
  wineserver -k 2>/dev/null || true
  wineboot -u >/dev/null 2>&1
fi
wineserver -w
mkdir -p "$P0/zroot/tw"
cp build/mingw64/bin/tidewell-cli.exe "$P0/zroot/tw/"
find "$P0" -type f -printf '%P\n' | sort >"$tmp/sample-files"
stamp

wincli() { wine 'Z:\tw\tidewell-cli.exe' "$@"; }

echo "== differential check: settings"
mkdir -p "$tmp/lin"
"$linux_cli" /f "$tmp/lin/system.dat" settings >/dev/null
wincli /f 'Z:\tw\system.dat' settings >/dev/null
if cmp "$tmp/lin/system.dat" "$P0/zroot/tw/system.dat"; then
  echo "settings: byte-identical ($(wc -c <"$tmp/lin/system.dat") bytes)"
else
  diff "$tmp/lin/system.dat" "$P0/zroot/tw/system.dat" || true
  echo "settings: the two builds wrote different files" >&2
  exit 1
fi

echo "== differential check: preview"
"$linux_cli" /f "$tmp/lin/system.dat" preview --json >"$tmp/preview.lin.json"
wincli /f 'Z:\tw\system.dat' preview --json | tr -d '\r' >"$tmp/preview.win.json"
$diff_py entries "$tmp/preview.lin.json" "$tmp/preview.win.json" "$P0"
$diff_py links "$tmp/preview.lin.json" "$P0" >"$tmp/links"
$diff_py paths "$P0" "$tmp/preview.lin.json" "$tmp/preview.win.json" >"$tmp/entry-files"
wineserver -w
stamp

# A copy of the sample that shares the Wine system files with it but nothing a run may
# change: every other file is a copy of its own.
copy_sample() {
  cp -al "$P0" "$1"
  # Links into the sample (z:, the profile's folders, the sample's own) lead into the copy.
  find "$1" -type l -lname "$P0/*" -print0 | while IFS= read -r -d '' l; do
    target=$(readlink "$l")
    ln -sfn "$1${target#"$P0"}" "$l"
  done
  (cd "$1" && {
    find . -path ./drive_c/windows -prune -o -type f -links +1 -printf '%P\n'
    cat "$tmp/entry-files"
  } | sort -u | while IFS= read -r f; do
    [ -f "$f" ] && [ ! -L "$f" ] && [ "$(stat -c %h "$f")" -gt 1 ] || continue
    cp -p "$f" "$f.tw-copy" && mv -f "$f.tw-copy" "$f"
  done)
}

for method in 0 1 2; do
  name=(remove recycle shred)
  echo "== differential check: clean, delete method $method (${name[$method]})"
  settings=$tmp/m$method.dat
  case $method in
    0) attr='' ;;
    1) attr=' MoveToRecycleBin="1"' ;;
    2) attr=' Shred="1"' ;;
  esac
  sed "s|<DeleteFiles ConformationDialog=\"1\"/>|<DeleteFiles ConformationDialog=\"1\"$attr/>|" \
    "$tmp/lin/system.dat" >"$settings"
  grep -q "<DeleteFiles ConformationDialog=\"1\"$attr/>" "$settings"
  L=$tmp/clean$method-linux
  Wp=$tmp/clean$method-windows
  copy_sample "$L"
  copy_sample "$Wp"
  cp "$settings" "$Wp/zroot/tw/m.dat"
  use "$L"
  "$linux_cli" /f "$settings" clean --json >"$tmp/clean$method.lin.json"
  use "$Wp"
  wincli /f 'Z:\tw\m.dat' clean --json | tr -d '\r' >"$tmp/clean$method.win.json"
  wineserver -w
  recycle=0
  [ $method = 1 ] && recycle=1
  TW_DIFF_RECYCLE=$recycle $diff_py entries "$tmp/clean$method.lin.json" "$tmp/clean$method.win.json" "$P0" "$tmp/links"
  TW_DIFF_RECYCLE=$recycle $diff_py tree "$L" "$Wp" "$tmp/links" "$tmp/sample-files"
  rm -rf "$L" "$Wp"
  stamp
done

echo "== x86_64 test programs under wine64"
use "$P0"
# The sources (test data) as drive S: of the prefix.
ln -s "$src" "$P0/dosdevices/s:"
export TW_SOURCE_DIR='S:\'
cp build/mingw64/bin/tw_*_tests.exe "$P0/zroot/tw/"
# A Unix link to a file and to a folder, with a canary behind them, for the backend's
# tests of links as Wine shows them.
mkdir -p "$P0/drive_c/links/outside"
printf 'canary' >"$P0/drive_c/links/outside/canary.txt"
mkdir -p "$P0/drive_c/links/in"
ln -s "$P0/drive_c/links/outside/canary.txt" "$P0/drive_c/links/in/file-link.tmp"
ln -s "$P0/drive_c/links/outside" "$P0/drive_c/links/in/dir-link"
export TW_WINE_LINKS='C:\links'
failed=0
for exe in "$P0"/zroot/tw/tw_*_tests.exe; do
  name=$(basename "$exe")
  if out=$(wine "Z:\\tw\\$name" --gtest_brief=1 2>&1); then
    echo "$name: $(printf '%s\n' "$out" | tr -d '\r' | grep -E '^\[  PASSED' | tail -1)"
  else
    printf '%s\n' "$out" | tr -d '\r'
    echo "$name FAILED" >&2
    failed=1
  fi
done
[ "$(cat "$P0/drive_c/links/outside/canary.txt")" = canary ] || { echo "canary changed" >&2; failed=1; }
wineserver -k || true
stamp
[ $failed = 0 ] || exit 1
echo "i686: built (tidewell-cli.exe and the test programs); not run, see README"
echo "windows checks passed in $(( $(date +%s) - t0 )) s"
