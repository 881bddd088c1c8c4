#!/bin/sh
# The user's own Tessivar folder, made and kept up to date from a shipped program folder.
# The program writes into its folder (configurations, setup.ini, key maps saved by the
# editor), so every user runs a copy of their own: $XDG_DATA_HOME/tessivar, else
# ~/.local/share/tessivar. Installed as /usr/lib/tessivar/user-folder, where the launcher
# /usr/bin/tessivar runs it at every start; scripts/install.sh runs it from the source.
#
# Usage: user-folder path               print the folder
#        user-folder update SHIPPED     make or update the folder from the program folder
#                                       SHIPPED (programs, data; dot files are not shipped)
#        user-folder remove             remove what was shipped and is still as shipped
#
# The folder's .installed lists every shipped file with the checksum it was installed
# with. A shipped file still as installed is replaced by the new one, and removed once it
# is no longer shipped; one the user changed is kept as it is (update names it; deleting
# it brings back the shipped one at the next update). The programs (the executable
# files) are always the shipped ones. Its .shipped describes the shipped folder as it was
# at the last update: while that holds and no shipped file is missing, update reads no
# file (the launcher runs it at every start).
set -eu

usage() {
  sed -n '8,11s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

[ -n "${HOME:-}" ] || { echo "HOME is not set" >&2; exit 1; }
data_home=$HOME/.local/share
case "${XDG_DATA_HOME:-}" in /*) data_home=$XDG_DATA_HOME ;; esac
folder=$data_home/tessivar
manifest=$folder/.installed
shipped_stamp=$folder/.shipped

checksum() { sha256sum <"$1" | cut -c1-64; }

# Writes beside the target, then renames: a running program keeps its old file.
put() {
  mkdir -p "$(dirname "$2")"
  cp "$1" "$2.new-$$"
  mv -f "$2.new-$$" "$2"
}

# The checksum a path of the folder was installed with; empty when it was not shipped.
installed_sum() {
  [ -f "$manifest" ] || return 0
  awk -v path="$1" 'substr($0, 67) == path { sum = substr($0, 1, 64) } END { if (sum) print sum }' "$manifest"
}

# The shipped files with their inode, size and time: a package installed again, even the
# same one, gives new inodes.
shipped_state() {
  (cd "$1" && find . -mindepth 1 -name '.*' -prune -o -type f -printf '%P %i %s %T@\n' | LC_ALL=C sort)
}

up_to_date() {
  [ -f "$manifest" ] && [ -d "$folder/CONFIGS" ] && [ -f "$shipped_stamp" ] &&
    [ "$2" = "$(cat "$shipped_stamp")" ] || return 1
  while IFS= read -r line; do
    [ -e "$folder/${line#*  }" ] || return 1
  done <"$manifest"
}

update() {
  shipped=$(cd "$1" && pwd)
  state=$(shipped_state "$shipped")
  if up_to_date "$shipped" "$state"; then return 0; fi
  mkdir -p "$folder/CONFIGS"
  new_manifest=$(mktemp "$folder/.installed.XXXXXX")
  list=$(mktemp)
  trap 'rm -f "$new_manifest" "$list"' EXIT
  (cd "$shipped" && find . -mindepth 1 -name '.*' -prune -o -type f -print | sed 's|^\./||' | LC_ALL=C sort) >"$list"
  while IFS= read -r path; do
    new_sum=$(checksum "$shipped/$path")
    target=$folder/$path
    if [ ! -e "$target" ]; then
      put "$shipped/$path" "$target"
    else
      current=$(checksum "$target")
      if [ "$current" != "$new_sum" ]; then
        if [ -x "$shipped/$path" ] || [ "$current" = "$(installed_sum "$path")" ]; then
          put "$shipped/$path" "$target"
        else
          echo "Kept $path as you changed it (delete it for the shipped one)"
        fi
      fi
    fi
    echo "$new_sum  $path" >>"$new_manifest"
  done <"$list"
  # Files the last update shipped and this one does not: gone unless the user changed them.
  if [ -f "$manifest" ]; then
    while IFS= read -r line; do
      path=${line#*  }
      if ! grep -Fxq -- "$path" "$list" && [ -f "$folder/$path" ] &&
        [ "$(checksum "$folder/$path")" = "${line%%  *}" ]; then
        rm -f "$folder/$path"
      fi
    done <"$manifest"
  fi
  chmod 644 "$new_manifest"
  mv -f "$new_manifest" "$manifest"
  rm -f "$list"
  trap - EXIT
  printf '%s\n' "$state" >"$shipped_stamp.new-$$"
  mv -f "$shipped_stamp.new-$$" "$shipped_stamp"
}

remove() {
  if [ -f "$manifest" ]; then
    while IFS= read -r line; do
      path=${line#*  }
      [ -f "$folder/$path" ] || continue
      if [ -x "$folder/$path" ] || [ "$(checksum "$folder/$path")" = "${line%%  *}" ]; then
        rm -f "$folder/$path"
      fi
    done <"$manifest"
    rm -f "$manifest" "$shipped_stamp"
  fi
  [ -d "$folder" ] && find "$folder" -depth -type d -empty -delete
  return 0
}

case "${1:-}" in
  path) [ $# -eq 1 ] || usage; echo "$folder" ;;
  update) [ $# -eq 2 ] || usage; update "$2" ;;
  remove) [ $# -eq 1 ] || usage; remove ;;
  *) usage ;;
esac
