#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages Tessivar needs, when they are missing.
# Usage: install_deps.sh [build|test|fuzz|deb]
#        install_deps.sh only PACKAGE...   (just those: the Windows scripts' own needs)
set -euo pipefail

build_packages=(cmake g++ ninja-build pkg-config qt6-base-dev qt6-base-private-dev libgl-dev libxkbcommon-dev libxcb-xkb-dev
  libx11-dev
  librtmidi-dev libasound2-dev libjack-jackd2-dev libfluidsynth-dev timgm6mb-soundfont libgtest-dev libbenchmark-dev
  libpipewire-0.3-dev)
fuzz_packages=(clang libclang-rt-14-dev)
# What makes the Debian package (scripts/make_deb.sh): dpkg-shlibdeps, dpkg-gencontrol.
deb_packages=(dpkg-dev)
test_packages=(xvfb xdotool x11-utils x11-xserver-utils x11-xkb-utils jackd2 jack-tools imagemagick python3 libxtst-dev)
# The checks of the installed desktop entry and AppStream metainfo.
test_packages+=(desktop-file-utils appstream)
# The Debian package, made and checked.
test_packages+=("${deb_packages[@]}" lintian)
# The program on a headless Wayland compositor, keys from a virtual keyboard of the tests.
test_packages+=(sway qt6-wayland libwayland-dev)
# What the key-code viewer shows, read through the accessibility bus.
test_packages+=(at-spi2-core gir1.2-atspi-2.0 python3-gi)
# The program under PipeWire: its JACK library, its pulse server for the synthesizer.
test_packages+=(pipewire pipewire-bin wireplumber pipewire-jack pipewire-pulse dbus)
# The ALSA sequencer tests run in a small virtual machine (scripts/in_guest.py): the
# emulator, a static shell for its first process, the module tools that order the sound
# modules, and the sequencer's command-line tools. The kernel itself is downloaded there.
test_packages+=(qemu-system-x86 busybox-static kmod alsa-utils)

wanted=("${build_packages[@]}")
if [ "${1:-build}" = only ]; then
  wanted=("${@:2}")
fi
if [ "${1:-build}" = test ]; then
  wanted+=("${test_packages[@]}")
fi
if [ "${1:-build}" = fuzz ]; then
  wanted+=("${fuzz_packages[@]}")
fi
if [ "${1:-build}" = deb ]; then
  wanted+=("${deb_packages[@]}")
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
# Another installation may hold the package lock for a while: wait for it.
apt_get=("${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=1200)
"${apt_get[@]}" update -qq
"${apt_get[@]}" install -y -qq --no-install-recommends "${missing[@]}"
