#!/usr/bin/env bash
# Pictures of the confirmation dialog in each of its modes (0: quit the game,
# 1: choose another server), for review:
# build/screenshots/confirm-mode0.png and confirm-mode1.png.
#
#   PZ_BUILD   build folder holding tests/confirm_dialog_test.exe (default build);
#              the test program is built there first
#   PZ_SHOTS   folder for the pictures                            (default build/screenshots)
#   PZ_DISPLAY, PZ_PREFIX  display and Wine prefix, see tools/winenv.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${PZ_BUILD:-build}"
shots="${PZ_SHOTS:-build/screenshots}"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build "$build" -j2 --target confirm_dialog_test >/dev/null

# shellcheck source=tools/winenv.sh
source tools/winenv.sh
disown -a 2>/dev/null || true
mkdir -p "$shots"
rm -f "$shots"/confirm-*.bmp
log="$shots/confirm-screenshots.log"
# Output to a file, never a pipe: Wine's helper processes may outlive the run.
PZ_SCREENSHOT_DIR="$(winepath -w "$(realpath "$shots")")" \
  timeout 120 wine "$build/tests/confirm_dialog_test.exe" --gtest_also_run_disabled_tests \
  --gtest_filter='ConfirmDialog.DISABLED_Screenshots' </dev/null >"$log" 2>&1 || {
  tr -d '\r' <"$log" | tail -n 30
  exit 1
}

/usr/bin/python3 - "$shots" <<'PY'
import glob, os, sys
from PIL import Image
for bmp in sorted(glob.glob(os.path.join(sys.argv[1], "confirm-*.bmp"))):
    png = bmp[:-4] + ".png"
    Image.open(bmp).save(png)
    os.remove(bmp)
    print(png)
PY
