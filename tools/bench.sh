#!/usr/bin/env bash
# The benchmark: builds the program and the helpers in tools/bench/, measures
# under Wine on this machine, in one run, and prints one table. It asserts
# nothing and exits 0; what could not be measured shows as "n/a".
#
#   start-up     process start (just before CreateProcess) to the launcher
#                visible and painted on the screen, median of PZ_BENCH_RUNS
#                runs (default 5) after a warm-up, against two floors built
#                the same way: minimal_window.exe (one window of the
#                launcher's size, painted) and browser_window.exe (the same
#                program hosting the system's WebBrowser control and
#                navigating it to the portal URL); both ratios (and, for
#                reference, the minimal window made layered like the launcher)
#   game start   the portal's "client=1" navigation to the game window
#                visible, in a scratch prefix where the stand-in browser
#                engine lets the demo portal page navigate by itself: the
#                launcher's first one and the median of the ones after each
#                server change; ms and as a ratio to the minimal window
#   memory       working set with the launcher shown and with the game window
#                shown; the executable's size
#   objects      GDI and USER objects with the game window shown, before any
#                server change and after 1 and PZ_BENCH_CHANGES (default 20)
#                changes (change server, OK, the portal navigates again), each
#                read once it holds still; GetGuiResources is a stub in Wine 8,
#                so the probe counts the process's GDI handle table and its
#                windows instead (tools/bench/process_figures.h)
#   idle CPU     CPU time of the process over PZ_BENCH_IDLE_MS (default
#                10000) ms of idling with the launcher shown and with the game
#                window shown, and of the minimal window for comparison
#                (under Wine the figure comes in steps of 10 ms)
#   cleaner      the cache cleaner's throughput, from tools/bench_clean.sh
#                (PZ_CLEAN_RUNS rounds, default 1)
# The measuring is done by tools/bench/probe.exe, which serves demo/ on
# 127.0.0.1:80 itself so that it can time the program's requests; if
# something else holds that port, the launcher figures use whatever answers
# there and the game figures are n/a. The details of every step go to
# BUILD/bench/bench.log.
#
#   PZ_BUILD  build folder (default build); PZ_DISPLAY, PZ_PREFIX: see tools/winenv.sh
#   PZ_STANDIN_PREFIX  the stand-in prefix (default: the prefix's path + "-standin")
#   PZ_CLEAN_PREFIX    the cache cleaner's scratch prefix (default: the prefix's path + "-sealed")
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
export HOME="${HOME:-/root}"

build="${PZ_BUILD:-build}"
case $build in /*) ;; *) build="$PWD/$build" ;; esac
runs="${PZ_BENCH_RUNS:-5}"
changes="${PZ_BENCH_CHANGES:-20}"
idle_ms="${PZ_BENCH_IDLE_MS:-10000}"
clean_runs="${PZ_CLEAN_RUNS:-1}"
bench="$build/bench"
launcher="$build/PellumoZarvotek.exe"
mkdir -p "$bench"
log="$bench/bench.log"
: >"$log"
began=$(date +%s)

say() { echo "$*"; echo "== $*" >>"$log"; }

say "building (details in $log)"
bash tools/setup.sh >>"$log" 2>&1 || echo "bench: tools/setup.sh failed; going on with what is installed"
launcher_built=0
if cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >>"$log" 2>&1 &&
   cmake --build "$build" -j2 --target PellumoZarvotek >>"$log" 2>&1; then
  launcher_built=1
else
  echo "bench: the program did not build; see $log"
fi
standin_built=0
cmake --build "$build" -j2 --target standin_browser >>"$log" 2>&1 && standin_built=1
helpers_built=0
if cmake -S tools/bench -B "$bench" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" >>"$log" 2>&1 &&
   cmake --build "$bench" -j2 >>"$log" 2>&1; then
  helpers_built=1
else
  echo "bench: the benchmark helpers did not build; see $log"
fi

# shellcheck source=tools/bench/standin_prefix.sh
source tools/bench/standin_prefix.sh
set +u
# shellcheck source=tools/winenv.sh
source tools/winenv.sh
set -u
disown -a 2>/dev/null || true
pz_warm_prefix
main_prefix="$WINEPREFIX"
standin_prefix="${PZ_STANDIN_PREFIX:-$main_prefix-standin}"
clean_prefix="${PZ_CLEAN_PREFIX:-$main_prefix-sealed}"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

declare -A result
# probe NAME ARGS...: runs the probe (a Windows path or one relative to the
# current folder), logs everything, keeps its RESULT line and notes a server
# that could not be started.
probe() {
  local name=$1; shift
  local out
  echo "-- $name: probe.exe $*" >>"$log"
  out=$(wine "$@" </dev/null 2>&1 | tr -d '\r')
  printf '%s\n' "$out" >>"$log"
  result[$name]=$(printf '%s\n' "$out" | grep '^RESULT ' | tail -n 1)
  if grep -q '^server: ' <<<"$out"; then
    result[$name.server]=$(grep '^server: ' <<<"$out" | head -n 1 | sed 's/^server: //')
  fi
}
field() {  # field NAME KEY: a value of NAME's RESULT line, or nothing
  sed -n -E "s/.* $2=([^ ]+).*/\1/p" <<<"${result[$1]:-}"
}
ok_field() {  # like field, but nothing unless the figure was measured (>= 0)
  local v
  v=$(field "$1" "$2")
  awk -v v="$v" 'BEGIN { if (v != "" && v + 0 >= 0) print v }'
}

if [ "$helpers_built" -eq 1 ]; then
  probe_exe="$bench/probe.exe"
  demo_win=$(winepath -w "$PWD/demo" 2>/dev/null | tr -d '\r')
  say "start-up: minimal window, browser floor, launcher ($runs runs each)"
  probe minimal "$probe_exe" startup --runs "$runs" --ready-event --serve "$demo_win" -- \
    "$(winepath -w "$bench/minimal_window.exe" | tr -d '\r')"
  probe layered "$probe_exe" startup --runs "$runs" --ready-event --serve "$demo_win" -- \
    "$(winepath -w "$bench/minimal_window.exe" | tr -d '\r')" --layered
  probe browser "$probe_exe" startup --runs "$runs" --ready-event --serve "$demo_win" -- \
    "$(winepath -w "$bench/browser_window.exe" | tr -d '\r')"
  say "minimal window shown: ${idle_ms} ms idle, for comparison"
  probe minimal_idle "$probe_exe" launcher --verbose --idle-ms "$idle_ms" -- \
    "$(winepath -w "$bench/minimal_window.exe" | tr -d '\r')"
  if [ "$launcher_built" -eq 1 ]; then
    launcher_win=$(winepath -w "$launcher" | tr -d '\r')
    probe launcher "$probe_exe" startup --runs "$runs" --serve "$demo_win" -- "$launcher_win"
    say "launcher shown, Wine's browser control: working set, objects, ${idle_ms} ms idle"
    probe launcher_idle "$probe_exe" launcher --verbose --idle-ms "$idle_ms" --serve "$demo_win" -- "$launcher_win"
  fi

  if [ "$launcher_built" -eq 1 ] && [ "$standin_built" -eq 1 ]; then
    say "stand-in prefix $standin_prefix"
    if pz_standin_prefix "$standin_prefix" "$build" >>"$log" 2>&1; then
      cd "$PZ_STANDIN_DIR" || exit 0
      say "launcher shown, stand-in engine: working set, objects, ${idle_ms} ms idle"
      probe standin_idle 'C:\pz\probe.exe' launcher --verbose --strip-navigate --idle-ms "$idle_ms" \
        --serve 'C:\pz\demo' -- 'C:\pz\PellumoZarvotek.exe'
      say "game start, game window shown, $changes server changes"
      probe game 'C:\pz\probe.exe' game --verbose --changes "$changes" --idle-ms "$idle_ms" \
        --serve 'C:\pz\demo' -- 'C:\pz\PellumoZarvotek.exe'
      cd - >/dev/null || exit 0
    else
      echo "bench: the stand-in prefix could not be prepared; see $log"
    fi
  fi
fi

clean_line="missing: tools/bench_clean.sh does not exist"
if [ -f tools/bench_clean.sh ]; then
  say "cache cleaner: tools/bench_clean.sh ($clean_runs round)"
  # Its prefix is made and sealed here first, so that Wine's services start
  # detached from the pipe its measurements are read through.
  pz_sealed_prefix "$clean_prefix" >>"$log" 2>&1
  clean_out=$(WINEPREFIX="$main_prefix" PZ_PREFIX="$main_prefix" PZ_CLEAN_PREFIX="$clean_prefix" \
              PZ_BENCH_RUNS="$clean_runs" PZ_BUILD="$build" bash tools/bench_clean.sh </dev/null 2>&1)
  printf '%s\n' "$clean_out" >>"$log"
  clean_line=$(awk '$1 == "program" && NF >= 4 && $3 ~ /^[0-9]+$/ {
                 rel = $4; for (i = 5; i <= NF; i++) rel = rel " " $i
                 printf "%s files/s (%s s for 20,000 files in 2,000 folders), %s of a plain walk", $3, $2, rel
               }' <<<"$clean_out")
  [ -n "$clean_line" ] || clean_line="n/a (tools/bench_clean.sh printed no figure; see $log)"
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- the table ---------------------------------------------------------------
ms() { [ -n "$1" ] && printf '%.0f ms' "$1" || printf 'n/a'; }
kib() { [ -n "$1" ] && awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }' || printf 'n/a'; }
ratio() { [ -n "$1" ] && [ -n "$2" ] && awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }' || printf 'n/a'; }
row() { printf '  %-58s %-16s %s\n' "$1" "${2:-}" "${3:-}"; }
runs_of() { local n; n=$(field "$1" runs); [ -n "$n" ] && [ "$n" != 0 ] && echo "$n"; }

floor1=$( [ -n "$(runs_of minimal)" ] && ok_field minimal painted_ms)
floor2=$( [ -n "$(runs_of browser)" ] && ok_field browser painted_ms)
layered=$( [ -n "$(runs_of layered)" ] && ok_field layered painted_ms)
mine=$( [ -n "$(runs_of launcher)" ] && ok_field launcher painted_ms)
game_ok=$(field game ok)
game_first=$( [ "$game_ok" = 1 ] && ok_field game game_first_ms)
game_median=$( [ "$game_ok" = 1 ] && ok_field game game_median_ms)
game_runs=$(field game game_runs)
exe_size=$( [ -f "$launcher" ] && stat -c %s "$launcher")
objects() {  # objects KIND: before / after 1 / after N
  local a b c
  a=$(ok_field game "${1}_0"); b=$(ok_field game "${1}_1"); c=$(ok_field game "${1}_n")
  if [ "$game_ok" = 1 ] && [ -n "$a" ] && [ -n "$b" ] && [ -n "$c" ]; then echo "$a / $b / $c"; else echo "n/a"; fi
}
idle() {  # idle NAME: CPU ms over the idle time
  local v ok; ok=$(field "$1" ok); v=$(ok_field "$1" cpu_idle_ms)
  if [ "$ok" = 1 ] && [ -n "$v" ]; then printf '%.0f ms' "$v"; else printf 'n/a'; fi
}

echo
echo "PellumoZarvotek benchmark: $(wine --version 2>/dev/null | tr -d '\r'), Xvfb $DISPLAY, $(nproc) cores," \
     "load $load_before before / $load_after after, $(date '+%Y-%m-%d %H:%M')"
printf '  %-58s %-16s %s\n' "figure" "measured" "baseline / ratio"
echo "  start-up: process start to visible and painted, median of $runs runs"
row "minimal window (floor 1)" "$(ms "$floor1")"
row "the same with the WebBrowser control, navigating (floor 2)" "$(ms "$floor2")" "floor 1 x $(ratio "$floor2" "$floor1")"
row "the minimal window, layered (for reference)" "$(ms "$layered")" "floor 1 x $(ratio "$layered" "$floor1")"
row "launcher" "$(ms "$mine")" "floor 1 x $(ratio "$mine" "$floor1"), floor 2 x $(ratio "$mine" "$floor2")"
echo "  game start: client=1 navigation to game window visible (stand-in engine)"
row "first, right after the launcher's start" "$(ms "$game_first")" "floor 1 x $(ratio "$game_first" "$floor1")"
row "after a server change, median of ${game_runs:-0}" "$(ms "$game_median")" "floor 1 x $(ratio "$game_median" "$floor1")"
echo "  working set (Wine's own share included)"
row "launcher shown, Wine's browser control" "$(kib "$(ok_field launcher_idle ws_kib)")" "peak $(kib "$(ok_field launcher_idle peak_ws_kib)")"
row "launcher shown, stand-in engine" "$(kib "$(ok_field standin_idle ws_kib)")" "peak $(kib "$(ok_field standin_idle peak_ws_kib)")"
row "game window shown, stand-in engine" "$(kib "$(ok_field game ws_kib)")" "after $changes changes $(kib "$(ok_field game ws_after_kib)")"
row "floors 1 and 2, peak" "$(kib "$(ok_field minimal peak_ws_kib)")" "$(kib "$(ok_field browser peak_ws_kib)")"
row "executable size (PellumoZarvotek.exe, stripped at link)" "${exe_size:-n/a} bytes"
echo "  GDI and USER objects, game window shown: before / after 1 / after $changes server changes"
row "GDI objects (the process's GDI handle table)" "$(objects gdi)"
row "USER objects (the process's windows)" "$(objects user)"
if [ "$game_ok" = 1 ] && [ -n "$(ok_field game gdi_min)" ]; then
  row "range over the $changes changes: GDI $(field game gdi_min)-$(field game gdi_max), USER $(field game user_min)-$(field game user_max)"
fi
gr=$(grep -m1 '^GUIRESOURCES' "$log" | tr -d '\r')
if [ -n "$gr" ]; then
  gr_value=$(sed -n -E 's/.* gdi=([0-9]+) .*/\1/p' <<<"$gr"); gr_error=$(sed -n -E 's/.* gdi_error=([0-9]+) .*/\1/p' <<<"$gr")
  if [ "$gr_value" = 0 ] && [ "$gr_error" = 120 ]; then
    row "(GetGuiResources is a stub in this Wine: 0, error 120)"
  else
    row "(GetGuiResources answered GDI $gr_value, error $gr_error)"
  fi
fi
echo "  CPU time over $((idle_ms / 1000)) idle seconds"
row "minimal window shown (floor 1, for comparison)" "$(idle minimal_idle)"
row "launcher shown, Wine's browser control" "$(idle launcher_idle)"
row "launcher shown, stand-in engine" "$(idle standin_idle)"
row "game window shown, stand-in engine" "$(idle game)"
echo "  cache cleaner (tools/bench_clean.sh, $clean_runs round)"
row "$clean_line"
for name in browser launcher launcher_idle standin_idle game; do
  if [ -n "${result[$name.server]:-}" ]; then
    echo "  note: $name: the probe could not serve the portal: ${result[$name.server]}"
  fi
done
echo "  ($(($(date +%s) - began)) s in all; details in $log)"
exit 0
