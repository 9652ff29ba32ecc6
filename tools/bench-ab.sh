#!/usr/bin/env bash
# Speed of this tree against another commit, measured in the same run:
# engine_bench and plugin_bench (Quelmar's cases) of both builds, interleaved
# A B B A over several rounds so that a busy machine hurts both alike, then the
# median ns per stereo frame of every case and the ratio (this tree / base;
# above 1.00 means this tree is slower).
#
#   bash tools/bench-ab.sh [BASE_COMMIT] [ROUNDS]     (defaults: main, 5)
#
# Both builds are Release builds in /tmp; nothing in the source tree changes.
set -euo pipefail
cd "$(dirname "$0")/.."

base_rev=${1:-main}
rounds=${2:-5}
work=${QUELMAR_BENCH_DIR:-/tmp/quelmar-bench-ab}
base_src=$work/base-src
base_build=$work/base-build
this_build=$work/this-build
results=$work/results
jobs=$(nproc 2>/dev/null || echo 2)

mkdir -p "$work"
rm -rf "$base_src" "$results"
mkdir -p "$base_src" "$results"
git archive "$base_rev" | tar -x -C "$base_src"

build() {  # build <source> <build dir>
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUELMAR_BUILD_TESTS=OFF >/dev/null
  cmake --build "$2" --parallel "$jobs" --target engine_bench plugin_bench >/dev/null
}
echo "building $base_rev and this tree"
build "$base_src" "$base_build"
build . "$this_build"

run() {  # run <side> <build dir> <round>
  "$2/bench/engine_bench" --benchmark_min_time=0.3 --benchmark_out="$results/engine-$1-$3.json" \
    --benchmark_out_format=json >/dev/null 2>&1
  "$2/bench/plugin_bench" --benchmark_filter='^Quelmar/' --benchmark_min_time=0.3 \
    --benchmark_out="$results/plugin-$1-$3.json" --benchmark_out_format=json >/dev/null 2>&1
}
for round in $(seq 1 "$rounds"); do
  echo "round $round of $rounds"
  if ((round % 2)); then
    run base "$base_build" "$round"
    run this "$this_build" "$round"
  else
    run this "$this_build" "$round"
    run base "$base_build" "$round"
  fi
done

python3 - "$results" <<'EOF'
import glob, json, os, statistics, sys
results = sys.argv[1]
times = {}  # (bench, case, side) -> [ns per frame]
for path in sorted(glob.glob(os.path.join(results, "*.json"))):
    bench, side, _ = os.path.basename(path)[:-5].split("-")
    data = json.load(open(path))
    for b in data["benchmarks"]:
        if "ns/frame" in b:
            times.setdefault((bench, b["name"], side), []).append(b["ns/frame"] * 1e9)
print(f"{'case':34} {'base ns/frame':>14} {'this ns/frame':>14} {'this/base':>10}")
ratios = []
for (bench, case, side) in sorted(k for k in times if k[2] == "base"):
    base = statistics.median(times[(bench, case, "base")])
    this = statistics.median(times.get((bench, case, "this"), [float("nan")]))
    ratios.append(this / base)
    print(f"{bench + ' ' + case:34} {base:14.3f} {this:14.3f} {this / base:10.3f}")
print(f"geometric mean of the ratios: {statistics.geometric_mean(ratios):.3f}")
EOF
