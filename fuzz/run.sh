#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for a while; any finding fails.
#   fuzz/run.sh [BUILD_DIR [SECONDS [LIBFUZZER_OPTION]...]]
# (defaults: build-fuzz, 60 seconds), e.g. fuzz/run.sh build-fuzz 3600 -fork=2
# Inputs the fuzzers find interesting are kept in BUILD_DIR/fuzz/work, so a
# later run goes on from there; a crashing input is saved in
# BUILD_DIR/fuzz/findings/TARGET/ and named in the output.
set -uo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in datafile values; do
  binary=$build/fuzz/fuzz_$target
  if [ ! -x "$binary" ]; then
    echo "fuzz/run.sh: $binary is missing (cmake -B $build -DCMAKE_CXX_COMPILER=clang++ -DTREKDUMP_FUZZ=ON)" >&2
    exit 1
  fi
  work=$build/fuzz/work/$target
  findings=$build/fuzz/findings/$target
  mkdir -p "$work" "$findings"
  extra=()
  case $target in
    datafile) extra=(-max_len=8192 -timeout=10) ;;
    # Texts up to 64 KiB: a reader whose time grows faster than the text
    # takes seconds there and is reported as a timeout.
    values) extra=(-max_len=65536 -timeout=3 -dict="$here/values.dict") ;;
  esac
  echo "== fuzzing $target for $seconds s"
  if ! "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "${extra[@]}" "$@" \
      "$work" "$build/fuzz/corpus/$target" 2>"$build/fuzz/$target.log"; then
    tail -n 60 "$build/fuzz/$target.log" >&2
    echo "fuzz/run.sh: $target found a problem; the input is in $findings/" >&2
    status=1
  else
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|^Done' "$build/fuzz/$target.log" || true
  fi
done
exit $status
