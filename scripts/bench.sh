#!/usr/bin/env bash
# Benchmarks: the finder's drive walk against a names-only floor, GNU find and fd; the
# shredder against dd and GNU shred; the status hand-off against a condvar; deletion with
# the in-use checks against deletion without them; the Found files list against a plain
# CompareItems sort. First a
# correctness gate (every walker must report exactly the expected hit set, with find's
# sizes), then hyperfine medians, printed as ratios measured in the same run.
#
#   scripts/bench.sh [--quick] [--walk-only|--shred-only|--handoff-only|--inuse-only|--dialogs-only|--gui-only]
#
# --gui-only runs the desktop app's benchmarks alone: the finder run from the main window
# (offscreen, real status panel) against the console front end's finder on the same tree,
# with the main thread's timer lateness during the walk, and start-up to the main window
# shown against a bare Qt window with one label.
# --quick uses a tree a tenth of the size and fewer runs (a smoke test of the harness).
# The desktop app's benchmarks (the main window's finder, start-up, the Found files list
# with 100,000 entries) run on the offscreen platform.
# Environment: BUILD_DIR (default build/bench), RUNS (15), SHRED_RUNS (5), TW_BENCH_TMPFS
# (/dev/shm/tw-bench), TW_BENCH_DISK (/var/tmp/tw-bench). Not run by the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
what=all
for a in "$@"; do
  case "$a" in
    --quick) quick=1 ;;
    --walk-only) what=walk ;;
    --shred-only) what=shred ;;
    --handoff-only) what=handoff ;;
    --inuse-only) what=inuse ;;
    --dialogs-only) what=dialogs ;;
    --gui-only) what=gui ;;
    *) echo "usage: $0 [--quick] [--walk-only|--shred-only|--handoff-only|--inuse-only|--dialogs-only|--gui-only]" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh
build=${BUILD_DIR:-build/bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF -DTW_BUILD_GUI=ON >/dev/null
targets=(bench_gen_tree bench_floor bench_scan bench_shred bench_handoff bench_inuse)
[ "$what" = gui ] && targets=(bench_gen_tree bench_gui_find bench_gui_startup)
[ "$what" = dialogs ] && targets=(bench_dialogs)
[ "$what" = all ] && targets+=(bench_gui_find bench_gui_startup bench_dialogs)
cmake --build "$build" -j 2 --target "${targets[@]}"
B=$(cd "$build/bin" && pwd)
G=$B
out=$(mkdir -p "$build/results" && cd "$build/results" && pwd)

if [ "$quick" = 1 ]; then
  dirs=2000 files=20000 runs=${RUNS:-5} shred_runs=${SHRED_RUNS:-3} shred_mib=32
else
  dirs=20000 files=200000 runs=${RUNS:-15} shred_runs=${SHRED_RUNS:-5} shred_mib=256
fi
tmpfs_dir=${TW_BENCH_TMPFS:-/dev/shm/tw-bench}
disk_dir=${TW_BENCH_DISK:-/var/tmp/tw-bench}

echo "== machine"
echo "nproc $(nproc); $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); kernel $(uname -r)"
[ "$what" = dialogs ] || echo "$(find --version | head -1); $(fdfind --version); $(hyperfine --version); $(shred --version | head -1)"

# The 43 masks as find -iname clauses and as one anchored fd regex.
find_args() {
  local args=() m
  while IFS= read -r m; do [ -n "$m" ] && args+=(${args[0]+-o} -iname "$m"); done <"$1"
  printf '%s\n' "${args[@]}"
}
mask_regex() {
  local out="" m c i r
  while IFS= read -r m; do
    [ -n "$m" ] || continue
    r=""
    for ((i = 0; i < ${#m}; i++)); do
      c=${m:i:1}
      case "$c" in
        '*') r+='.*' ;;
        '?') r+='.' ;;
        [A-Za-z0-9_\ ]) r+="$c" ;;
        *) r+="\\$c" ;;
      esac
    done
    out+="${out:+|}$r"
  done <"$1"
  printf '^(?:%s)$' "$out"
}

# ratio NUM DEN: NUM/DEN to two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

walk_tree() {
  local where=$1 base=$2
  local root=$base/tree-$dirs-$files
  if [ ! -f "$root.expected" ]; then
    rm -rf "$root" "$root.expected" "$root.masks"
    mkdir -p "$base"
    echo "generating $root ($dirs directories, $files files)"
    "$B/bench_gen_tree" "$root" --dirs "$dirs" --files "$files" --seed 1
  fi
  local fs
  fs=$(df --output=fstype "$root" | tail -1)
  local expected=$root.expected masks=$root.masks
  mapfile -t fargs < <(find_args "$masks")
  local regex
  regex=$(mask_regex "$masks")
  echo "== walk on $where ($fs, $root): $(wc -l <"$expected") expected hits"

  # Correctness gate: the same hit set everywhere, and the product's sizes are find's.
  local strip="s|^$root/||"
  LC_ALL=C find "$root" -type f \( "${fargs[@]}" \) -printf '%s\t%p\n' | LC_ALL=C sort >"$out/find.txt"
  "$B/bench_scan" --root "$root" --print 2>/dev/null | LC_ALL=C sort >"$out/product.txt"
  local ok=1 name
  for name in find product floor fd; do
    case $name in
      find | product) cut -f2 "$out/$name.txt" ;;
      floor) "$B/bench_floor" -m target -p "$root" 2>/dev/null | cut -f2 ;;
      fd) fdfind -j1 -u -t f -i "$regex" "$root" ;;
    esac | sed "$strip" | LC_ALL=C sort >"$out/$name.paths"
    if ! cmp -s "$out/$name.paths" "$expected"; then
      echo "GATE FAILED: $name does not report the expected hits" >&2
      diff "$expected" "$out/$name.paths" | head -10 >&2
      ok=0
    fi
  done
  if ! cmp -s "$out/find.txt" "$out/product.txt"; then
    echo "GATE FAILED: the product's sizes differ from find's" >&2
    diff "$out/find.txt" "$out/product.txt" | head -10 >&2
    ok=0
  fi
  [ "$ok" = 1 ] || return 1
  echo "gate passed: floor, product, find and fd report the same $(wc -l <"$expected") hits"

  local q=() m
  for m in "${fargs[@]}"; do
    case "$m" in -o | -iname) q+=("$m") ;; *) q+=("'$m'") ;; esac
  done
  local json=$out/walk-$where.json
  hyperfine -N --warmup 3 --runs "$runs" --export-json "$json" --style basic \
    -n floor "$B/bench_floor -m names $root" \
    -n floor-target "$B/bench_floor -m target $root" \
    -n product "$B/bench_scan --root $root --status=none" \
    -n product-sync "$B/bench_scan --root $root --status=sync" \
    -n product-sync-nospin "$B/bench_scan --root $root --status=sync --no-spin" \
    -n find-C "env LC_ALL=C find $root -type f \\( ${q[*]} \\) -printf '%s\\t%p\\n'" \
    -n fd-j1 "fdfind -j1 -u -t f -i '$regex' $root" \
    -n fd "fdfind -u -t f -i '$regex' $root" >"$out/walk-$where.log"
  python3 - "$json" <<'EOF'
import json, statistics, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
med = {k: statistics.median(r["times"]) * 1000 for k, r in res.items()}
print("%-19s %9s %9s %9s %8s %8s %8s" % ("walk", "median ms", "min", "max", "user s", "sys s", "x floor"))
for k, r in res.items():
    print("%-19s %9.1f %9.1f %9.1f %8.3f %8.3f %8.2f" % (k, med[k], r["min"] * 1000, r["max"] * 1000,
          r["user"], r["system"], med[k] / med["floor"]))
p, s = med["product"], med["product-sync"]
print("ratios: product/floor %.2f  product/floor-target %.2f  product/find-C %.2f  product/fd-j1 %.2f"
      "  product/fd %.2f" % (p / med["floor"], p / med["floor-target"], p / med["find-C"],
                             p / med["fd-j1"], p / med["fd"]))
print("        product-sync/floor %.2f  product-sync/find-C %.2f  product-sync/fd-j1 %.2f"
      "  product-sync/product %.2f" % (s / med["floor"], s / med["find-C"], s / med["fd-j1"], s / p))
n = med["product-sync-nospin"]
print("        without spinning: product-sync-nospin/product %.2f  /find-C %.2f" % (n / p, n / med["find-C"]))
EOF
  "$B/bench_scan" --root "$root" --status=sync 2>&1 >/dev/null | sed 's/^/product-sync, one run: /'
}

shred_bench() {
  local where=$1 dir=$2
  mkdir -p "$dir"
  local f=$dir/shred.bin
  local fs
  fs=$(df --output=fstype "$dir" | tail -1)
  echo "== shredder on $where ($fs, $dir): ${shred_mib} MiB, 5 passes"
  local prep="dd if=/dev/zero of=$f bs=1M count=$shred_mib status=none && sync"
  local n=$((shred_mib * 16)) dd5=""
  for _ in 1 2 3 4 5; do
    dd5+="dd if=/dev/zero of=$f bs=64k count=$n conv=notrunc,fdatasync status=none; "
  done
  local dd5k=""
  for _ in 1 2 3 4 5; do
    dd5k+="dd if=/dev/zero of=$f bs=4k count=$((n * 16)) conv=notrunc,fdatasync status=none; "
  done
  local json=$out/shred-$where.json
  hyperfine --runs "$shred_runs" --prepare "$prep" --export-json "$json" --style basic \
    -n product "$B/bench_shred $f" \
    -n dd-64k "${dd5}rm -f $f" \
    -n dd-4k "${dd5k}rm -f $f" \
    -n shred-u "shred -n 5 -u $f" >"$out/shred-$where.log"
  rm -f "$f"
  python3 - "$json" <<'EOF'
import json, statistics, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
med = {k: statistics.median(r["times"]) * 1000 for k, r in res.items()}
print("%-9s %9s %9s %9s %8s %8s %9s" % ("shred", "median ms", "min", "max", "user s", "sys s", "x dd-64k"))
for k, r in res.items():
    print("%-9s %9.1f %9.1f %9.1f %8.3f %8.3f %9.2f" % (k, med[k], r["min"] * 1000, r["max"] * 1000,
          r["user"], r["system"], med[k] / med["dd-64k"]))
print("ratios: product/dd-64k %.2f  product/shred-u %.2f" % (med["product"] / med["dd-64k"],
      med["product"] / med["shred-u"]))
EOF
  # Every pass must reach the device: sectors written for one run of the product.
  local dev stat
  dev=$(basename "$(df --output=source "$dir" | tail -1)")
  stat=/sys/block/$dev/stat
  eval "$prep"
  if [ -r "$stat" ]; then
    local a b
    a=$(awk '{print $7}' "$stat")
    "$B/bench_shred" "$f"
    b=$(awk '{print $7}' "$stat")
    echo "device $dev: $(((b - a) * 512 / 1048576)) MiB written for one product run (>= $((5 * shred_mib)) expected)"
  else
    "$B/bench_shred" "$f"
  fi
  if [ -e "$f" ]; then echo "ERROR: the shredded file is still there" >&2; return 1; fi
}

handoff_bench() {
  echo "== status hand-off, 20,000 round trips"
  "$B/bench_handoff"
  if command -v taskset >/dev/null; then
    echo "-- both threads on one CPU (taskset -c 0)"
    taskset -c 0 "$B/bench_handoff"
  fi
}

# As many files as the benchmark tree has hits, deleted in one run with and without the
# in-use checks (one scan of /proc, then a descriptor and two lock probes per file).
inuse_bench() {
  local where=$1 dir=$2 n=$((files / 10))
  local expected=$dir/tree-$dirs-$files.expected
  [ -f "$expected" ] && n=$(wc -l <"$expected")
  mkdir -p "$dir"
  echo "== in-use checks on $where ($(df --output=fstype "$dir" | tail -1), $dir): $n files"
  "$B/bench_inuse" --dir "$dir" --files "$n" --rounds "$shred_runs"
}

gui_bench() {
  local base=$1 root=$1/tree-$dirs-$files
  if [ ! -d "$root" ]; then
    rm -rf "$root" "$root.expected" "$root.masks"
    mkdir -p "$base"
    echo "generating $root ($dirs directories, $files files)"
    "$B/bench_gen_tree" "$root" --dirs "$dirs" --files "$files" --seed 1
  fi
  echo "== desktop app: the finder run from the main window (offscreen) vs the console finder"
  "$B/bench_gui_find" --root "$root" --runs "$runs" 2> "$out/gui-find.log"
  echo "== desktop app: start-up to the main window shown vs a bare Qt window with one label"
  local json=$out/gui-startup.json
  QT_QPA_PLATFORM=offscreen hyperfine -N --warmup 3 --runs "$runs" --export-json "$json" --style basic \
    -n bare "$B/bench_gui_startup --bare" \
    -n tidewell "$B/bench_gui_startup --tidewell --root $root" >"$out/gui-startup.log" 2>&1
  python3 - "$json" <<'EOF2'
import json, statistics, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
med = {k: statistics.median(r["times"]) * 1000 for k, r in res.items()}
print("start-up medians: bare Qt window %.1f ms, tidewell main window %.1f ms" % (med["bare"], med["tidewell"]))
print("ratio tidewell/bare %.2f (target <= 2.00)" % (med["tidewell"] / med["bare"]))
EOF2
}

status=0
if [ "$what" = all ] || [ "$what" = gui ]; then
  gui_bench "$tmpfs_dir" || status=1
fi
if [ "$what" = all ] || [ "$what" = walk ]; then
  walk_tree tmpfs "$tmpfs_dir" || status=1
  walk_tree disk "$disk_dir" || status=1
fi
if [ "$what" = all ] || [ "$what" = shred ]; then
  shred_bench disk "$disk_dir" || status=1
  shred_bench tmpfs "$tmpfs_dir" || status=1
fi
if [ "$what" = all ] || [ "$what" = inuse ]; then
  inuse_bench disk "$disk_dir" || status=1
  inuse_bench tmpfs "$tmpfs_dir" || status=1
fi
if [ "$what" = all ] || [ "$what" = handoff ]; then
  handoff_bench
fi
if [ "$what" = all ] || [ "$what" = dialogs ]; then
  if [ "$quick" = 1 ]; then dialog_runs=${RUNS:-3}; else dialog_runs=${RUNS:-9}; fi
  QT_QPA_PLATFORM=offscreen "$G/bench_dialogs" --entries 100000 --runs "$dialog_runs" 2>/dev/null
fi
echo "hyperfine JSON and logs: $out"
exit $status
