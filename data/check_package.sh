#!/usr/bin/env bash
# Builds the Debian package from the build tree into a scratch directory and
# checks its dependencies and that the packaged program runs.
#   check_package.sh <build dir>
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; exit 1; }
deb=$(ls "$tmp"/zelvoconverter_*_*.deb)

failed=0
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 zlib1g libpng16-16 fonts-liberation; do
  [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
    { echo "FAILED: Depends lacks $package: $depends" >&2; failed=1; }
done
dpkg-deb -x "$deb" "$tmp/root"
"$tmp/root/usr/bin/zelvoconverter" --version | grep -q '^zelvoconverter ' ||
  { echo "FAILED: the packaged program does not run" >&2; failed=1; }
exit $failed
