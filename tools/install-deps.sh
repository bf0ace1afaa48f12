#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# As root it uses apt-get directly; otherwise sudo when available. With
# everything installed it changes nothing and needs no privileges.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  zlib1g-dev libpng-dev libgtest-dev
  qt6-base-dev fonts-liberation
  unzip p7zip-full python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  run=()
elif command -v sudo >/dev/null 2>&1; then
  run=(sudo)
else
  echo "Missing packages: ${missing[*]}; install them as root (apt-get install ${missing[*]})." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${run[@]}" apt-get update -qq
"${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
