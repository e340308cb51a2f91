#!/usr/bin/env bash
# The main job, on a sample Windows system: builds the console program (Release), lays
# out a sample system in a fresh temporary folder, and runs the settings, a preview and
# a clean on it. WINEPREFIX, HOME and XDG_DATA_HOME all point into that folder, so your
# own files and your own trash are never touched. At the end it shows that the canary
# files behind the sample's links are intact. TW_KEEP_SAMPLE=1 keeps the folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== build (Release, build/release)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target tidewell-cli -j "$(nproc)"
cli=$PWD/build/release/bin/tidewell-cli

sample=$(mktemp -d "${TMPDIR:-/tmp}/tidewell-sample.XXXXXX")
if [ "${TW_KEEP_SAMPLE:-0}" != 1 ]; then
  trap 'rm -rf "$sample"' EXIT
fi
bash scripts/make-sample-system.sh "$sample"

export WINEPREFIX="$sample"
export HOME="$sample/home"
export XDG_DATA_HOME="$sample/home/.local/share"
export USER=tester
settings="$sample/system.dat"

# Everything the sample's links lead to, outside its drive C:.
canary() {
  (cd "$sample" && find home outside -path home/.local -prune -o -printf '%p %y %s %i %m %T@\n' |
    sort | sha256sum | cut -d' ' -f1)
}
before=$(canary)

echo "== sample Windows system in $sample"
echo "== tidewell-cli /f $settings settings"
"$cli" /f "$settings" settings
echo "== tidewell-cli /f $settings preview"
"$cli" /f "$settings" preview
echo "== tidewell-cli /f $settings clean"
"$cli" /f "$settings" clean

after=$(canary)
echo "== canary outside the drive (home/ and outside/, reached through links)"
if [ "$before" = "$after" ]; then
  echo "intact: $after"
else
  echo "CHANGED: $before -> $after" >&2
  exit 1
fi
if [ "${TW_KEEP_SAMPLE:-0}" = 1 ]; then echo "sample kept in $sample"; fi
