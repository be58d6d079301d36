#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Tellwick
# needs. Idempotent: when everything is present it returns at once.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang pkg-config
  qt6-base-dev qt6-serialport-dev qt6-websockets-dev qt6-httpserver-dev libsystemd-dev
  libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
  clang-format clang-tidy
  xvfb xauth fonts-dejavu-core socat strace chromium python3-prometheus-client
  dpkg-dev debhelper lintian systemd man-db
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

echo "bootstrap: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
