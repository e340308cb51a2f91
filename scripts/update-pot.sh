#!/bin/sh
# Extracts the interface texts of the sources into po/default.pot. With --check, only
# tells whether the committed template is up to date (exit 1 when it is not).
#
# Texts are marked by the lookups Tr(), UiText() and Translate() and by N_() for tables
# whose texts are looked up later. Locations name the file only and the entries are
# sorted by text, so that moving code around does not change the template.
set -eu
cd "$(dirname "$0")/.."

pot=po/default.pot
extract() {
  find src -name '*.cpp' -o -name '*.h' | LC_ALL=C sort |
    xgettext --language=C++ --from-code=UTF-8 -k -kTr -kUiText -kTranslate -kN_ \
      --add-location=file --sort-output --package-name=Tidewell \
      --files-from=- --output="$1"
  # The creation date differs on every run; it says nothing about the texts.
  sed -i '/^"POT-Creation-Date: /d' "$1"
}

if [ "${1:-}" = "--check" ]; then
  tmp=$(mktemp)
  trap 'rm -f "$tmp"' EXIT
  extract "$tmp"
  if ! diff -u "$pot" "$tmp"; then
    echo "$pot is out of date: run scripts/update-pot.sh" >&2
    exit 1
  fi
  exit 0
fi
extract "$pot"
