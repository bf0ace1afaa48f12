#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user gets: every
# file in place, the program runs from there, and the desktop entry, the
# AppStream data and the manual page pass their validators.
#   check_install.sh <build dir> <application id>
set -euo pipefail
build=$1
id=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp" >/dev/null

failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

for f in bin/zelvoconverter \
         "share/applications/$id.desktop" \
         "share/metainfo/$id.metainfo.xml" \
         "share/mime/packages/$id.xml" \
         share/icons/hicolor/48x48/apps/"$id".png \
         share/icons/hicolor/256x256/apps/"$id".png \
         share/icons/hicolor/scalable/apps/"$id".svg \
         share/man/man1/zelvoconverter.1.gz \
         share/bash-completion/completions/zelvoconverter; do
  [ -s "$tmp/$f" ] || fail "not installed: $f"
done

"$tmp/bin/zelvoconverter" --version | grep -q '^zelvoconverter ' || fail "the installed program does not run"

# The validators are in desktop-file-utils, appstream and man-db.
desktop-file-validate "$tmp/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$tmp/share/metainfo/$id.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate: $(appstreamcli validate --no-net "$tmp/share/metainfo/$id.metainfo.xml")"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tmp/share/man/man1/zelvoconverter.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings: $warnings"
bash -n "$tmp/share/bash-completion/completions/zelvoconverter" || fail "completion does not parse"

exit $failed
