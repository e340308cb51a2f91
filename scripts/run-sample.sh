#!/usr/bin/env bash
# The main job, on a sample Windows system: builds the programs (Release), lays out a
# sample system in a fresh temporary folder and opens the desktop app on it. With no
# display it runs the app headless instead (offscreen, "/autorun", review off) and then
# shows what the run deleted and where the settings were saved. WINEPREFIX, HOME and
# XDG_DATA_HOME all point into that folder, so your own files and your own trash are never
# touched. At the end it shows that the canary files behind the sample's links are
# intact. TW_KEEP_SAMPLE=1 keeps the folder.
#
#   scripts/run-sample.sh [--cli]    # --cli: the console front end's settings, preview, clean
set -euo pipefail
cd "$(dirname "$0")/.."
mode=app
case "${1:-}" in
  "") ;;
  --cli) mode=cli ;;
  *) echo "usage: $0 [--cli]" >&2; exit 2 ;;
esac
bash scripts/setup.sh

echo "== build (Release, build/release)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(tidewell-cli)
[ "$mode" = app ] && targets+=(tidewell)
cmake --build build/release --target "${targets[@]}" -j "$(nproc)"
bin=$PWD/build/release/bin
cli=$bin/tidewell-cli

sample=$(mktemp -d "${TMPDIR:-/tmp}/tidewell-sample.XXXXXX")
if [ "${TW_KEEP_SAMPLE:-0}" != 1 ]; then
  trap 'rm -rf "$sample"' EXIT
fi
bash scripts/make-sample-system.sh "$sample"

export WINEPREFIX="$sample"
export HOME="$sample/home"
export XDG_DATA_HOME="$sample/home/.local/share"
export USER=tester
mkdir -m 700 "$sample/run"
export XDG_RUNTIME_DIR="$sample/run"
settings="$sample/system.dat"

# Everything the sample's links lead to, outside its drive C:.
canary() {
  (cd "$sample" && find home outside -path home/.local -prune -o -printf '%p %y %s %i %m %T@\n' |
    sort | sha256sum | cut -d' ' -f1)
}
# Every file of the sample's drives and trash, for the before-and-after comparison.
listing() {
  # The trash folder exists only once something was moved there.
  (cd "$sample" && { find drive_c home/.local/share/Trash -xdev \( -type f -o -type l \) 2>/dev/null || true; } |
    LC_ALL=C sort)
}
before=$(canary)
echo "== sample Windows system in $sample"

if [ "$mode" = cli ]; then
  echo "== tidewell-cli /f $settings settings"
  "$cli" /f "$settings" settings
  echo "== tidewell-cli /f $settings preview"
  "$cli" /f "$settings" preview
  echo "== tidewell-cli /f $settings clean"
  "$cli" /f "$settings" clean
elif [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== tidewell /f $settings (tick drives, Run, review, Next; close the window to end)"
  "$bin/tidewell" /f "$settings"
  echo "== settings saved to $settings"
else
  echo "== no display: tidewell /f $settings /autorun, offscreen, review off"
  # The settings a first start writes, with the review switched off for the headless run.
  "$cli" /f "$settings" settings >/dev/null
  sed -i 's/ConformationDialog="1"/ConformationDialog="0"/' "$settings"
  listing >"$sample/before.txt"
  QT_QPA_PLATFORM=offscreen "$bin/tidewell" /f "$settings" /autorun
  listing >"$sample/after.txt"
  echo "== what the run deleted (files gone from drive C:; moved to the trash when so configured)"
  comm -23 "$sample/before.txt" "$sample/after.txt" | sed 's/^/  /'
  echo "  $(comm -23 "$sample/before.txt" "$sample/after.txt" | wc -l) files gone"
  echo "== settings saved to $settings"
  grep -o '<DeleteFiles[^>]*>' "$settings" | sed 's/^/  /' || true
fi

after=$(canary)
echo "== canary outside the drive (home/ and outside/, reached through links)"
if [ "$before" = "$after" ]; then
  echo "intact: $after"
else
  echo "CHANGED: $before -> $after" >&2
  exit 1
fi
if [ "${TW_KEEP_SAMPLE:-0}" = 1 ]; then echo "sample kept in $sample"; fi
