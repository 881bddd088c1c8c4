#!/usr/bin/env bash
# Builds Qt (qtbase: Core, Gui, Widgets, Test and the Windows platform plugin) for 64-bit
# Windows with mingw-w64, from Debian's own source package of the host's Qt, so that the
# host's moc, rcc and uic serve the cross build. The result is kept in a cache outside the
# build folders and rebuilt only when the host's Qt changes version.
#
#   scripts/build_qt_mingw.sh            build when needed; the last line printed is the prefix
#   scripts/build_qt_mingw.sh --prefix   only print the prefix it builds into
#
# TESSIVAR_QT_MINGW_DIR overrides the prefix (default /var/cache/tessivar/qt6-mingw-<version>);
# TESSIVAR_QT_MINGW_WORK the folder of the source and the build (deleted after success).
# Installs what it needs (through sudo when not root). Takes ~25 min of CPU on 2 cores.
set -euo pipefail

host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
if [ -z "$host_version" ]; then
  echo "build_qt_mingw: the host's Qt (qt6-base-dev) is not installed" >&2
  exit 1
fi
prefix=${TESSIVAR_QT_MINGW_DIR:-/var/cache/tessivar/qt6-mingw-$host_version}
if [ "${1:-}" = "--prefix" ]; then
  echo "$prefix"
  exit 0
fi
stamp="$prefix/tessivar-qt-version"

# The compiler's run-time DLLs beside Qt's own, which need them: then Qt's bin folder alone
# is the search path of programs run from the build (the tests under Wine). Copied on every
# run, so that they stay those of the compiler installed now.
finish() {
  local dll
  for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp -u "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)" "$prefix/bin/"
  done
  echo "$prefix"
  exit 0
}
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$host_version" ]; then finish; fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

packages=(cmake ninja-build perl dpkg-dev g++-mingw-w64-x86-64-posix qt6-base-dev-tools)
bash "$(dirname "$0")/install_deps.sh" only "${packages[@]}" >&2

# The cache folder belongs to the user who builds (made through sudo when needed).
cache=$(dirname "$prefix")
if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
  "${sudo_cmd[@]}" install -d -o "$(id -u)" -g "$(id -g)" "$cache"
fi
work=${TESSIVAR_QT_MINGW_WORK:-/var/tmp/tessivar-qt6-mingw-$host_version}
mkdir -p "$work"
# Two runs at once (two worktrees, CI beside a developer) build it only once.
exec 9>"$work.lock"
flock 9
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$host_version" ]; then finish; fi

# The source package comes from the mirror the host's Qt came from, through a deb-src line
# of this script's own.
cd "$work"
if ! ls -d qt6-base-*/ >/dev/null 2>&1; then
  if ! apt-get source --print-uris "qt6-base=$host_version" >/dev/null 2>&1; then
    mirror=$(apt-cache policy qt6-base-dev | awk '/^ \*\*\* /{getline; print $2, $3; exit}')
    uri=${mirror% *}
    suite=${mirror#* }
    suite=${suite%%/*}
    echo "Adding deb-src $uri $suite main" >&2
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
      "$uri" "$suite" /usr/share/keyrings/debian-archive-keyring.gpg |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/tessivar-qt-source.sources >/dev/null
    "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=1200 update -qq
  fi
  apt-get source -qq "qt6-base=$host_version" >&2
fi
source_dir=$(ls -d "$work"/qt6-base-*/ | head -n1)

# The toolchain lies in the installed Qt: Qt's own toolchain file (qt-cmake) loads it from
# there. The version stamp, written last, marks a finished installation.
rm -rf "$prefix"
mkdir -p "$prefix"
toolchain="$prefix/mingw-w64-x86_64-toolchain.cmake"
cat >"$toolchain" <<'EOF'
# mingw-w64 with the POSIX thread model (std::thread, std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

started=$(date +%s)
# Debian's source drops the tablet header wintab.h, so no tablet events; the Windows platform
# plugin of 6.4 needs OpenGL, which stays dynamic (nothing to install).
cmake -S "$source_dir" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_vulkan=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_icu=OFF \
  -DINPUT_opengl=dynamic >&2
cmake --build "$work/build" >&2
cmake --install "$work/build" >&2
echo "$host_version" >"$stamp"
echo "build_qt_mingw: Qt $host_version for mingw-w64 built in $(($(date +%s) - started)) s," \
  "$(du -sh "$prefix" | cut -f1) installed" >&2
cd /
rm -rf "$work"
finish
