#!/usr/bin/env bash
# The early keys end-to-end test against the program built with the thread sanitizer
# (a build folder made with -DTESSIVAR_TSAN=ON): the key thread and the GUI thread share
# the note engine, and every access of one the other may race with is reported here.
# Usage: tsan_keys.sh BUILD_FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-tsan}")
reports=$(mktemp -d)
trap 'rm -rf "$reports"' EXIT
status=0
TSAN_OPTIONS="log_path=$reports/report suppressions=$PWD/tests/e2e/program/tsan.supp halt_on_error=0" \
  python3 tests/e2e/program/early_keys_test.py "$build/program" || status=$?
if compgen -G "$reports/report.*" >/dev/null; then
  cat "$reports"/report.*
  echo "the thread sanitizer reported the above" >&2
  exit 1
fi
echo "no thread sanitizer report"
exit "$status"
