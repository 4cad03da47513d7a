#!/usr/bin/env bash
# Installs every Debian package Orbelline needs to build, test and run.
# Idempotent and quiet: when everything is present it installs nothing and prints nothing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  liblapack-dev libfftw3-dev libssl-dev libplist-dev libplist-utils
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libgl-dev libglu1-mesa-dev libgl1-mesa-dri
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
