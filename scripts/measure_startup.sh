#!/usr/bin/env bash
# Start-up time and memory of the program built by scripts/test.sh (or give the folder).
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/measure_startup.py "${1:-build-tests/program}" "${2:-5}"
