# Source this file (from the repository's root), then call
#   pz_seal_prefix PREFIX
# to make PREFIX with tools/winenv.sh and switch to it (DISPLAY, WINEPREFIX...
# are exported), with every drive letter but C: removed, so that no path a
# program run there forms can leave the prefix (the cache cleaner deletes
# files). The prefix's server is restarted after a removal so that its mount
# manager, which registered the drives at start, forgets them. A crashing
# program there ends with a backtrace instead of waiting at Wine's crash
# dialog. Returns non-zero if z: is still mapped afterwards.
pz_seal_prefix() {
  local prefix=$1 link removed=0 nounset=0
  case $- in *u*) nounset=1 ;; esac
  set +u
  # shellcheck source=tools/winenv.sh
  PZ_PREFIX="$prefix" source tools/winenv.sh
  [ "$nounset" -eq 1 ] && set -u
  disown -a 2>/dev/null || true
  for link in "$WINEPREFIX"/dosdevices/?: "$WINEPREFIX"/dosdevices/?::; do
    [ -e "$link" ] || [ -L "$link" ] || continue
    case "$(basename "$link")" in c:) continue ;; esac
    rm -f "$link" && removed=1
  done
  if [ "$removed" -eq 1 ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wineserver -p >/dev/null 2>&1 || true
  fi
  if [ -e "$WINEPREFIX/dosdevices/z:" ] || [ -L "$WINEPREFIX/dosdevices/z:" ]; then
    return 1
  fi
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  return 0
}
