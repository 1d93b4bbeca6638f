#!/usr/bin/env bash
# End-to-end tests of the real program: prepares a Wine prefix of their own,
# in which the stand-in browser engine answers for the WebBrowser class, and
# runs the driver build/tests/e2e_driver.exe in it. The driver starts
# build/PellumoZarvotek.exe, serves its portal on 127.0.0.1:80 and plays it.
# Its last line is the driver's "N passed, N failed".
#
#   PZ_BUILD        build folder                       (default build)
#   PZ_E2E_DISPLAY  X display of these tests           (default :91)
#   PZ_E2E_PREFIX   their Wine prefix                  (default $HOME/.cache/pellumo/prefix-e2e)
#   PZ_E2E_PORTAL_PORT  port of the test portal        (default 80, where the program
#                   looks; another port only for a build configured with
#                   -DPORTAL_HOST=127.0.0.1:PORT)
# Extra arguments go to the driver (e.g. --gtest_filter=Journey.*).
#
# The shared test prefix is left alone: there the WebBrowser class stays
# Wine's own.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
export HOME="${HOME:-/root}"

build="${PZ_BUILD:-build}"
driver="$build/tests/e2e_driver.exe"
program="$build/PellumoZarvotek.exe"
engine="$build/tests/standin_browser.dll"
for f in "$driver" "$program" "$engine"; do
  if [ ! -f "$f" ]; then
    echo "missing $f (build the e2e_driver target)"
    echo "0 passed, 1 failed"
    exit 1
  fi
done

# The display and the prefix, prepared like every test prefix (idempotent).
export PZ_DISPLAY="${PZ_E2E_DISPLAY:-:91}"
export PZ_PREFIX="${PZ_E2E_PREFIX:-$HOME/.cache/pellumo/prefix-e2e}"
# shellcheck source=tools/winenv.sh
source tools/winenv.sh
disown -a 2>/dev/null || true

# The stand-in engine, copied into the prefix and registered there for the
# WebBrowser class identifier. Wine's COM reads the class from
# HKLM\Software\Classes only (a per-user registration under
# HKCU\Software\Classes, which the DLL's own DllRegisterServer writes, is not
# consulted), so the machine-wide entry is the one that is set.
clsid='{8856F961-340A-11D0-A96B-00C04FD705A2}'
server_key="HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32"
mkdir -p "$WINEPREFIX/drive_c/pellumo-e2e"
cp -f "$engine" "$WINEPREFIX/drive_c/pellumo-e2e/standin_browser.dll"
wine reg add "$server_key" /ve /t REG_SZ /d 'C:\pellumo-e2e\standin_browser.dll' /f >/dev/null 2>&1
wine reg add "$server_key" /v ThreadingModel /t REG_SZ /d Apartment /f >/dev/null 2>&1
# A crash ends with a backtrace in the log instead of waiting at a dialog.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
if ! wine reg query "$server_key" /ve 2>/dev/null | tr -d '\r' | grep -qi 'pellumo-e2e\\standin_browser.dll'; then
  echo "the stand-in engine could not be registered in $WINEPREFIX"
  echo "0 passed, 1 failed"
  exit 1
fi
echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"

results="$build/test-results"
mkdir -p "$results"
results_win=$(winepath -w "$(realpath "$results")" 2>/dev/null)
wine "$driver" "--program=$(winepath -w "$(realpath "$program")")" \
  "--portal-port=${PZ_E2E_PORTAL_PORT:-80}" \
  "--gtest_output=xml:${results_win:-$results}\\e2e_driver.xml" "$@"
