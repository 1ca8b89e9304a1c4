#!/usr/bin/env bash
# Configures and builds one configuration into build/<name>:
#   release  optimised with debug info (the program, unit tests, benchmarks)
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer (unit tests)
#   tsan     ThreadSanitizer (unit tests)
#   fuzz     clang libFuzzer targets
set -euo pipefail
cd "$(dirname "$0")/.."

config=${1:-release}
jobs=$(nproc)
case "$config" in
  release) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) flags=(-DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=ON -DTARNWICK_BENCH=OFF) ;;
  tsan) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_TSAN=ON -DTARNWICK_BENCH=OFF) ;;
  fuzz) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_FUZZ=ON
               -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "build: unknown configuration '$config' (release, asan, tsan, fuzz)" >&2; exit 2 ;;
esac

cmake -S . -B "build/$config" -G Ninja -DTARNWICK_WERROR=ON "${flags[@]}" > /dev/null
cmake --build "build/$config" -j "$jobs"
