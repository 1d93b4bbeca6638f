#!/usr/bin/env bash
# The README's screenshots, taken from the real program under Wine on the
# virtual display:
#   docs/launcher.png    the launcher, as tools/run.sh shows it: Wine's own
#                        browser control requests the portal page but renders
#                        nothing, so the launcher art shows through
#   docs/game.png        the game window in its normal state (1000 x 700)
#   docs/confirm.png     the confirmation dialog of "change server", over the
#                        game window
#   docs/cache-veil.png  the cache cleaner's veil over the game window (the
#                        whole screen, at half size), shot with a compositing
#                        manager (xcompmgr) running if there is one, since
#                        without one the X server shows no translucency
# The launcher is shot in the usual prefix. The other three need a game
# window, which only a page can open: they are shot in a sealed scratch
# prefix where the stand-in browser engine of the tests lets the demo portal
# page navigate to the game at once (tools/bench/standin_prefix.sh); its page
# areas show a flat colour. Before the veil is shot, that prefix's cache
# folder is filled with 20,000 small files so that the cleaner stays at work
# long enough. The buttons are clicked by tools/screenshots/driver.exe. The
# demo portal is served on 127.0.0.1:80, which must be free.
#
#   PZ_BUILD  build folder (default build); PZ_DOCS  where the pictures go (default docs)
#   PZ_DISPLAY, PZ_PREFIX  see tools/winenv.sh
#   PZ_STANDIN_PREFIX  the stand-in prefix (default: the prefix's path + "-standin")
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
export HOME="${HOME:-/root}"

build="${PZ_BUILD:-build}"
case $build in /*) ;; *) build="$PWD/$build" ;; esac
docs="${PZ_DOCS:-docs}"
case $docs in /*) ;; *) docs="$PWD/$docs" ;; esac
python=/usr/bin/python3
work="$build/screenshots"
mkdir -p "$work" "$docs"

fail() { echo "screenshots: $*" >&2; exit 1; }

bash tools/setup.sh >"$work/setup.log" 2>&1 || echo "screenshots: tools/setup.sh failed; going on"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >"$work/build.log" 2>&1 &&
  cmake --build "$build" -j2 --target PellumoZarvotek standin_browser >>"$work/build.log" 2>&1 ||
  fail "the program did not build; see $work/build.log"
driver="$work/driver.exe"
i686-w64-mingw32-g++-posix -std=c++17 -O2 -municode -static -static-libgcc -static-libstdc++ \
  -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN tools/screenshots/driver.cpp -luser32 -o "$driver" \
  >>"$work/build.log" 2>&1 || fail "the driver did not build; see $work/build.log"
exe="$build/PellumoZarvotek.exe"

# --- pictures ------------------------------------------------------------------
shoot() { import -window root "$work/screen.png"; }
# crop OUT X Y W H [MARGIN]: a part of the last screen picture
crop() {
  "$python" - "$work/screen.png" "$@" <<'PY'
import sys
from PIL import Image
src, out, x, y, w, h = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:7])
m = int(sys.argv[7]) if len(sys.argv) > 7 else 0
im = Image.open(src).convert("RGB")
box = (max(0, x - m), max(0, y - m), min(im.width, x + w + m), min(im.height, y + h + m))
im.crop(box).save(out, optimize=True)
print(out, box[2] - box[0], "x", box[3] - box[1])
PY
}
half() {  # half OUT: the whole last screen picture at half size
  "$python" - "$work/screen.png" "$1" <<'PY'
import sys
from PIL import Image
im = Image.open(sys.argv[1]).convert("RGB")
im = im.resize((im.width // 2, im.height // 2), Image.LANCZOS)
im.save(sys.argv[2], optimize=True)
print(sys.argv[2], im.width, "x", im.height)
PY
}
# drive ARGS...: runs the driver; its output (a rectangle) in $rect. Output
# goes to a file, never a pipe: Wine's helper processes may outlive a run.
drive() {
  rect=""
  wine "$driver_win" "$@" </dev/null >"$work/driver.out" 2>&1
  local rc=$?
  rect=$(tr -d '\r' <"$work/driver.out" | tail -n 1)
  return $rc
}

# --- the portal ----------------------------------------------------------------
portal_up() {
  "$python" -c 'import urllib.request as u; u.urlopen(u.Request("http://127.0.0.1/micro/", method="HEAD"), timeout=1)' 2>/dev/null
}
portal_up && fail "something already answers on http://127.0.0.1/; the pictures need the demo portal there"
server_pid=""
program_pid=""
cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null; wait "$program_pid" 2>/dev/null; fi
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  return 0
}
trap cleanup EXIT
"$python" -m http.server 80 --bind 127.0.0.1 --directory demo </dev/null >"$work/portal.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 50); do portal_up && break; sleep 0.1; done
portal_up || fail "the demo portal could not be served on 127.0.0.1:80"

# start_program WINDOWS-PATH: the program in the background
start_program() {
  wine "$1" </dev/null >"$work/program.log" 2>&1 &
  program_pid=$!
}
stop_program() {
  drive close || true
  for _ in $(seq 1 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  kill "$program_pid" 2>/dev/null
  wait "$program_pid" 2>/dev/null
  program_pid=""
}

# --- the launcher, with Wine's own browser control ------------------------------
# shellcheck source=tools/bench/standin_prefix.sh
source tools/bench/standin_prefix.sh
set +u
# shellcheck source=tools/winenv.sh
source tools/winenv.sh
set -u
disown -a 2>/dev/null || true
pz_warm_prefix
main_prefix="$WINEPREFIX"
driver_win=$(winepath -w "$driver" | tr -d '\r')
start_program "$(winepath -w "$exe" | tr -d '\r')"
drive wait launcher 20000 || fail "the launcher did not show"
sleep 2
read -r x y w h <<<"$rect"
shoot
crop "$docs/launcher.png" "$x" "$y" "$w" "$h" 0
stop_program

# --- game window, confirmation, veil: stand-in engine ----------------------------
standin_prefix="${PZ_STANDIN_PREFIX:-$main_prefix-standin}"
pz_standin_prefix "$standin_prefix" "$build" >"$work/prefix.log" 2>&1 ||
  fail "the stand-in prefix could not be prepared; see $work/prefix.log"
cp "$driver" "$PZ_STANDIN_DIR/driver.exe"
driver_win='C:\pz\driver.exe'
cd "$PZ_STANDIN_DIR" || exit 1
start_program 'C:\pz\PellumoZarvotek.exe'
drive wait game 20000 || fail "no game window opened (is the stand-in engine in use? see $work/portal.log)"
sleep 1
drive click game 1011 || fail "no restore button"   # maximised -> normal
for _ in $(seq 1 50); do
  drive wait game 1000 && [ "$(cut -d' ' -f3-4 <<<"$rect")" = "1000 700" ] && break
  sleep 0.1
done
sleep 1.5
read -r gx gy gw gh <<<"$rect"
shoot
crop "$docs/game.png" "$gx" "$gy" "$gw" "$gh" 0

drive click game 1008 || fail "no change-server button"
drive wait confirm 5000 || fail "the confirmation dialog did not show"
sleep 1
read -r x y w h <<<"$rect"
shoot
crop "$docs/confirm.png" "$x" "$y" "$w" "$h" 56
drive click confirm 1009 || fail "no Cancel button"
drive gone confirm 5000 || true
sleep 0.5

cache="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Microsoft/Windows/INetCache"
mkdir -p "$cache"
"$python" - "$cache" <<'PY'
import os, sys
data = b"x" * 1024
for top in range(200):
    for sub in range(10):
        d = os.path.join(sys.argv[1], "T%03d" % top, "S%d" % sub)
        os.makedirs(d, exist_ok=True)
        for f in range(10):
            with open(os.path.join(d, "entry%d.dat" % f), "wb") as fh:
                fh.write(data)
PY
# Without a compositing manager the X server shows no window translucency:
# the veil would be opaque black. With one, it darkens the game window as it
# does on Windows.
compositor_pid=""
if command -v xcompmgr >/dev/null 2>&1; then
  xcompmgr </dev/null >"$work/xcompmgr.log" 2>&1 &
  compositor_pid=$!
  sleep 1
else
  echo "screenshots: no xcompmgr: the veil will look opaque (apt-get install xcompmgr)"
fi
drive click game 1006 || fail "no clean-cache button"
drive wait veil 5000 || fail "the veil did not show"
sleep 1.5
shoot
half "$docs/cache-veil.png"
if [ -n "$compositor_pid" ]; then kill "$compositor_pid" 2>/dev/null; wait "$compositor_pid" 2>/dev/null; fi
drive gone veil 120000 || echo "screenshots: the veil was still up after two minutes"
left=$(find "$cache" -type f | wc -l)
echo "cache files left after the cleaner: $left"
stop_program
cd - >/dev/null || true
exit 0
