#!/usr/bin/env bash
# Installs what Korlith needs to build, run, test, package and benchmark on Debian 12.
# Installing needs root: as another user it goes through sudo, and only when something is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools
  qt6-declarative-dev qt6-webengine-dev libqt6webenginecore6-bin qt6-translations-l10n
  libgl-dev libvulkan-dev libxkbcommon-dev
  libcurl4-openssl-dev libcups2-dev
  php-cli
  fp-utils xchm xdg-utils
  adwaita-icon-theme
  # The package: CPack's library dependencies need dpkg-shlibdeps and file; lintian judges it.
  dpkg-dev file lintian appstream desktop-file-utils
  # Tests and benchmarks: a virtual X server, a window manager, X tools, PDF tools, and a
  # print scheduler of the tests' own.
  xvfb xauth openbox x11-utils xdotool poppler-utils cups-daemon cups-client
  # and, for a user who is not root, a loopback network of the suites' own (scripts/loopback-session.sh).
  iproute2
  # and a Wayland compositor with Qt's Wayland platform.
  weston qt6-wayland
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then
    exec sudo "$0" "$@"
  fi
  echo "install-deps: these Debian packages are missing: ${missing[*]}" >&2
  echo "install-deps: run as root, or install sudo" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
