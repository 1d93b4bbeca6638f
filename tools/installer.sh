#!/usr/bin/env bash
# Builds the program and its per-user installer (NSIS), plus a zip of the
# bare executable: build/PellumoZarvotek-setup.exe, build/PellumoZarvotek.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build -j2 --target PellumoZarvotek
(cd installer && makensis -V2 PellumoZarvotek.nsi)
rm -f build/PellumoZarvotek.zip
(cd build && zip -q -9 PellumoZarvotek.zip PellumoZarvotek.exe)
ls -l build/PellumoZarvotek-setup.exe build/PellumoZarvotek.zip
