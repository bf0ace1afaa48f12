#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that a file manager
# would offer the program for the logs it reads: the type definitions
# compile into a MIME database, the logs' names and the solution file's
# header map to those types, and xdg-mime names the desktop entry as their
# default application.
#   check_mime.sh <build dir> <application id>
set -euo pipefail
build=$1
id=$2
for tool in update-mime-database update-desktop-database xdg-mime; do
  command -v "$tool" >/dev/null || { echo "FAILED: $tool is not installed (tools/install-deps.sh)" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
share=$tmp/prefix/share
# The tools read only the scratch prefix: no user or system choices.
export XDG_DATA_HOME=$share XDG_DATA_DIRS=$share XDG_CONFIG_HOME=$tmp/config XDG_CONFIG_DIRS=$tmp/config
export XDG_CURRENT_DESKTOP= DE= XDG_SESSION_DESKTOP= KDE_FULL_SESSION= GNOME_DESKTOP_SESSION_ID=
mkdir -p "$tmp/config"
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

types=(application/x-nmea application/x-tolv application/x-gnss-solution)
grep -q "^MimeType=$(IFS=';'; echo "${types[*]}");\$" "$share/applications/$id.desktop" ||
  fail "the desktop entry does not declare ${types[*]}"

update-mime-database "$share/mime" 2>"$tmp/mime.err" || fail "update-mime-database: $(cat "$tmp/mime.err")"
[ -s "$tmp/mime.err" ] && fail "update-mime-database warns: $(cat "$tmp/mime.err")"
update-desktop-database "$share/applications"

for glob in 'application/x-nmea:\*.nmea' 'application/x-nmea:\*.nma' 'application/x-tolv:\*.tolv' \
            'application/x-gnss-solution:\*.pos'; do
  grep -q ":$glob\$" "$share/mime/globs2" || fail "no glob ${glob#*:} for ${glob%%:*}"
done
# The compiled magic holds the solution file's header under its type.
grep -a -q '^\[[0-9]*:application/x-gnss-solution\]' "$share/mime/magic" || fail "no magic for *.pos"
grep -a -q '%  GPST' "$share/mime/magic" || fail "the magic lacks the '%  GPST' header"

for type in "${types[@]}"; do
  default=$(xdg-mime query default "$type")
  [ "$default" = "$id.desktop" ] || fail "xdg-mime query default $type gives '$default', not $id.desktop"
done

exit $failed
