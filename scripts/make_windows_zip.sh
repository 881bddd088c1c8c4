#!/usr/bin/env bash
# Makes Tessivar-<version>-win64.zip: the program folder as a Windows user unpacks and runs
# it (Tessivar.exe, layoutcraft.exe, scanpeek.exe, the Qt and compiler run-time DLLs they
# import, Qt's Windows platform and style plugins, the data folders and the help), built
# with mingw-w64 against Qt built by scripts/build_qt_mingw.sh (once; kept in its cache).
#
#   scripts/make_windows_zip.sh [BUILD_FOLDER]   (default build-windows)
#
# The last line printed is the zip's path (in the build folder).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}

packages=(cmake ninja-build python3 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
bash scripts/install_deps.sh only "${packages[@]}" >&2

qt=$(bash scripts/build_qt_mingw.sh | tail -n1)
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# --fresh: a folder configured before without Qt (or for another Qt) starts over.
cmake --fresh -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTESSIVAR_QT_MINGW_DIR="$qt" >&2
cmake --build "$build" --target tessivar layoutcraft scanpeek >&2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name="Tessivar-$version-win64"
rm -rf "$build/zip" "$build/$name.zip"
cmake --install "$build" --prefix "$build/zip/$name" --strip >&2
(cd "$build/zip" && cmake -E tar cf "../$name.zip" --format=zip "$name")
echo "$PWD/$build/$name.zip"
