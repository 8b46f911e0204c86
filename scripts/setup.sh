#!/usr/bin/env bash
# Installs, from Debian's packages, everything the project needs to build, test
# and run. Safe to run again: it installs only what is missing.
set -euo pipefail

PACKAGES=(
  g++ make cmake pkg-config
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev
  clang libclang-rt-14-dev
  clang-format clang-tidy
  socat ser2net tzdata
  desktop-file-utils appstream man-db dpkg-dev shared-mime-info
  zsh            # the zsh completion of kvxctl is run by a test
  lintian        # make package checks the package with it
  python3-serial
  fonts-liberation
  xvfb xauth     # bench/startup.py and screenshots run the window under Xvfb
  xdotool        # driving the window under Xvfb
  x11-utils      # xprop: the window's title as the window system shows it (tests)
  libcpp-httplib-dev  # the live bridge's HTTP input, the fleet's Prometheus exporter
  curl liquidsoap     # the live bridge's tests: real clients and a playout system
  prometheus          # the exporter's tests: Prometheus and promtool
  git                 # the fleet's backups kept in a repository (tests)
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
