#!/bin/bash
# Installs the Debian packages named as arguments, or, without arguments,
# everything for building, testing and the demo. Skips apt entirely when
# they are all there already.
set -euo pipefail
packages=("$@")
if [ ${#packages[@]} -eq 0 ]; then
  packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    g++-mingw-w64-x86-64-posix wine wine64 xvfb x11-utils xdotool imagemagick e2fsprogs
    fp-utils libchm-bin
    iproute2 busybox isc-dhcp-client isc-dhcp-relay kea-admin kea-dhcp4-server procps
    nsis zip unzip icoutils systemd util-linux
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
