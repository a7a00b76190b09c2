#!/usr/bin/env bash
# Installs the Debian packages Korlith needs on Debian 12: to build and run it, and with --tests
# also to test, package and benchmark it. Installing needs root: a user with sudo rights is
# asked for their password after the list of what is missing; anyone else is told what to run.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools
  qt6-declarative-dev qt6-webengine-dev qt6-webchannel-dev libqt6webenginecore6-bin qt6-translations-l10n
  libgl-dev libvulkan-dev libxkbcommon-dev libxcb1-dev
  libcurl4-openssl-dev libcups2-dev
  php-cli
  # Forms and links of the preview that lead back to the document run through it.
  php-cgi
  # The preview's container.
  bubblewrap
  fp-utils xchm xdg-utils
  adwaita-icon-theme
  # Qt's platform for Wayland desktops.
  qt6-wayland
)
if [ "${1:-}" = "--tests" ]; then
  packages+=(
    # The package: CPack's library dependencies need dpkg-shlibdeps and file; lintian judges it.
    dpkg-dev file lintian appstream desktop-file-utils
    # A virtual X server, a window manager, X tools, PDF tools, and a print scheduler of the
    # tests' own.
    xvfb xauth openbox x11-utils xdotool poppler-utils cups-daemon cups-client
    # The benchmarks' keys and the screen's changes, seen from outside the programs they time,
    # and the plain editor they set beside Korlith.
    libxcb-xtest0-dev libxcb-damage0-dev featherpad
    # For a user who is not root, a loopback network of the suites' own (scripts/loopback-session.sh).
    iproute2
    # A Wayland compositor, and GNOME Shell with its X server and buses (scripts/gnome-session.sh).
    weston
    gnome-shell mutter xwayland dbus dbus-daemon gnome-screenshot
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: Debian packages missing (${#missing[@]}): ${missing[*]}" >&2
if [ "$(id -u)" -ne 0 ]; then
  # Debian's sudo lets the group sudo in; anyone else would only hear that they may not.
  if command -v sudo >/dev/null && id -nG | tr ' ' '\n' | grep -qx -e sudo -e admin; then
    echo "install-deps: installing them needs root; sudo asks for your password" >&2
    exec sudo "$0" "$@"
  fi
  again="bash $0${*:+ $*}"
  echo "install-deps: installing them needs root: run this again as root (su -c \"$again\")," >&2
  echo "install-deps: or let root install the packages above with apt-get" >&2
  exit 1
fi
echo "install-deps: installing them with apt-get (with what they need, some minutes)" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
