#!/usr/bin/env bash
# Makes the Debian package tessivar_<version>_<arch>.deb of the Release build.
#
# Usage: make_deb.sh [--from-build DIR] [--version VERSION] [--output DIR]
#   (no --from-build)      build Release in build-deb/ with Debian's build flags
#   --from-build DIR       package the programs of the build folder DIR (nothing is built)
#   --version VERSION      the package's version in place of the changelog's (to try an
#                          upgrade with a higher one)
#   --output DIR           where the package goes (default: the source folder)
#
# The files are the build's install rules (packaging/CMakeLists.txt) under /usr; the
# control, changelog, copyright and maintainer script are packaging/debian/; Depends is
# computed by dpkg-shlibdeps from the programs' libraries, plus what they load at run time
# (FluidSynth) and the General MIDI sound font.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
debian=$source_dir/packaging/debian
programs=(tessivar layoutcraft scanpeek)

usage() {
  sed -n '4,9s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

build=
version=
output=$source_dir
while [ $# -gt 0 ]; do
  case "$1" in
    --from-build) [ $# -ge 2 ] || usage; build=$2; shift 2 ;;
    --version) [ $# -ge 2 ] || usage; version=$2; shift 2 ;;
    --output) [ $# -ge 2 ] || usage; output=$2; shift 2 ;;
    *) usage ;;
  esac
done

bash "$source_dir/scripts/install_deps.sh" deb
if [ -z "$build" ]; then
  build=$source_dir/build-deb
  # Debian's hardening flags, all of them (bindnow too).
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
  cmake --build "$build" --target tessivar_program_folder tessivar_icons
fi
[ -f "$build/CMakeCache.txt" ] || { echo "$build is not a build folder" >&2; exit 1; }

changelog_version=$(dpkg-parsechangelog -l "$debian/changelog" -S Version)
program_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
if [ "$changelog_version" != "$program_version" ]; then
  echo "packaging/debian/changelog is at $changelog_version, the program at $program_version" >&2
  exit 1
fi
version=${version:-$changelog_version}
arch=$(dpkg --print-architecture)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
cmake --install "$build" --prefix "$root/usr" >/dev/null
lib=$root/usr/lib/tessivar
for name in "${programs[@]}"; do
  [ -x "$lib/program/$name" ] || { echo "$build has no $name: build it first" >&2; exit 1; }
  strip --remove-section=.comment --remove-section=.note --strip-unneeded "$lib/program/$name"
done
doc=$root/usr/share/doc/tessivar
mkdir -p "$doc" "$root/usr/share/lintian/overrides" "$root/DEBIAN"
cp "$debian/copyright" "$doc/copyright"
gzip -9n <"$debian/changelog" >"$doc/changelog.gz"
gzip -9n "$root/usr/share/man/man1/tessivar.1"
cp "$debian/lintian-overrides" "$root/usr/share/lintian/overrides/tessivar"
cp "$debian/postrm" "$root/DEBIAN/postrm"
find "$root" -type d -exec chmod 755 {} +
find "$root" -type f -exec chmod 644 {} +
chmod 755 "${programs[@]/#/$lib/program/}" "$lib/user-folder" "$root/usr/bin/tessivar" "$root/DEBIAN/postrm"

# The control file: dpkg-shlibdeps and dpkg-gencontrol want a debian/ folder beside them.
mkdir "$work/debian"
cp "$debian/control" "$work/debian/control"
(
  cd "$work"
  dpkg-shlibdeps -Tdebian/substvars "${programs[@]/#/root/usr/lib/tessivar/program/}"
  # The window flushes the toolkit's event queue through its private interface on X11: the
  # package holds to the Qt it was built with, as Debian's packages that do so.
  echo "qt:Abi=qt6-base-abi (= $(pkg-config --modversion Qt6Core))" >>debian/substvars
  dpkg-gencontrol -ptessivar -l"$debian/changelog" -Tdebian/substvars -Proot -v"$version"
)
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum >DEBIAN/md5sums)
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

# Everything dated as the changelog's entry: the same build gives the same package.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$debian/changelog" -S Timestamp)
export SOURCE_DATE_EPOCH
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$output"
package=$(cd "$output" && pwd)/tessivar_${version}_$arch.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$package" >/dev/null
echo "$package"
