#!/usr/bin/env bash
# The README's screenshots: builds the program, lays out a sample Windows system in a
# fresh temporary folder, and runs the screenshot tool under Xvfb, which walks through a
# run (review declined, then a run confirmed to the report) and saves each window as the
# X server shows it into docs/screenshots/. Your own files and trash are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=${BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target tw_screenshots tidewell-cli tw_catalogs -j 2

sample=$(mktemp -d "${TMPDIR:-/tmp}/tidewell-shots.XXXXXX")
trap 'rm -rf "$sample"' EXIT
bash scripts/make-sample-system.sh "$sample" >/dev/null
export WINEPREFIX="$sample" HOME="$sample/home" XDG_DATA_HOME="$sample/home/.local/share"
export USER=tester
mkdir -m 700 "$sample/run"
export XDG_RUNTIME_DIR="$sample/run"
settings="$sample/system.dat"
# The settings as a first start writes them, the review on.
"$build/bin/tidewell-cli" /f "$settings" settings >/dev/null

out=docs/screenshots
mkdir -p "$out"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/bin/tw_screenshots" "$out" "$settings"
ls -l "$out"
