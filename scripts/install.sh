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
# editor), so the folder is the user's and installing again loses nothing: its .installed
# lists every shipped file with the checksum it was installed with. A shipped file that is
# still as installed is replaced by the new one, and removed once it is no longer shipped;
# a shipped file the user changed is kept as it is (the install names it; deleting it and
# installing again brings back the shipped one). The three programs are always replaced.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
id=org.example.tessivar
programs=(tessivar layoutcraft scanpeek)
icon_sizes=(48 128 256)

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
folder=$data_home/tessivar
manifest=$folder/.installed
launcher=$HOME/.local/bin/tessivar
desktop_entry=$data_home/applications/$id.desktop
metainfo=$data_home/metainfo/$id.metainfo.xml
icons=$data_home/icons/hicolor
icon_files=()
for size in "${icon_sizes[@]}"; do icon_files+=("$icons/${size}x$size/apps/$id.png"); done

checksum() { sha256sum <"$1" | cut -c1-64; }

# Writes beside the target, then renames: a running program keeps its old file.
put() {
  mkdir -p "$(dirname "$2")"
  cp "$1" "$2.new-$$"
  mv -f "$2.new-$$" "$2"
}

is_program() {
  local name
  for name in "${programs[@]}"; do [ "$1" = "$name" ] && return 0; done
  return 1
}

# The shipped checksum of every file of the last install, by path in the folder.
declare -A installed_sum=()
read_manifest() {
  [ -f "$manifest" ] || return 0
  local line
  while IFS= read -r line; do
    installed_sum["${line:66}"]=${line:0:64}
  done <"$manifest"
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
  read_manifest
  local path
  for path in "${!installed_sum[@]}"; do
    [ -f "$folder/$path" ] || continue
    if is_program "$path" || [ "$(checksum "$folder/$path")" = "${installed_sum[$path]}" ]; then
      rm -f "$folder/$path"
    fi
  done
  rm -f "$manifest"
  [ -d "$folder" ] && find "$folder" -depth -type d -empty -delete
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
  cmake --build "$build" --target "${programs[@]}" make_icon
fi
build=$(cd "$build" && pwd)
for name in "${programs[@]}"; do
  [ -x "$build/program/$name" ] || { echo "$build/program/$name is missing: build it first" >&2; exit 1; }
done
make_icon=$build/tools/make_icon
[ -x "$make_icon" ] || { echo "$make_icon is missing: build it first" >&2; exit 1; }
case "$folder" in *[[:cntrl:]]*) echo "$folder: a folder name with control characters" >&2; exit 1 ;; esac

# The program folder. Its shipped data are the files of data/ (dot files excepted), as the
# build lays them out.
read_manifest
mkdir -p "$folder/CONFIGS"
new_manifest=$(mktemp "$folder/.installed.XXXXXX")
trap 'rm -f "$new_manifest"' EXIT
for name in "${programs[@]}"; do
  put "$build/program/$name" "$folder/$name"
  echo "$(checksum "$folder/$name")  $name" >>"$new_manifest"
done
declare -A shipped=()
kept=()
while IFS= read -r -d '' path; do
  path=${path#./}
  shipped[$path]=1
  new_sum=$(checksum "$source_dir/data/$path")
  target=$folder/$path
  if [ ! -e "$target" ]; then
    put "$source_dir/data/$path" "$target"
  else
    current=$(checksum "$target")
    if [ "$current" != "$new_sum" ]; then
      if [ "$current" = "${installed_sum[$path]:-}" ]; then
        put "$source_dir/data/$path" "$target"
      else
        kept+=("$path")
      fi
    fi
  fi
  echo "$new_sum  $path" >>"$new_manifest"
done < <(cd "$source_dir/data" && find . -mindepth 1 -name '.*' -prune -o -type f -print0)
# Files the last install shipped and this one does not: gone unless the user changed them.
for path in "${!installed_sum[@]}"; do
  if [ -z "${shipped[$path]:-}" ] && ! is_program "$path" && [ -f "$folder/$path" ] &&
    [ "$(checksum "$folder/$path")" = "${installed_sum[$path]}" ]; then
    rm -f "$folder/$path"
  fi
done
mv -f "$new_manifest" "$manifest"
chmod 644 "$manifest"

# The launcher, the icon in the sizes of the theme, the desktop entry and the metainfo.
mkdir -p "$(dirname "$launcher")"
ln -sfn "$folder/tessivar" "$launcher"
for size in "${icon_sizes[@]}"; do
  icon=$icons/${size}x$size/apps/$id.png
  mkdir -p "$(dirname "$icon")"
  "$make_icon" "$size" "$icon.new-$$"
  mv -f "$icon.new-$$" "$icon"
done
refresh_icon_cache
mkdir -p "$(dirname "$desktop_entry")"
entry=$(<"$source_dir/app/$id.desktop.in")
printf '%s\n' "${entry//@EXEC@/"$(desktop_exec "$folder/tessivar")"}" >"$desktop_entry.new-$$"
mv -f "$desktop_entry.new-$$" "$desktop_entry"
put "$source_dir/app/$id.metainfo.xml" "$metainfo"

echo "Installed Tessivar in $folder"
for path in "${kept[@]}"; do
  echo "Kept $path as you changed it (delete it and install again for the shipped one)"
done
case ":$PATH:" in
  *":$(dirname "$launcher"):"*) ;;
  *) echo "Start it from the desktop's menu, or add $(dirname "$launcher") to PATH to type tessivar" ;;
esac
