#!/usr/bin/env bash
# Benchmarks: the finder's drive walk against a names-only floor, GNU find and fd; the
# shredder against dd and GNU shred; the status hand-off against a condvar; deletion with
# the in-use checks against deletion without them; the Found files list against a plain
# CompareItems sort. First a
# correctness gate (every walker must report exactly the expected hit set, with find's
# sizes), then hyperfine medians, printed as ratios measured in the same run.
#
#   scripts/bench.sh [--quick] [--walk-only|--cold-only|--scale-only|--memory-only|--shred-only|
#                     --handoff-only|--inuse-only|--dialogs-only|--gui-only]
#
# Every walk row shows its CPU time (user + sys) against its wall time. --cold-only times
# the walks on disk with the page cache dropped before each run (as root only; otherwise
# it says so and skips). --scale-only walks trees of 200,000 and 1,000,000 files on tmpfs
# and reports how time and peak memory grow (the slope per entry). --memory-only runs a
# preview of about 100,000 hits and reports the found list's heap per entry against the
# length of its path.
#
# --gui-only runs the desktop app's benchmarks alone: the finder run from the main window
# (offscreen, real status panel) against the console front end's finder on the same tree,
# with the main thread's timer lateness during the walk, and start-up to the main window
# shown against a bare Qt window with one label.
# --quick uses a tree a tenth of the size and fewer runs (a smoke test of the harness).
# The desktop app's benchmarks (the main window's finder, start-up, the Found files list
# with 100,000 entries) run on the offscreen platform.
# Environment: BUILD_DIR (default build/bench), RUNS (15), SHRED_RUNS (5), COLD_RUNS (5),
# SCALE_RUNS (5), TW_BENCH_TMPFS
# (/dev/shm/tw-bench), TW_BENCH_DISK (/var/tmp/tw-bench). Not run by the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
what=all
for a in "$@"; do
  case "$a" in
    --quick) quick=1 ;;
    --walk-only) what=walk ;;
    --cold-only) what=cold ;;
    --scale-only) what=scale ;;
    --memory-only) what=memory ;;
    --shred-only) what=shred ;;
    --handoff-only) what=handoff ;;
    --inuse-only) what=inuse ;;
    --dialogs-only) what=dialogs ;;
    --gui-only) what=gui ;;
    *) echo "usage: $0 [--quick] [--walk-only|--cold-only|--scale-only|--memory-only|--shred-only|--handoff-only|--inuse-only|--dialogs-only|--gui-only]" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh
gui=ON
case "$what" in cold | scale | memory | walk | handoff) gui=OFF ;; esac
build=${BUILD_DIR:-build/bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF -DTW_BUILD_GUI="$gui" >/dev/null
targets=(bench_gen_tree bench_floor bench_scan bench_shred bench_handoff bench_inuse)
case "$what" in cold | scale | memory) targets=(bench_gen_tree bench_floor bench_scan) ;; esac
[ "$what" = gui ] && targets=(bench_gen_tree bench_gui_find bench_gui_startup)
[ "$what" = dialogs ] && targets=(bench_dialogs)
[ "$what" = all ] && targets+=(bench_gui_find bench_gui_startup bench_dialogs)
cmake --build "$build" -j 2 --target "${targets[@]}"
B=$(cd "$build/bin" && pwd)
G=$B
out=$(mkdir -p "$build/results" && cd "$build/results" && pwd)

if [ "$quick" = 1 ]; then
  dirs=2000 files=20000 runs=${RUNS:-5} shred_runs=${SHRED_RUNS:-3} shred_mib=32
  cold_runs=${COLD_RUNS:-2} scale_runs=${SCALE_RUNS:-2}
else
  dirs=20000 files=200000 runs=${RUNS:-15} shred_runs=${SHRED_RUNS:-5} shred_mib=256
  cold_runs=${COLD_RUNS:-5} scale_runs=${SCALE_RUNS:-5}
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
    -n product-sync-noahead "$B/bench_scan --root $root --status=sync --readahead=0" \
    -n find-C "env LC_ALL=C find $root -type f \\( ${q[*]} \\) -printf '%s\\t%p\\n'" \
    -n fd-j1 "fdfind -j1 -u -t f -i '$regex' $root" \
    -n fd "fdfind -u -t f -i '$regex' $root" >"$out/walk-$where.log"
  python3 - "$json" <<'EOF'
import sys
sys.path.insert(0, "scripts")
from bench_walk_table import walk_table
res, med = walk_table(sys.argv[1], "walk")
p, s = med["product"], med["product-sync"]
print("ratios: product/floor %.2f  product/floor-target %.2f  product/find-C %.2f  product/fd-j1 %.2f"
      "  product/fd %.2f" % (p / med["floor"], p / med["floor-target"], p / med["find-C"],
                             p / med["fd-j1"], p / med["fd"]))
print("        product-sync/floor %.2f  product-sync/find-C %.2f  product-sync/fd-j1 %.2f"
      "  product-sync/product %.2f" % (s / med["floor"], s / med["find-C"], s / med["fd-j1"], s / p))
n = med["product-sync-nospin"]
print("        without spinning: product-sync-nospin/product %.2f  /find-C %.2f" % (n / p, n / med["find-C"]))
a = med["product-sync-noahead"]
print("        without read-ahead: product-sync-noahead/floor %.2f  product-sync/product-sync-noahead %.2f"
      % (a / med["floor"], s / a))
ps = res["product-sync"]
print("        target: product-sync/floor <= 1.30; CPU of product-sync (user+sys)/wall %.2f, target <= 1.50"
      % ((ps["user"] + ps["system"]) / ps["mean"]))
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

# The walk with a cold cache: the page cache, dentries and inodes dropped before each run.
cold_tree() {
  local base=$1 root=$1/tree-$dirs-$files
  walk_tree_make "$base"
  if [ "$(id -u)" != 0 ] || ! [ -w /proc/sys/vm/drop_caches ]; then
    echo "== cold cache: skipped (dropping the page cache needs root)"
    return 0
  fi
  local masks=$root.masks regex
  regex=$(mask_regex "$masks")
  echo "== cold cache on disk ($(df --output=fstype "$root" | tail -1), $root): page cache dropped before each run"
  local json=$out/walk-cold.json
  hyperfine -N --runs "$cold_runs" --prepare "sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'" \
    --export-json "$json" --style basic \
    -n floor "$B/bench_floor -m names $root" \
    -n floor-target "$B/bench_floor -m target $root" \
    -n product "$B/bench_scan --root $root --status=none" \
    -n product-sync "$B/bench_scan --root $root --status=sync" \
    -n product-sync-noahead "$B/bench_scan --root $root --status=sync --readahead=0" \
    -n fd-j1 "fdfind -j1 -u -t f -i '$regex' $root" \
    -n fd "fdfind -u -t f -i '$regex' $root" >"$out/walk-cold.log"
  python3 - "$json" <<'EOF'
import sys
sys.path.insert(0, "scripts")
from bench_walk_table import walk_table
res, med = walk_table(sys.argv[1], "cold walk")
s = med["product-sync"]
print("ratios: product-sync/fd %.2f (target <= 1.00)  product-sync/floor %.2f (target < 1.00)"
      "  product-sync/fd-j1 %.2f  product-sync/product-sync-noahead %.2f"
      % (s / med["fd"], s / med["floor"], s / med["fd-j1"], s / med["product-sync-noahead"]))
EOF
  sync
  echo 3 >/proc/sys/vm/drop_caches
  "$B/bench_scan" --root "$root" --status=sync 2>&1 >/dev/null | sed 's/^/product-sync, one cold run: /'
}

walk_tree_make() {
  local base=$1 d=${2:-$dirs} f=${3:-$files}
  local root=$base/tree-$d-$f
  if [ ! -f "$root.expected" ]; then
    rm -rf "$root" "$root.expected" "$root.masks"
    mkdir -p "$base"
    echo "generating $root ($d directories, $f files)"
    "$B/bench_gen_tree" "$root" --dirs "$d" --files "$f" --seed 1
  fi
}

# Time and peak memory from 200,000 to 1,000,000 files (warm, tmpfs), both sizes timed in
# the same hyperfine run with the floor.
scale_bench() {
  local base=$1 small_d=$dirs small_f=$files big_d=$((dirs * 5)) big_f=$((files * 5))
  walk_tree_make "$base" "$small_d" "$small_f"
  walk_tree_make "$base" "$big_d" "$big_f"
  local a=$base/tree-$small_d-$small_f b=$base/tree-$big_d-$big_f
  echo "== growth on tmpfs: $small_f files against $big_f files (warm cache)"
  local json=$out/scale.json
  hyperfine -N --warmup 1 --runs "$scale_runs" --export-json "$json" --style basic \
    -n floor-small "$B/bench_floor -m names $a" \
    -n floor-big "$B/bench_floor -m names $b" \
    -n product-sync-small "$B/bench_scan --root $a --status=sync" \
    -n product-sync-big "$B/bench_scan --root $b --status=sync" >"$out/scale.log"
  local rss_a rss_b hits_a hits_b
  /usr/bin/time -o "$out/rss-small" -f '%M' "$B/bench_scan" --root "$a" --status=sync >/dev/null 2>&1
  /usr/bin/time -o "$out/rss-big" -f '%M' "$B/bench_scan" --root "$b" --status=sync >/dev/null 2>&1
  rss_a=$(tail -1 "$out/rss-small") rss_b=$(tail -1 "$out/rss-big")
  hits_a=$(wc -l <"$a.expected") hits_b=$(wc -l <"$b.expected")
  python3 - "$json" "$small_d" "$small_f" "$big_d" "$big_f" "$rss_a" "$rss_b" "$hits_a" "$hits_b" <<'EOF'
import json, statistics, sys
res = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
med = {k: statistics.median(r["times"]) * 1000 for k, r in res.items()}
sd, sf, bd, bf, ra, rb, ha, hb = map(int, sys.argv[2:])
ea, eb = sd + sf, bd + bf  # entries walked
for k in med:
    print("%-20s %9.1f ms  cpu/wall %.2f" % (k, med[k], (res[k]["user"] + res[k]["system"]) / res[k]["mean"]))
for w in ("floor", "product-sync"):
    a, b = med[w + "-small"], med[w + "-big"]
    print("%-13s %8.1f ms -> %8.1f ms for %.1fx the entries: x%.2f; slope %.3f us per entry (%.3f at the small size)"
          % (w, a, b, eb / ea, b / a, (b - a) * 1000 / (eb - ea), a * 1000 / ea))
print("product-sync/floor: %.2f small, %.2f big" % (med["product-sync-small"] / med["floor-small"],
      med["product-sync-big"] / med["floor-big"]))
print("peak memory of product-sync: %d KiB -> %d KiB for %d -> %d hits: slope %.1f bytes per hit"
      % (ra, rb, ha, hb, (rb - ra) * 1024 / max(1, hb - ha)))
EOF
}

# The found list's memory: a preview of about 100,000 hits.
memory_bench() {
  local base=$1 d=$((dirs / 2)) f=$files junk=53
  local root=$base/tree-mem-$d-$f
  if [ ! -f "$root.expected" ]; then
    rm -rf "$root" "$root.expected" "$root.masks"
    mkdir -p "$base"
    echo "generating $root ($d directories, $f files, about $junk % of them hits)"
    "$B/bench_gen_tree" "$root" --dirs "$d" --files "$f" --seed 1 --junk "$junk"
  fi
  echo "== memory of a preview with $(wc -l <"$root.expected") hits (tmpfs, $root)"
  "$B/bench_scan" --root "$root" --status=sync --memory 2>/dev/null |
    awk '{print} /over path/ {for (i = 1; i <= NF; i++) if ($i == "over") o = $(i + 2);
         printf "a found entry takes its path plus %.1f bytes (target <= 64)\n", o}'
}

status=0
if [ "$what" = all ] || [ "$what" = gui ]; then
  gui_bench "$tmpfs_dir" || status=1
fi
if [ "$what" = all ] || [ "$what" = walk ]; then
  walk_tree tmpfs "$tmpfs_dir" || status=1
  walk_tree disk "$disk_dir" || status=1
fi
if [ "$what" = all ] || [ "$what" = cold ]; then
  cold_tree "$disk_dir" || status=1
fi
if [ "$what" = all ] || [ "$what" = scale ]; then
  scale_bench "$tmpfs_dir" || status=1
fi
if [ "$what" = all ] || [ "$what" = memory ]; then
  memory_bench "$tmpfs_dir" || status=1
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
