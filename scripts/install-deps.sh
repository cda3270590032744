#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build and the tests need, only those that are missing,
# without questions. Safe to run again and again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libcurl4-openssl-dev libudev-dev nlohmann-json3-dev libcli11-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  python3-aiosmtpd python3-cryptography fonts-liberation
  # the Debian packages and their checks (scripts/check-package.sh), the completion's test
  dpkg-dev fakeroot debhelper devscripts lintian appstream desktop-file-utils man-db bash-completion ccache
  # the monitor's metrics checked with promtool and served by node_exporter (tests/monitoring)
  prometheus prometheus-node-exporter
  # the desktop notifications under a virtual X server (tests/ui/desktop-notification-test.sh)
  xvfb dbus dunst
  # the system service's D-Bus face and its tests on a private bus (tests/dbus)
  libsdbus-c++-dev libsdbus-c++-bin libglib2.0-bin python3-dbusmock
  # the Cockpit page served by Cockpit's web server to headless Chromium (tests/cockpit)
  cockpit-ws cockpit-bridge chromium chromium-driver python3-selenium
)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
