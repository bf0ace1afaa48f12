#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# As root it uses apt-get directly; otherwise sudo when available. With
# everything installed it changes nothing and needs no privileges.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  zlib1g-dev libpng-dev libgtest-dev
  qt6-base-dev fonts-liberation
  libgeographiclib-dev libfreetype-dev python3-geographiclib
  unzip p7zip-full python3 locales
  desktop-file-utils appstream man-db dpkg-dev
  libxml2-utils  # xmllint: the documents are checked against the KML schema
  libxml2-dev  # the fuzz targets validate every document against that schema
  shared-mime-info xdg-utils  # the installed types and the default application
  clang libclang-rt-dev
  gdal-bin  # the --data fields and the companion files read back by a GIS tool
  gpsbabel  # the GPX companion read back by a route tool
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
# The tests check the document under a locale whose decimal mark is ",".
need_locale() { ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; }

if [ ${#missing[@]} -eq 0 ] && ! need_locale; then exit 0; fi

[ ${#missing[@]} -gt 0 ] && echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  run=()
elif command -v sudo >/dev/null 2>&1; then
  run=(sudo)
elif [ ${#missing[@]} -eq 0 ]; then
  exit 0  # only the test locale is missing: that test skips itself
else
  echo "Missing packages: ${missing[*]}; install them as root (apt-get install ${missing[*]})." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  "${run[@]}" apt-get update -qq
  "${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if need_locale; then
  "${run[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | "${run[@]}" tee -a /etc/locale.gen >/dev/null
  "${run[@]}" locale-gen >/dev/null
fi
