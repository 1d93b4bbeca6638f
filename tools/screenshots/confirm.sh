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
exec bash "$(dirname "$0")/shoot.sh" confirm_dialog_test 'ConfirmDialog.DISABLED_Screenshots' confirm
