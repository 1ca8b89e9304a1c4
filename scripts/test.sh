#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs all tests:
# the unit and integration tests in the normal and the sanitizer build, the
# thread-heavy platform tests under ThreadSanitizer, then each fuzz target for
# a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test

fuzz_seconds=${TARNWICK_FUZZ_SECONDS:-10}
# A fixed seed makes the bounded run repeatable, so a red run can be replayed
# and a green one does not turn red by chance; 0 lets libFuzzer pick one.
fuzz_seed=${TARNWICK_FUZZ_SEED:-1}
jobs=$(nproc)
# The suites whose code shares state between threads; the rest gain nothing
# from the much slower ThreadSanitizer run.
tsan_suites='^(WaitEvent|WaitForAny|MessageQueue|WorkerThread|NotifyingThread|DownloadManager|DownloadWorker|DownloadFetch|ProgressNotifier)Test\.'
passed=0
failed=0
# Integration tests fail instead of skipping when a server they need is missing.
export TARNWICK_REQUIRE_SERVERS=1

run_ctest() {
  local config=$1 log
  shift
  log=$(mktemp)
  echo "== ctest ($config)"
  if ctest --test-dir "build/$config" -j "$jobs" --output-on-failure --timeout 600 "$@" | tee "$log"; then :; fi
  local total fails
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
  fails=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -1)
  total=${total:-0}
  fails=${fails:-1}
  passed=$((passed + total - fails))
  failed=$((failed + fails))
  rm -f "$log"
}

run_fuzzers() {
  local target name corpus
  for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=$(mktemp -d)
    if [ -d "fuzz/corpus/$name" ]; then cp -r "fuzz/corpus/$name/." "$corpus/"; fi
    echo "== $name (${fuzz_seconds}s)"
    if "$target" -max_total_time="$fuzz_seconds" -seed="$fuzz_seed" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=0 "$corpus" > "build/fuzz/$name.log" 2>&1; then
      passed=$((passed + 1))
    else
      tail -40 "build/fuzz/$name.log"
      failed=$((failed + 1))
    fi
    rm -rf "$corpus"
  done
}

run_check() {
  echo "== $1"
  if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

run_check "layers" scripts/check_layers.sh
run_check "clang-format" sh -c \
  "find src tests fuzz bench \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror"
scripts/build.sh release
scripts/build.sh asan
scripts/build.sh tsan
scripts/build.sh fuzz
run_ctest release
run_ctest asan
run_ctest tsan -R "$tsan_suites"
run_fuzzers

echo "Tarnwick: ${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
