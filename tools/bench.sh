#!/usr/bin/env bash
# Start-up benchmark. Prints figures, asserts nothing, exits 0.
#
# Builds the program and, with the same toolchain and flags, the helpers in
# tools/bench/: minimal_window.exe (registers a class, shows and paints one
# window of the launcher's size) and probe.exe (starts a program, times its
# window "PellumoZarvotek" from CreateProcess to visible and to painted on the
# screen, reads its working set, closes it). Under Wine on the virtual display
# it then measures, in one run:
#   - start to painted for the minimal window, the minimal layered window and
#     the launcher, as medians of PZ_BENCH_RUNS runs (default 7) after a warm-up,
#     and the launcher's ratio to the minimal window;
#   - the peak working set of each (Wine's own share included);
#   - the size of each executable, as built and stripped.
# The demo portal in demo/ is served on 127.0.0.1:80 meanwhile, unless
# something else already answers there.
#
#   PZ_BUILD  build folder (default build); PZ_DISPLAY, PZ_PREFIX: see tools/winenv.sh
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
export HOME="${HOME:-/root}"

build="${PZ_BUILD:-build}"
runs="${PZ_BENCH_RUNS:-7}"
bench="$build/bench"
launcher="$build/PellumoZarvotek.exe"
python=/usr/bin/python3

bash tools/setup.sh || echo "bench: tools/setup.sh failed; going on with what is installed"

echo "== Building"
launcher_built=0
if cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null &&
   cmake --build "$build" -j2 --target PellumoZarvotek; then
  launcher_built=1
else
  echo "bench: the program did not build; measuring the minimal window only"
fi
if ! cmake -S tools/bench -B "$bench" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" >/dev/null ||
   ! cmake --build "$bench" -j2; then
  echo "bench: the benchmark helpers did not build; nothing to measure"
  exit 0
fi

set +u
# shellcheck source=tools/winenv.sh
source tools/winenv.sh
set -u
disown -a 2>/dev/null || true

portal_up() {
  "$python" -c 'import urllib.request as u; u.urlopen(u.Request("http://127.0.0.1/micro/", method="HEAD"), timeout=1)' 2>/dev/null
}
server_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  return 0
}
trap stop_server EXIT
if portal_up; then
  echo "A portal already answers at http://127.0.0.1/micro/; using it."
else
  "$python" -m http.server 80 --bind 127.0.0.1 --directory demo </dev/null >"$bench/portal.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 50); do portal_up && break; sleep 0.1; done
  portal_up || echo "bench: the demo portal could not be served; the launcher runs without it"
fi

# measure LABEL PROGRAM [ARGS...]: runs the probe, shows its lines, keeps its RESULT line.
declare -A result
measure() {
  local label=$1; shift
  echo
  echo "== $label"
  local out
  out=$(wine "$bench/probe.exe" --runs "$runs" "$@" </dev/null 2>&1 | tr -d '\r')
  printf '%s\n' "$out" | grep -v '^RESULT '
  result[$label]=$(printf '%s\n' "$out" | grep '^RESULT ' | tail -n 1)
}
field() {  # field LABEL KEY
  sed -n -E "s/.* $2=([^ ]+).*/\1/p" <<<"${result[$1]:-}"
}

measure "minimal window" --ready-event -- "$bench/minimal_window.exe"
measure "minimal layered window" --ready-event -- "$bench/minimal_window.exe" --layered
if [ "$launcher_built" -eq 1 ] && [ -f "$launcher" ]; then
  measure "launcher" -- "$launcher"
fi

echo
echo "== Start-up under Wine: medians of $runs runs, from CreateProcess"
printf '%-24s %12s %12s %18s\n' "" "visible" "painted" "peak working set"
for label in "minimal window" "minimal layered window" "launcher"; do
  [ -n "${result[$label]:-}" ] || continue
  visible=$(field "$label" visible_ms); painted=$(field "$label" painted_ms)
  peak=$(field "$label" peak_ws_kib); ok=$(field "$label" runs)
  if [ "${ok:-0}" -eq 0 ]; then
    printf '%-24s %12s %12s %18s\n' "$label" "n/a" "n/a" "n/a"
  else
    printf '%-24s %9s ms %9s ms %14s KiB\n' "$label" "$visible" "$painted" "$peak"
  fi
done
base=$(field "minimal window" painted_ms)
mine=$(field "launcher" painted_ms)
if [ -n "$base" ] && [ -n "$mine" ] && [ "$(field launcher runs)" != 0 ]; then
  awk -v a="$mine" -v b="$base" 'BEGIN { if (b > 0) printf "launcher / minimal window, start to painted: %.2f\n", a / b }'
else
  echo "launcher / minimal window, start to painted: n/a (the launcher was not measured)"
fi

echo
echo "== Executable size"
strip_tool=i686-w64-mingw32-strip
stripped=$(mktemp)
for exe in "$launcher" "$bench/minimal_window.exe"; do
  [ -f "$exe" ] || continue
  size=$(stat -c %s "$exe")
  small="n/a"
  "$strip_tool" -o "$stripped" "$exe" 2>/dev/null && small=$(stat -c %s "$stripped")
  printf '%-24s %10s bytes as built, %10s bytes stripped\n' "$(basename "$exe")" "$size" "$small"
done
rm -f "$stripped"
exit 0
