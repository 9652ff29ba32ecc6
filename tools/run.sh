#!/usr/bin/env bash
# Sets everything up and runs the main job: renders audio through the plug-in.
#   bash tools/run.sh                      render the bundled example (threshold -8 dB,
#                                          ceiling -1 dB, ISP on) to build/quelmar-example-master.wav
#   bash tools/run.sh IN OUT [options]     any quelmar-render command line (see --help)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

bash "$here/tools/deps.sh" run
# A first configure leaves out the tests and benchmarks, whose packages only
# tools/test.sh installs; a build directory tools/test.sh made keeps them.
lean=()
[ -f "$here/build/CMakeCache.txt" ] || lean=(-DQUELMAR_BUILD_TESTS=OFF -DQUELMAR_BUILD_BENCH=OFF)
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${lean[@]}" > /dev/null
cmake --build "$here/build" --parallel "$(nproc 2>/dev/null || echo 2)" --target quelmar-render

if [ $# -eq 0 ]; then
  # Our own derived file: replacing it on every run is what the demo wants.
  exec "$here/build/quelmar-render" "$here/examples/quelmar-example.ogg" "$here/build/quelmar-example-master.wav" \
    --threshold -8 --ceiling -1 --isp --force
fi
exec "$here/build/quelmar-render" "$@"
