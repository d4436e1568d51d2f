#!/usr/bin/env bash
# Installs the Debian packages Tovrel needs, skipping those already present. Safe to run again;
# asks for sudo only when not running as root.
#
#   scripts/setup.sh run    what building and running Tovrel needs, its live self-test included
#   scripts/setup.sh        all of that and what the tests, benchmarks and tools drive
set -euo pipefail

case ${1:-all} in
  run | all) readonly scope=${1:-all} ;;
  *)
    echo "usage: scripts/setup.sh [run]" >&2
    exit 2
    ;;
esac

packages=(
  # build (the default build configures its unit tests and benchmarks too)
  cmake ninja-build g++ pkg-config
  nlohmann-json3-dev libicu-dev libfmt-dev
  qt6-base-dev libqt6svg6 libx11-dev libxcb1-dev libxi-dev libxtst-dev libxrandr-dev libxfixes-dev libxres-dev libxkbfile-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # a session bus and the accessibility bus Tovrel reads applications through
  dbus dbus-x11 at-spi2-core
  # the private headless desktop the live self-test (and the desktop tests) run in
  xvfb openbox x11-utils x11-xserver-utils fonts-inter fonts-dejavu-core
)
if [[ $scope == all ]]; then
  packages+=(
    # formatting and the Debian package
    clang-format dpkg-dev
    # the discovery benchmarks' plain libatspi walk
    python3-pyatspi
    # the capture tool that answers the settings snapshots and the label demonstration
    x11-apps netpbm
    # real applications the desktop tests and benchmarks work in: GTK 3 (gtk3-demo, geany, and
    # thunar's list of files), GTK 4 (gnome-text-editor, gnome-calculator, gnome-font-viewer's grid
    # of fonts, gtk4-demo's list and nautilus's files), Qt 5 (featherpad) and the browsers
    gtk-3-examples geany thunar gnome-text-editor gnome-calculator gnome-font-viewer gtk-4-examples
    featherpad firefox-esr chromium nautilus
    # a small tray that hosts the status item in the desktop tests
    trayer
  )
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if ((EUID != 0)); then
  sudo=(sudo)
fi

echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
