#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages Tessivar needs, when they are missing.
# Usage: install_deps.sh [build|test|fuzz]
set -euo pipefail

build_packages=(cmake g++ ninja-build pkg-config qt6-base-dev libgl-dev libxkbcommon-dev libxcb-xkb-dev
  libxcb-xinput-dev libx11-dev
  librtmidi-dev libasound2-dev libjack-jackd2-dev libfluidsynth-dev timgm6mb-soundfont libgtest-dev libbenchmark-dev)
fuzz_packages=(clang libclang-rt-14-dev)
test_packages=(xvfb xdotool x11-utils x11-xserver-utils x11-xkb-utils jackd2 jack-tools imagemagick python3 libxtst-dev)
# The desktop entry's check.
test_packages+=(desktop-file-utils)

wanted=("${build_packages[@]}")
if [ "${1:-build}" = test ]; then
  wanted+=("${test_packages[@]}")
fi
if [ "${1:-build}" = fuzz ]; then
  wanted+=("${fuzz_packages[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks about real-time priority; answer "no" without a prompt.
echo "jackd2 jackd/tweak_rt_limits boolean false" | "${sudo_cmd[@]}" debconf-set-selections
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
