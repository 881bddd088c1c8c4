#!/usr/bin/env bash
# Installs Tessivar for the current user, without root: the program folder (tessivar,
# layoutcraft, scanpeek and the data folders) as ~/.local/share/tessivar, the launcher
# ~/.local/bin/tessivar, the icon, the desktop entry and the AppStream metainfo.
# ($XDG_DATA_HOME takes the place of ~/.local/share when it is set.)
#
# Usage: install.sh                       build Release in build/ and install it
#        install.sh --from-build DIR      install the programs of the build folder DIR as
#                                         they are (nothing is built)
#        install.sh --uninstall [--purge] remove what was installed; the user's own files
#                                         stay, unless --purge removes the whole folder
#
# The program writes into its folder (configurations, setup.ini, key maps saved by the
# editor), so the folder is the user's and installing again loses nothing. The folder is
# made and updated by scripts/user_folder.sh, which the Debian package's launcher runs at
# every start as well (the two share the folder): a shipped file the user changed is kept
# (the install names it), the programs are always replaced. The files come from the
# build's install rules (packaging/CMakeLists.txt), staged in a temporary prefix.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
id=org.example.tessivar
icon_sizes=(48 128 256)
user_folder=(sh "$source_dir/scripts/user_folder.sh")

usage() {
  sed -n '7,12s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

build=
uninstall=false
purge=false
while [ $# -gt 0 ]; do
  case "$1" in
    --from-build) [ $# -ge 2 ] || usage; build=$2; shift 2 ;;
    --uninstall) uninstall=true; shift ;;
    --purge) purge=true; shift ;;
    *) usage ;;
  esac
done
if $purge && ! $uninstall; then usage; fi

[ -n "${HOME:-}" ] || { echo "HOME is not set" >&2; exit 1; }
data_home=$HOME/.local/share
case "${XDG_DATA_HOME:-}" in /*) data_home=$XDG_DATA_HOME ;; esac
folder=$("${user_folder[@]}" path)
launcher=$HOME/.local/bin/tessivar
desktop_entry=$data_home/applications/$id.desktop
metainfo=$data_home/metainfo/$id.metainfo.xml
icons=$data_home/icons/hicolor
icon_files=()
for size in "${icon_sizes[@]}"; do icon_files+=("$icons/${size}x$size/apps/$id.png"); done

# Writes beside the target, then renames.
put() {
  mkdir -p "$(dirname "$2")"
  cp "$1" "$2.new-$$"
  mv -f "$2.new-$$" "$2"
}

# The program path as one Exec argument: quoted, with \ " ` $ escaped, then the value's
# own escaping of \, and % written as %%.
desktop_exec() {
  local s=$1
  s=${s//\\/\\\\}
  s=${s//\"/\\\"}
  s=${s//\`/\\\`}
  s=${s//\$/\\\$}
  s=${s//\\/\\\\}
  s=${s//%/%%}
  printf '"%s"' "$s"
}

refresh_icon_cache() {
  if [ -f "$icons/icon-theme.cache" ] && command -v gtk-update-icon-cache >/dev/null; then
    gtk-update-icon-cache -q -t -f "$icons" || true
  fi
}

uninstall() {
  rm -f "$desktop_entry" "$metainfo" "${icon_files[@]}"
  local icon
  for icon in "${icon_files[@]}"; do
    rmdir --ignore-fail-on-non-empty "$(dirname "$icon")" "$(dirname "$(dirname "$icon")")" 2>/dev/null || true
  done
  if [ -L "$launcher" ] && [ "$(readlink "$launcher")" = "$folder/tessivar" ]; then rm -f "$launcher"; fi
  refresh_icon_cache
  if $purge; then
    rm -rf "$folder"
    echo "Removed Tessivar and its folder $folder"
    return
  fi
  "${user_folder[@]}" remove
  echo "Removed Tessivar"
  if [ -d "$folder" ]; then
    echo "Your files are left in $folder (--uninstall --purge removes them too):"
    (cd "$folder" && find . -type f | sed 's|^\./|  |' | sort)
  fi
}

if $uninstall; then
  uninstall
  exit 0
fi

if [ -z "$build" ]; then
  bash "$source_dir/scripts/install_deps.sh" build
  build=$source_dir/build
  cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build "$build" --target tessivar_program_folder tessivar_icons
fi
[ -f "$build/CMakeCache.txt" ] || { echo "$build is not a build folder" >&2; exit 1; }
case "$folder" in *[[:cntrl:]]*) echo "$folder: a folder name with control characters" >&2; exit 1 ;; esac
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage" >/dev/null
shipped=$stage/lib/tessivar/program
for name in tessivar layoutcraft scanpeek; do
  [ -x "$shipped/$name" ] || { echo "$build has no $name: build it first" >&2; exit 1; }
done

# The program folder.
kept=$("${user_folder[@]}" update "$shipped")

# The launcher, the icon in the sizes of the theme, the desktop entry and the metainfo.
mkdir -p "$(dirname "$launcher")"
ln -sfn "$folder/tessivar" "$launcher"
for icon in "${icon_files[@]}"; do
  put "$stage/share/icons/hicolor/${icon#"$icons"/}" "$icon"
done
refresh_icon_cache
mkdir -p "$(dirname "$desktop_entry")"
entry=$(<"$source_dir/app/$id.desktop.in")
printf '%s\n' "${entry//@EXEC@/"$(desktop_exec "$folder/tessivar")"}" >"$desktop_entry.new-$$"
mv -f "$desktop_entry.new-$$" "$desktop_entry"
put "$stage/share/metainfo/$id.metainfo.xml" "$metainfo"

echo "Installed Tessivar in $folder"
[ -z "$kept" ] || echo "$kept"
case ":$PATH:" in
  *":$(dirname "$launcher"):"*) ;;
  *) echo "Start it from the desktop's menu, or add $(dirname "$launcher") to PATH to type tessivar" ;;
esac
