#!/usr/bin/env bash
# Cross-builds the Windows plug-in with mingw-w64:
#   build-windows/Quelmar.dll        (x86-64, with the Windows tests beside it)
#   build-windows-i686/Quelmar.dll   (32-bit x86; built and linked, not run here)
# Usage: bash tools/build-windows.sh [x86_64|i686|all]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/deps.sh run windows

jobs=$(nproc 2>/dev/null || echo 2)
which=${1:-all}

build() {  # build <arch> <dir>
  cmake -S . -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$1.cmake -DQUELMAR_BUILD_BENCH=OFF
  cmake --build "$2" --parallel "$jobs"
}

case $which in
  x86_64|all) build x86_64 build-windows ;;&
  i686|all) build i686 build-windows-i686 ;;
  x86_64) ;;
  *) echo "usage: $0 [x86_64|i686|all]" >&2; exit 2 ;;
esac
