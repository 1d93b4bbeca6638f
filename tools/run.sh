#!/usr/bin/env bash
# Builds the program and starts the launcher against the demo portal in demo/,
# served at http://127.0.0.1/ (the launcher's portal is http://127.0.0.1/micro/).
#
#   bash tools/run.sh                    on a reachable $DISPLAY: runs the launcher
#                                        there until the player quits it; without
#                                        one: on a virtual display, saves a
#                                        screenshot and runs until Ctrl+C
#   bash tools/run.sh --screenshot-only  virtual display, screenshot, then stops
#
#   PZ_BUILD  build folder (default build); PZ_DISPLAY, PZ_PREFIX: see tools/winenv.sh
set -euo pipefail
cd "$(dirname "$0")/.."
export HOME="${HOME:-/root}"

shot_only=0
for arg in "$@"; do
  case $arg in
    --screenshot-only) shot_only=1 ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

build="${PZ_BUILD:-build}"
exe="$build/PellumoZarvotek.exe"
shot="$build/launcher.png"
python=/usr/bin/python3

bash tools/setup.sh
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build "$build" -j2 --target PellumoZarvotek

server_pid=""
program_pid=""
stop() {
  trap - EXIT INT TERM
  set +e
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null; wait "$program_pid" 2>/dev/null; fi
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
}
trap stop EXIT
trap 'exit 130' INT TERM

# The demo portal. The server's own PID is kept, so stop() ends exactly it.
portal_log="$build/portal.log"
"$python" -m http.server 80 --bind 127.0.0.1 --directory demo </dev/null >"$portal_log" 2>&1 &
server_pid=$!
portal_up() {  # a HEAD request, so the log's GET lines are the launcher's own
  "$python" -c 'import urllib.request as u; u.urlopen(u.Request("http://127.0.0.1/micro/", method="HEAD"), timeout=1)' 2>/dev/null
}
for _ in $(seq 1 50); do
  kill -0 "$server_pid" 2>/dev/null || break
  portal_up && break
  sleep 0.1
done
if ! kill -0 "$server_pid" 2>/dev/null; then
  server_pid=""
  echo "run.sh: the demo portal could not be served on 127.0.0.1:80:" >&2
  cat "$portal_log" >&2
  exit 1
fi
echo "Demo portal: http://127.0.0.1/micro/ (requests are logged in $portal_log)"

real_display=0
if [ "$shot_only" -eq 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  real_display=1
  export PZ_DISPLAY="$DISPLAY"
fi
set +eu
# shellcheck source=tools/winenv.sh
source tools/winenv.sh
set -eu
disown -a 2>/dev/null || true

if [ "$real_display" -eq 1 ]; then
  echo "Starting the launcher on $DISPLAY; it runs until you quit it."
  rc=0
  wine "$exe" || rc=$?
  echo "The launcher ended with exit code $rc."
  exit 0
fi

echo "No display reachable: running the launcher on the virtual display $DISPLAY."
wine "$exe" </dev/null >"$build/launcher.log" 2>&1 &
program_pid=$!
for _ in $(seq 1 100); do
  xdotool search --name '^PellumoZarvotek$' >/dev/null 2>&1 && break
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
sleep 3
if ! kill -0 "$program_pid" 2>/dev/null; then
  wait "$program_pid" && rc=0 || rc=$?
  program_pid=""
  echo "run.sh: the launcher ended early (exit code $rc); its output is in $build/launcher.log" >&2
  exit 1
fi
import -window root "$shot"
echo "Screenshot of the virtual display: $shot"
echo "Portal requests of the launcher so far:"
grep -E '"(GET|POST) ' "$portal_log" | sed 's/^/  /' || echo "  (none)"

if [ "$shot_only" -eq 1 ]; then
  exit 0
fi
echo "The launcher keeps running on $DISPLAY; press Ctrl+C to stop it and the portal."
wait "$program_pid" && rc=0 || rc=$?
program_pid=""
echo "The launcher ended with exit code $rc."
