#!/usr/bin/env bash
# Sets everything up and runs every test: the normal build, the whole suite
# under AddressSanitizer + UndefinedBehaviorSanitizer, and the suite under
# ThreadSanitizer. Usage: bash tools/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/deps.sh run test

jobs=$(nproc 2>/dev/null || echo 2)
export CTEST_OUTPUT_ON_FAILURE=1

build() {  # build <dir> <cmake options...>
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" --parallel "$jobs"
}

echo "== normal build"
build build -DCMAKE_BUILD_TYPE=Release -DQUELMAR_BUILD_TESTS=ON -DQUELMAR_BUILD_BENCH=ON
ctest --test-dir build --parallel "$jobs" --timeout 600

echo "== Windows plug-in under Wine"
bash tools/test-windows.sh build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELMAR_SANITIZER=address,undefined
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --parallel "$jobs" --timeout 900

echo "== ThreadSanitizer"
build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELMAR_SANITIZER=thread
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --parallel "$jobs" --timeout 900

echo "== all tests passed"
