#!/usr/bin/env bash
# Source this file: it starts a headless X server and prepares a Wine prefix
# for running the program and its tests. Idempotent.
#   PZ_DISPLAY  X display to use            (default :99)
#   PZ_PREFIX   Wine prefix folder          (default $HOME/.cache/pellumo/prefix)
# Exports DISPLAY, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES.

export DISPLAY="${PZ_DISPLAY:-:99}"
export WINEPREFIX="${PZ_PREFIX:-$HOME/.cache/pellumo/prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="

pz_display_up() { xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; }

if ! pz_display_up; then
  Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  for _ in $(seq 1 50); do pz_display_up && break; sleep 0.1; done
fi

if [ ! -f "$WINEPREFIX/.pellumo-ready" ]; then
  mkdir -p "$WINEPREFIX"
  WINEARCH=win32 wineboot -i >/dev/null 2>&1
  wineserver -w
  # No window manager runs here: unmanaged windows hide and close at once.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # Debian's Wine does not load its own fonts; copy them in.
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  cp -n /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  # Chinese text through font linking.
  for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "宋体" SimSun Arial; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
  done
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v "宋体" /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v SimSun /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
  # A crashing program ends at once instead of waiting in a crash dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.pellumo-ready"
fi

# Keep a wineserver alive so every start is quick.
wineserver -p >/dev/null 2>&1 || true
