#!/usr/bin/env bash
# Installs every Debian package Tovrel needs to build, test and run, skipping those already present.
# Safe to run again; asks for sudo only when not running as root.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format dpkg-dev
  # core libraries
  nlohmann-json3-dev libicu-dev libfmt-dev
  # desktop libraries
  qt6-base-dev libqt6svg6 libx11-dev libxi-dev libxtst-dev libxrandr-dev libxfixes-dev libxres-dev libxkbfile-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev gtk-3-examples python3-pyatspi
  # the private headless desktop the desktop tests run in
  xvfb dbus dbus-x11 at-spi2-core openbox x11-utils x11-xserver-utils fonts-inter fonts-dejavu-core
  # the capture tool that answers the settings snapshots and the label demonstration
  x11-apps netpbm
  # real applications the desktop tests work in: GTK 3 (gtk3-demo, geany, and thunar's list of
  # files), GTK 4 (gnome-text-editor, gnome-calculator, gnome-font-viewer's grid of fonts and
  # gtk4-demo's list), Qt 5 (featherpad) and the browsers
  gtk-3-examples geany thunar gnome-text-editor gnome-calculator gnome-font-viewer gtk-4-examples
  featherpad firefox-esr chromium
  # a small tray that hosts the status item in the desktop tests
  trayer
)

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
