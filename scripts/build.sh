#!/usr/bin/env bash
# Configures and builds one configuration into build/<name>:
#   release  optimised with debug info (the program, unit tests, benchmarks)
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer (unit tests)
#   tsan     ThreadSanitizer (unit tests)
#   fuzz     clang libFuzzer targets
#   cli      the command line alone, optimised, without tests (what run.sh runs)
#   app      the command line and the desktop program, without tests
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
  cli) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=OFF
              -DTARNWICK_UI=OFF) ;;
  app) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=OFF) ;;
  *) echo "build: unknown configuration '$config' (release, asan, tsan, fuzz, cli, app)" >&2; exit 2 ;;
esac

cmake -S . -B "build/$config" -G Ninja -DTARNWICK_WERROR=ON "${flags[@]}" > /dev/null
cmake --build "build/$config" -j "$jobs"
