#!/usr/bin/env bash
# Key press -> note latency next to its floor, and the built-in synthesizer's first note,
# for the build of scripts/test.sh (or give the build folder and the presses per case;
# --variants after them measures the Qt floor variants instead).
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/bench_key_latency.py "${1:-build-tests}" "${2:-60}" "${@:3}"
