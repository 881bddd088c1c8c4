#!/usr/bin/env bash
# Cross-builds for 64-bit Windows (mingw-w64) what needs neither Qt nor FluidSynth - the
# settings and file formats, the MIDI device set with the WinMM system, the note engine -
# with their unit tests, and runs the tests under Wine in a private, headless prefix in
# build-windows/. Installs what it needs (through sudo when not root).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine wine64)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=build-windows
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTESSIVAR_CORE_ONLY=ON
cmake --build "$build"

# The same environment as the test emulator set in the toolchain file.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# One wine server for the whole run (each test is a process of its own), always stopped
# at the end so that nothing is left running.
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
mkdir -p "$WINEPREFIX"
"$wineserver" -p30
"$wine" wineboot --init >/dev/null 2>&1
ctest --test-dir "$build" --output-on-failure -j2
