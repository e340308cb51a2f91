#!/usr/bin/env bash
# The finder's walk, one build against another, in the same hyperfine run: the names-only
# floor, then each build's bench_scan with the synchronous status and without it, on the
# benchmark tree on tmpfs and on disk. First a gate: both builds and the floor report the
# same hits with the same sizes.
#
#   scripts/bench-ab.sh OLD_BIN_DIR NEW_BIN_DIR     (each a Release build's bin/ folder)
#
# Environment: RUNS (15), TW_BENCH_TMPFS (/dev/shm/tw-ab), TW_BENCH_DISK (/var/tmp/tw-ab).
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 OLD_BIN_DIR NEW_BIN_DIR" >&2; exit 2; }
OLD=$(cd "$1" && pwd) NEW=$(cd "$2" && pwd)
runs=${RUNS:-15}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for where in "${TW_BENCH_TMPFS:-/dev/shm/tw-ab}" "${TW_BENCH_DISK:-/var/tmp/tw-ab}"; do
  root=$where/tree-20000-200000
  if [ ! -f "$root.expected" ]; then
    rm -rf "$root" "$root.expected" "$root.masks"
    mkdir -p "$where"
    "$NEW/bench_gen_tree" "$root" --dirs 20000 --files 200000 --seed 1 >/dev/null
  fi
  "$OLD/bench_scan" --root "$root" --print 2>/dev/null | LC_ALL=C sort >"$tmp/old.txt"
  "$NEW/bench_scan" --root "$root" --print 2>/dev/null | LC_ALL=C sort >"$tmp/new.txt"
  "$NEW/bench_floor" -m target -p "$root" 2>/dev/null | cut -f2 | sed "s|^$root/||" |
    LC_ALL=C sort >"$tmp/floor.paths"
  cut -f2 "$tmp/new.txt" | sed "s|^$root/||" | LC_ALL=C sort >"$tmp/new.paths"
  if ! cmp -s "$tmp/old.txt" "$tmp/new.txt" || ! cmp -s "$tmp/new.paths" "$root.expected" ||
    ! cmp -s "$tmp/floor.paths" "$root.expected"; then
    echo "GATE FAILED on $where: the builds or the floor report other hits" >&2
    exit 1
  fi
  echo "gate passed on $where: both builds and the floor report the same $(wc -l <"$root.expected") hits"
  hyperfine -N --warmup 3 --runs "$runs" --export-json "$tmp/ab.json" --style basic \
    -n floor "$NEW/bench_floor -m names $root" \
    -n old-sync "$OLD/bench_scan --root $root --status=sync" \
    -n new-sync "$NEW/bench_scan --root $root --status=sync" \
    -n old-none "$OLD/bench_scan --root $root --status=none" \
    -n new-none "$NEW/bench_scan --root $root --status=none" >"$tmp/ab.log" 2>&1
  python3 - "$tmp/ab.json" <<'PY'
import json, statistics, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
med = {k: statistics.median(r["times"]) * 1000 for k, r in res.items()}
f = med["floor"]
print("  " + ", ".join("%s %.0f ms (x%.2f)" % (k, v, v / f) for k, v in med.items()))
print("  new/old: with status %.3f, without %.3f" % (med["new-sync"] / med["old-sync"],
                                                      med["new-none"] / med["old-none"]))
PY
done
