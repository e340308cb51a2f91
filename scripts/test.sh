#!/usr/bin/env bash
# Set-up, then every test: an address+undefined sanitizer build with warnings as errors,
# a thread sanitizer build, the Windows build (scripts/test-windows.sh), the fuzz corpus
# replay and the format check.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)

echo "== format"
mapfile -t sources < <(git ls-files '*.h' '*.cpp' 2>/dev/null || find src tests bench fuzz -name '*.h' -o -name '*.cpp')
clang-format --dry-run -Werror "${sources[@]}"

echo "== build and test (address, undefined)"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTW_WERROR=ON \
  -DTW_SANITIZE=address,undefined >/dev/null
cmake --build build/asan -j "$jobs"
ctest --test-dir build/asan --output-on-failure -j "$jobs"

echo "== build and test (thread)"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_WERROR=ON \
  -DTW_SANITIZE=thread >/dev/null
cmake --build build/tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -j "$jobs"

echo "== Windows build: cross-build, tests under Wine, differential check"
bash scripts/test-windows.sh build/asan/bin/tidewell-cli

if [ -d fuzz ] && [ -f fuzz/CMakeLists.txt ]; then
  echo "== fuzz corpus replay"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTW_FUZZ=ON -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCH=OFF -DTW_BUILD_GUI=OFF >/dev/null
  fuzzers=()
  for f in fuzz/fuzz_*.cpp; do fuzzers+=("$(basename "$f" .cpp)"); done
  cmake --build build/fuzz -j "$jobs" --target "${fuzzers[@]}"
  for target in build/fuzz/bin/fuzz_*; do
    name=$(basename "$target")
    corpus=fuzz/corpus/${name#fuzz_}
    [ -d "$corpus" ] || continue
    echo "replaying $corpus with $name"
    "$target" -runs=0 "$corpus"
  done
fi
echo "all tests passed"
