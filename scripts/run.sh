#!/usr/bin/env bash
# Builds Tessivar's program folder (the program, the key-map editor and the key-code viewer
# its Tools menu starts, the data) and starts it from there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target tessivar_program_folder
exec build/program/tessivar
