#!/usr/bin/env bash
# Key press -> the built-in synthesizer's first audible sample, on JACK and on PipeWire, next
# to the least X + audio program, for the build of scripts/test.sh (or give the presses and
# one or more build folders, e.g. main's and this one's, to set them side by side). A note is
# heard in the JACK cycle after its key or in the one after that, so a median of few presses
# swings: of 40 or 80, between 1.0x and 1.5x the floor from run to run on one machine.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/bench_synth_latency.py "${1:-200}" "${@:2}" $([ $# -ge 2 ] || echo build-tests)
