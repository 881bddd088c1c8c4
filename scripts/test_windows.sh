#!/usr/bin/env bash
# The Windows side, cross-built with mingw-w64 and run under Wine: Qt for mingw-w64 (built
# once from Debian's source and kept, scripts/build_qt_mingw.sh), the whole program and its
# zip (scripts/make_windows_zip.sh), the unit and widget tests under Wine in a private,
# headless prefix in build-windows/, then Tessivar.exe from the unpacked zip under Wine on
# Xvfb (tests/e2e/windows). Installs what it needs (through sudo when not root).
#
#   scripts/test_windows.sh [--core]
#
# --core: only what needs neither Qt nor FluidSynth (settings, files, the device set with the
# WinMM system, the note engine), linked statically, in build-windows-core/; no Qt is built.
set -euo pipefail
cd "$(dirname "$0")/.."
core=false
if [ "${1:-}" = --core ]; then core=true; fi

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine wine64
  xvfb xdotool x11-utils imagemagick python3)
bash scripts/install_deps.sh only "${packages[@]}" >&2

if $core; then
  build=build-windows-core
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTESSIVAR_CORE_ONLY=ON
  cmake --build "$build"
else
  build=build-windows
  zip=$(bash scripts/make_windows_zip.sh "$build" | tail -n1)
  cmake --build "$build"
fi

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
if $core; then exit 0; fi

# The program as a Windows user has it: the zip unpacked into a folder of its own. Its
# Wine processes see the test's X server, so the headless server goes first.
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w
unpacked="$build/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
TESSIVAR_WINE="$wine" TESSIVAR_WINESERVER="$wineserver" \
  python3 tests/e2e/windows/program_test.py "$unpacked/$(basename "$zip" .zip)"
