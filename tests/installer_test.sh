#!/usr/bin/env bash
# The per-user installer under Wine: a silent install puts the program and
# its shortcuts in place, the installed program starts, and a silent
# uninstall removes everything it installed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/installer.sh >/dev/null

export PZ_PREFIX="${PZ_INSTALL_PREFIX:-$HOME/.cache/pellumo/prefix-install}"
source tools/winenv.sh

fail() { echo "installer_test: FAIL: $*"; exit 1; }
# A folder of the prefix as a Linux path, from a Windows environment variable.
win_dir() { wine winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null | tr -d '\r' | sed 's:/$::'; }

install_dir="$(win_dir LOCALAPPDATA)/Programs/PellumoZarvotek"
start_menu="$(win_dir APPDATA)/Microsoft/Windows/Start Menu/Programs"
desktop="$(win_dir USERPROFILE)/Desktop"

wine build/PellumoZarvotek-setup.exe /S

[ -f "$install_dir/PellumoZarvotek.exe" ] || fail "program not installed in $install_dir"
[ -f "$install_dir/Uninstall.exe" ] || fail "no uninstaller"
cmp -s "$install_dir/PellumoZarvotek.exe" build/PellumoZarvotek.exe || fail "installed program differs"
[ -f "$start_menu/PellumoZarvotek.lnk" ] || fail "no Start-menu shortcut in $start_menu"
[ -f "$desktop/PellumoZarvotek.lnk" ] || fail "no desktop shortcut in $desktop"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PellumoZarvotek' >/dev/null 2>&1 \
  || fail "no uninstall entry"

# The installed program starts and shows its launcher.
wine "$install_dir/PellumoZarvotek.exe" >/dev/null 2>&1 &
started=0
for _ in $(seq 1 100); do
  if xdotool search --name '^PellumoZarvotek$' >/dev/null 2>&1; then started=1; break; fi
  sleep 0.1
done
pkill -f 'Programs.PellumoZarvotek.PellumoZarvotek\.exe' 2>/dev/null || true
sleep 1
[ "$started" = 1 ] || fail "the installed program showed no launcher"

# The uninstaller runs from a copy of itself in the temporary folder and
# returns at once: wait (bounded) for it to finish its work.
wine "$install_dir/Uninstall.exe" /S
for _ in $(seq 1 100); do
  [ -e "$install_dir" ] || break
  sleep 0.2
done
[ ! -e "$install_dir" ] || fail "install folder left behind: $(ls -A "$install_dir")"
[ ! -e "$start_menu/PellumoZarvotek.lnk" ] || fail "Start-menu shortcut left behind"
[ ! -e "$desktop/PellumoZarvotek.lnk" ] || fail "desktop shortcut left behind"
if wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\PellumoZarvotek' >/dev/null 2>&1; then
  fail "uninstall entry left behind"
fi
echo "installer_test: install, start and uninstall all fine"
