#!/usr/bin/env bash
# Installs every Debian package Orbelline needs to build, test and run.
# Idempotent and quiet: when everything is present it installs nothing and prints nothing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libtbb-dev
  liblapack-dev libfftw3-dev libssl-dev libplist-dev libplist-utils
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libgl-dev libglu1-mesa-dev libgl1-mesa-dri
  xvfb xauth locales
)
# Only for scripts/fuzz.sh: clang with libFuzzer and the sanitizer runtimes.
if [ "${ORB_SETUP_FUZZ:-0}" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A decimal-comma locale, so the tests prove that numbers in files read the same in
# every locale the interface may run under.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "Generating the de_DE.UTF-8 locale"
  $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
