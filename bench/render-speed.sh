#!/usr/bin/env bash
# Times the whole job of quelmar-render (read, plug-in, write, loudness of
# input and output) on a 10-minute stereo file, and prints x real time.
#   bash bench/render-speed.sh [BUILD_DIR] [RUNS]     (default: build, 5)
# With QUELMAR_COMPARE=/path/to/another/quelmar-render (its Quelmar.so beside
# it) the two are run in turns, so both see the same machine load. On a
# machine busy with other work, `chrt -f 10 bash bench/render-speed.sh` (as
# root) gives the runs the cores for their few seconds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/quelmar-long-input" "$here/examples/quelmar-example.ogg" "$work/ten-minutes.wav" 10
seconds=600
renderers=("$build/quelmar-render")
[ -n "${QUELMAR_COMPARE:-}" ] && renderers+=("$QUELMAR_COMPARE")

declare -A walls
for run in $(seq "$runs"); do
  for render in "${renderers[@]}"; do
    # A new output each time, as in the usual job: replacing a file adds the
    # file system's work of freeing the old one.
    rm -f "$work/master.wav"
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$render" "$work/ten-minutes.wav" "$work/master.wav" \
      --threshold -8 --ceiling -1 --isp --quiet > /dev/null
    read -r wall user sys < "$work/time"
    walls[$render]="${walls[$render]:-} $wall"
    awk -v w="$wall" -v u="$user" -v s="$sys" -v a="$seconds" -v r="$run" -v n="$render" \
      'BEGIN { printf "%s run %d: %.2f s wall, %.2f s CPU, %.0fx real time\n", n, r, w, u + s, a / w }'
  done
done
for render in "${renderers[@]}"; do
  median=$(printf '%s\n' ${walls[$render]} | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  awk -v w="$median" -v a="$seconds" -v n="$render" \
    'BEGIN { printf "%s median: %.2f s for 10 minutes of stereo audio, %.0fx real time\n", n, w, a / w }'
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
