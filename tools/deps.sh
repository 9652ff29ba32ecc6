#!/usr/bin/env bash
# Installs the Debian packages one purpose needs; idempotent, sudo when not root.
#   bash tools/deps.sh run     building the plug-in and the renderer, and rendering
#   bash tools/deps.sh windows the mingw-w64 cross compilers for Quelmar.dll
#   bash tools/deps.sh test    the test suite and the benchmarks on top (test hosts,
#                              peers for the benchmark, cross compilers, Wine, X server...)
# Several purposes may be given at once.
set -euo pipefail

# Building and running Quelmar.so, quelmar-render and quelmar-snapshot.
run_packages=(
  build-essential cmake ninja-build pkg-config
  libcairo2-dev libfontconfig-dev libfreetype-dev fonts-liberation libx11-dev
  libsndfile1-dev libebur128-dev
  lv2-dev  # the LV2 bundle's headers
)

# Cross-building Quelmar.dll (tools/build-windows.sh), 64-bit and 32-bit.
windows_packages=(
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
)

# Only for tests and benchmarks: nothing a user rendering files needs.
test_packages=(
  git ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  ardour qtractor lsp-plugins-vst
  liblilv-dev sordi  # loading and validating the LV2 bundle as hosts do
  xvfb xauth libxtst-dev libxfixes-dev
  wine wine64 imagemagick
  time python3  # bench/render-speed.sh and tools/bench-ab.sh
  "${windows_packages[@]}"
)

wanted=()
[ $# -gt 0 ] || set -- run
for purpose in "$@"; do
  case $purpose in
    run) wanted+=("${run_packages[@]}") ;;
    windows) wanted+=("${windows_packages[@]}") ;;
    test) wanted+=("${test_packages[@]}") ;;
    *) echo "tools/deps.sh: unknown purpose '$purpose' (give run, windows and/or test)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
