#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# Idempotent: packages already present are skipped quickly. Run as root.
set -euo pipefail

need=(
  cmake make file g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64 fonts-wine
  libxrender1:i386 libxi6:i386 libxrandr2:i386 libxcomposite1:i386
  libxcursor1:i386 libxfixes3:i386 libxinerama1:i386 libxxf86vm1:i386
  xvfb xdotool x11-utils x11-xserver-utils imagemagick
  fonts-wqy-microhei googletest python3 python3-pil nsis zip xcompmgr
)

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
