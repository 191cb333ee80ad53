#!/usr/bin/env bash
# Installs the Debian 12 packages the player needs to build, run and test.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-svg-dev libqt6svg6
    libtag1-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-libav gstreamer1.0-plugins-ugly  # m4a, wma, aiff, ape decoders; the ASF container
    dbus-daemon  # the desktop-bus test runs its own private session bus
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if ((EUID != 0)); then
    sudo="sudo"
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
