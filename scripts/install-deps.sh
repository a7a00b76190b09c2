#!/usr/bin/env bash
# Installs what Korlith needs to build, run and test on Debian 12 (run as root).
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools
  qt6-declarative-dev qt6-webengine-dev libqt6webenginecore6-bin qt6-translations-l10n
  libgl-dev libvulkan-dev libxkbcommon-dev
  libcurl4-openssl-dev
  php-cli
  fp-utils xchm xdg-utils
  dpkg-dev appstream desktop-file-utils
  adwaita-icon-theme
  xvfb xauth openbox x11-utils xdotool poppler-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
