#!/usr/bin/env bash
# Installs the Debian 12 packages that Ostrel needs to build, test and run.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libqt6svg6
  libgtest-dev libgmock-dev
  fonts-dejavu-core fonts-liberation
  libjpeg-turbo-progs
)
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
if ! dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null | grep -vq 'install ok installed' &&
   [ "$(dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null | wc -l)" -eq "${#packages[@]}" ]; then
  exit 0  # everything is there already
fi
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
