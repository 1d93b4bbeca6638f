#!/usr/bin/env bash
# Cache cleaner benchmark. Prints figures, asserts nothing, exits 0.
#
# Generates a tree of 20,000 small files in 2,000 folders (200 folders of 9
# subfolders each, 10 files in every folder) in the Temporary Internet Files
# folder of a scratch Wine prefix whose drive letters other than C: are
# removed, and empties it, the tree made anew before each run, with:
#   program  the cleaner's own folder pass (location check + shell deletion per file)
#   shell    the same walk and shell deletion without the location check
#   checked  the location check with DeleteFileW instead of the shell
#   plain    a plain recursive DeleteFileW/RemoveDirectoryW walk
# (all in tools/bench/clean_tree_bench.exe, under Wine), and `rm -rf` of the
# same tree on the Linux side. PZ_BENCH_RUNS rounds (default 3) each measure
# every way once, in turn; the figures are the medians, in files per second,
# with each one's speed relative to the plain walk.
#
#   PZ_BUILD               build folder (default build)
#   PZ_CLEAN_PREFIX        scratch prefix (default: the current prefix's path + "-sealed")
#   PZ_DISPLAY, PZ_PREFIX  see tools/winenv.sh
set -uo pipefail
cd "$(dirname "$0")/.."
export HOME="${HOME:-/root}"

build="${PZ_BUILD:-build}"
runs="${PZ_BENCH_RUNS:-3}"
python=/usr/bin/python3
base="${WINEPREFIX:-${PZ_PREFIX:-$HOME/.cache/pellumo/prefix}}"
scratch="${PZ_CLEAN_PREFIX:-$base-sealed}"

echo "== Building"
if ! cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null 2>&1 ||
   ! cmake --build "$build" -j2 --target pellumo_core >/dev/null; then
  echo "bench_clean: the program's library did not build; nothing to measure"
  exit 0
fi
mkdir -p "$build/bench"
bench_exe="$build/bench/clean_tree_bench.exe"
if ! i686-w64-mingw32-g++-posix -std=c++17 -O2 -municode -static -static-libgcc -static-libstdc++ \
     -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 \
     -D_WIN32_IE=0x0800 -I. tools/bench/clean_tree_bench.cpp "$build/libpellumo_core.a" \
     -lgdiplus -lcomctl32 -lole32 -loleaut32 -luuid -lshell32 -lshlwapi -lwininet -ladvapi32 \
     -luser32 -lgdi32 -lkernel32 -o "$bench_exe"; then
  echo "bench_clean: the benchmark program did not build; nothing to measure"
  exit 0
fi

# Only C: stays, so nothing the walks do can leave the prefix.
# shellcheck source=tools/sealed_prefix.sh
source tools/sealed_prefix.sh
if ! pz_seal_prefix "$scratch"; then
  echo "bench_clean: $WINEPREFIX still maps z:; not measuring"
  exit 0
fi

drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/pz-bench"
cp "$bench_exe" "$drive_c/pz-bench/clean_tree_bench.exe"
cache="$drive_c/users/$(id -un)/AppData/Local/Microsoft/Windows/INetCache"
cache_win='C:\users\'"$(id -un)"'\AppData\Local\Microsoft\Windows\INetCache'
mkdir -p "$cache"

generate() {  # the tree, in an emptied cache folder
  find "$cache" -mindepth 1 -delete
  "$python" - "$cache" <<'EOF'
import os, sys
root = sys.argv[1]
data = b"x" * 1024
for top in range(200):
    tdir = os.path.join(root, "T%03d" % top)
    dirs = [tdir] + [os.path.join(tdir, "S%d" % s) for s in range(9)]
    for d in dirs:
        os.makedirs(d, exist_ok=True)
        for f in range(10):
            with open(os.path.join(d, "entry%d.dat" % f), "wb") as fh:
                fh.write(data)
EOF
  sync
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print "" }'; }

# One round measures every way once, on a fresh tree each time, so that a
# change in the machine's load falls on all of them alike.
declare -A times
modes=(plain checked shell program rm)
echo "== Measuring ($runs rounds; load average $(cut -d' ' -f1-3 /proc/loadavg))"
for round in $(seq 1 "$runs"); do
  for mode in "${modes[@]}"; do
    generate
    if [ "$mode" = rm ]; then
      mkdir -p "$cache.rm" && mv "$cache"/* "$cache.rm"/
      start=$(date +%s.%N)
      rm -rf "$cache.rm"
      end=$(date +%s.%N)
      t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
      echo "   round $round, rm -rf: $t s"
    else
      line=$(cd "$drive_c/pz-bench" && wine clean_tree_bench.exe "$mode" "$cache_win" </dev/null 2>&1 |
             tr -d '\r' | grep '^RESULT ' | tail -n 1)
      t=$(sed -n -E 's/.* seconds=([0-9.]+).*/\1/p' <<<"$line")
      f=$(sed -n -E 's/.* files=([0-9]+).*/\1/p' <<<"$line")
      d=$(sed -n -E 's/.* folders=([0-9]+).*/\1/p' <<<"$line")
      left=$(find "$cache" -mindepth 1 | wc -l)
      echo "   round $round, $mode: ${t:-?} s, removed ${f:-?} files and ${d:-?} folders, $left entries left"
    fi
    [ -n "$t" ] && times[$mode]="${times[$mode]:-} $t"
  done
done
find "$cache" -mindepth 1 -delete
echo "   (load average now $(cut -d' ' -f1-3 /proc/loadavg))"

declare -A seconds
for mode in "${modes[@]}"; do
  seconds[$mode]=$(printf '%s\n' ${times[$mode]:-} | median)
done

echo
echo "== Emptying 20,000 files in 2,000 folders: medians of $runs runs"
printf '%-10s %10s %14s %22s\n' "" "seconds" "files/second" "relative to plain walk"
for mode in program shell checked plain rm; do
  t=${seconds[$mode]:-}
  if [ -z "$t" ]; then
    printf '%-10s %10s\n' "$mode" "n/a"
    continue
  fi
  awk -v m="$mode" -v t="$t" -v p="${seconds[plain]:-0}" 'BEGIN {
    rate = t > 0 ? 20000 / t : 0
    rel = (p > 0 && t > 0) ? sprintf("%.2fx the speed", p / t) : "n/a"
    printf "%-10s %10.3f %14.0f %22s\n", m, t, rate, rel }'
done
awk -v prog="${seconds[program]:-0}" -v shell="${seconds[shell]:-0}" -v chk="${seconds[checked]:-0}" \
    -v plain="${seconds[plain]:-0}" 'BEGIN {
  if (prog <= 0 || plain <= 0) exit
  printf "\nper file: program %.0f us, of which the shell deletion about %.0f us over DeleteFileW and the location check about %.0f us\n",
    prog / 20000 * 1e6, (shell - plain) / 20000 * 1e6, (chk - plain) / 20000 * 1e6 }'
rm -rf "$drive_c/pz-bench"
exit 0
