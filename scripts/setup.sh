#!/usr/bin/env bash
# Installs every Debian package that the build, the demo and the tests need.
# Idempotent: does nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config dpkg-dev file
  clang libclang-rt-14-dev
  libboost-all-dev libjsoncpp-dev libssl-dev libcli11-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  apache2 apache2-utils openssl curl python3
  ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav
  gir1.2-gst-rtsp-server-1.0 python3-gi
  python3-zeroconf
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
