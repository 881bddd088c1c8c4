#!/bin/sh
# Starts Tessivar from the user's own program folder, made or brought up to date first from
# the installed one: the program saves its configurations and setup.ini into its folder.
# (The files the user changed are kept; the manual page says so, the start stays quiet.)
set -e
lib=$(dirname "$(readlink -f "$0")")/../lib/tessivar
"$lib/user-folder" update "$lib/program" >/dev/null
exec "$("$lib/user-folder" path)/tessivar" "$@"
