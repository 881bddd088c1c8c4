#!/usr/bin/env bash
# Runs every fuzz target over its seed corpus, then for a while on new inputs.
# Usage: fuzz/run.sh BUILD_FOLDER [SECONDS_PER_TARGET]
# New inputs go to a scratch folder, not into the seed corpora. A crash, a sanitizer
# report or a broken property stops the run with the input saved in the build folder.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
summary=()
for name in config key_map instrument_list skin; do
  fuzzer="$build/fuzz/${name}_fuzzer"
  corpus="$here/corpus/$name"
  echo "== $name: the seed corpus"
  if ! "$fuzzer" -runs=0 "$corpus" > "$scratch/$name-seeds.log" 2>&1; then
    tail -60 "$scratch/$name-seeds.log"
    exit 1
  fi
  grep -E "INITED" "$scratch/$name-seeds.log" || true
  echo "== $name: ${seconds} s on new inputs"
  mkdir -p "$scratch/$name"
  if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz/${name}-" \
      "$scratch/$name" "$corpus" > "$scratch/$name.log" 2>&1; then
    tail -60 "$scratch/$name.log"
    echo "$name: failed (the input is saved as $build/fuzz/${name}-*)"
    exit 1
  fi
  grep -E "INITED|DONE" "$scratch/$name.log" || true
  runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$scratch/$name.log" | grep -Eo '[0-9]+$' || echo "?")
  cov=$(grep -Eo 'DONE +cov: [0-9]+ ft: [0-9]+' "$scratch/$name.log" | tail -1 | sed 's/DONE *//' || echo "?")
  summary+=("$name: $runs executions, $cov")
done
printf '%s\n' "${summary[@]}"
