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
exec bash "$(dirname "$0")/shoot.sh" game_dialog_test 'GameFrame.DISABLED_Screenshots' game
