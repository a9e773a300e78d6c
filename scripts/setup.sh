#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Pictrim need.
# Safe to run again: apt-get skips what is already there. Run as root (or with sudo).
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  libfreeimage-dev libjpeg62-turbo-dev
  qt6-base-dev libgl-dev qt6-translations-l10n
  libsimpleini-dev libicu-dev
  libwmf-dev fonts-urw-base35
  libheif-dev libde265-dev
  fonts-dejavu-core
  libgtest-dev
  xvfb xauth
  dpkg-dev desktop-file-utils appstream
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"
