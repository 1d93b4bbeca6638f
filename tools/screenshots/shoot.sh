#!/usr/bin/env bash
# Pictures taken by one disabled screenshot test, turned into PNG files for
# review: builds the test program, runs the test under Wine with
# PZ_SCREENSHOT_DIR set and converts the NAME-*.bmp files it writes into
# NAME-*.png (printing each one's path).
#
#   tools/screenshots/shoot.sh TEST FILTER NAME
#     TEST    the test program, e.g. confirm_dialog_test (tests/TEST.exe)
#     FILTER  the gtest filter of its screenshot test
#     NAME    how the pictures begin (NAME-*.png) and the log is named
#             (NAME-screenshots.log)
#
#   PZ_BUILD   build folder holding tests/TEST.exe (default build);
#              the test program is built there first
#   PZ_SHOTS   folder for the pictures              (default build/screenshots)
#   PZ_DISPLAY, PZ_PREFIX  display and Wine prefix, see tools/winenv.sh
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 TEST FILTER NAME" >&2
  exit 2
fi
test="$1"
filter="$2"
name="$3"
cd "$(dirname "$0")/../.."
build="${PZ_BUILD:-build}"
shots="${PZ_SHOTS:-build/screenshots}"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build "$build" -j2 --target "$test" >/dev/null

# shellcheck source=tools/winenv.sh
source tools/winenv.sh
disown -a 2>/dev/null || true
mkdir -p "$shots"
rm -f "$shots/$name"-*.bmp
log="$shots/$name-screenshots.log"
# Output to a file, never a pipe: Wine's helper processes may outlive the run.
PZ_SCREENSHOT_DIR="$(winepath -w "$(realpath "$shots")")" \
  timeout 120 wine "$build/tests/$test.exe" --gtest_also_run_disabled_tests \
  --gtest_filter="$filter" </dev/null >"$log" 2>&1 || {
  tr -d '\r' <"$log" | tail -n 30
  exit 1
}

/usr/bin/python3 - "$shots" "$name" <<'PY'
import glob, os, sys
from PIL import Image
for bmp in sorted(glob.glob(os.path.join(sys.argv[1], sys.argv[2] + "-*.bmp"))):
    png = bmp[:-4] + ".png"
    Image.open(bmp).save(png)
    os.remove(bmp)
    print(png)
PY
