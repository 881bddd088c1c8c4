#!/usr/bin/env bash
# Builds Tessivar and starts it from its program folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target tessivar
exec build/program/tessivar
