#!/usr/bin/env bash
# The export benchmark: builds Release, writes a data file of N points
# (default 1,000,000), then times the export to a file side by side with cp of
# the resulting GPX file (the I/O floor), and measures the export's peak
# memory. It prints both medians and their ratio; the ratio is what compares
# across machines. Usage: bench/run.sh [POINTS] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
points="${1:-1000000}"
runs="${2:-7}"
build="${BENCH_BUILD:-build-bench}"

cmake -B "$build" -DCMAKE_BUILD_TYPE=Release -DTREKDUMP_TESTS=OFF >/dev/null
cmake --build "$build" --target trekdump make_log >/dev/null

work="$(mktemp -d "$PWD/$build/bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$build/make_log" "$points" "$work/NVPIPE.DAT"
"$build/trekdump" --read="$work/ref.gpx" "$work/NVPIPE.DAT"  # also warms the caches

# Milliseconds one command takes, its output file removed beforehand so that
# both commands write a new file.
millis() {
  rm -f "$work/out.gpx"
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

export_times=() cp_times=()
for _ in $(seq "$runs"); do
  export_times+=("$(millis "$build/trekdump" --read="$work/out.gpx" "$work/NVPIPE.DAT")")
  cp_times+=("$(millis cp "$work/ref.gpx" "$work/out.gpx")")
done
export_ms=$(printf '%s\n' "${export_times[@]}" | median)
cp_ms=$(printf '%s\n' "${cp_times[@]}" | median)

rm -f "$work/out.gpx"
if [ -x /usr/bin/time ]; then
  rss_kib=$(/usr/bin/time -f '%M' "$build/trekdump" --read="$work/out.gpx" "$work/NVPIPE.DAT" 2>&1 >/dev/null | tail -1)
else
  rss_kib=$(python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], check=True)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$build/trekdump" --read="$work/out.gpx" "$work/NVPIPE.DAT")
fi

log_bytes=$(($(stat -c %s "$work/NVPIPE.DAT") - 4096))
gpx_bytes=$(stat -c %s "$work/ref.gpx")
echo "points:            $points (log $((log_bytes / 1000000)) MB, GPX $((gpx_bytes / 1000000)) MB)"
echo "export to a file:  $export_ms ms (median of $runs; all: ${export_times[*]})"
echo "cp of the GPX:     $cp_ms ms (median of $runs; all: ${cp_times[*]})"
awk -v e="$export_ms" -v c="$cp_ms" 'BEGIN { printf "ratio:             %.2f x cp\n", (c > 0 ? e / c : 0) }'
awk -v k="$rss_kib" 'BEGIN { printf "peak memory:       %.1f MiB (maximum resident set size)\n", k / 1024 }'
