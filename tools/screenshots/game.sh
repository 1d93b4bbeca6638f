#!/usr/bin/env bash
# Pictures of the game window in each of its three states (maximised, normal,
# full screen) with a page shown by the stand-in browser engine, for review:
# build/screenshots/game-{maximised,normal,fullscreen}.png.
#
#   PZ_BUILD   build folder holding tests/game_dialog_test.exe (default build);
#              the test program is built there first
#   PZ_SHOTS   folder for the pictures                          (default build/screenshots)
#   PZ_DISPLAY, PZ_PREFIX  display and Wine prefix, see tools/winenv.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${PZ_BUILD:-build}"
shots="${PZ_SHOTS:-build/screenshots}"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build "$build" -j2 --target game_dialog_test >/dev/null

# shellcheck source=tools/winenv.sh
source tools/winenv.sh
disown -a 2>/dev/null || true
mkdir -p "$shots"
rm -f "$shots"/game-*.bmp
log="$shots/game-screenshots.log"
# Output to a file, never a pipe: Wine's helper processes may outlive the run.
PZ_SCREENSHOT_DIR="$(winepath -w "$(realpath "$shots")")" \
  timeout 120 wine "$build/tests/game_dialog_test.exe" --gtest_also_run_disabled_tests \
  --gtest_filter='GameFrame.DISABLED_Screenshots' </dev/null >"$log" 2>&1 || {
  tr -d '\r' <"$log" | tail -n 30
  exit 1
}

/usr/bin/python3 - "$shots" <<'PY'
import glob, os, sys
from PIL import Image
for bmp in sorted(glob.glob(os.path.join(sys.argv[1], "game-*.bmp"))):
    png = bmp[:-4] + ".png"
    Image.open(bmp).save(png)
    os.remove(bmp)
    print(png)
PY
