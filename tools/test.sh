#!/usr/bin/env bash
# Builds everything and runs every test:
#   - each GoogleTest program build/tests/<name>_test.exe (one per tests/<name>_test.cpp)
#     under Wine, with its XML report in build/test-results/<name>_test.xml;
#   - each Python test file tests/*_test.py with the system's python3 (it has PIL);
#   - each shell test script tests/*_test.sh, run from the top folder with
#     PZ_BUILD, DISPLAY and WINEPREFIX set; exit status 0 counts as one passed
#     test, anything else as one failed test, unless the script prints totals
#     of its own as a line "N passed, N failed" (the last such line counts).
# Every test's output is kept in build/test-results/<name>.log; it is shown
# when the test failed. The last line printed is the total, "N passed, N failed";
# the exit status is non-zero if anything failed or nothing ran.
#
#   PZ_BUILD         build folder                         (default build)
#   PZ_TEST_TIMEOUT  seconds one test program may take    (default 600)
#   PZ_TEST_BUDGET   seconds the whole run may take, build included; tests
#                    not started by then count as failed  (default 4200)
#   PZ_DISPLAY, PZ_PREFIX  display and Wine prefix, see tools/winenv.sh
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
export HOME="${HOME:-/root}"

build="${PZ_BUILD:-build}"
limit="${PZ_TEST_TIMEOUT:-600}"
budget="${PZ_TEST_BUDGET:-4200}"
results="$build/test-results"
python=/usr/bin/python3
deadline=$((SECONDS + budget))

total_pass=0
total_fail=0
table=()

# record NAME PASSED FAILED [NOTE]
record() {
  total_pass=$((total_pass + $2))
  total_fail=$((total_fail + $3))
  local line
  line=$(printf '%-32s %d passed, %d failed%s' "$1" "$2" "$3" "${4:+  ($4)}")
  table+=("$line")
  printf '== %s\n' "$line"
}

finish() {
  echo
  echo "== Summary"
  local line
  for line in "${table[@]}"; do printf '   %s\n' "$line"; done
  printf '%d passed, %d failed\n' "$total_pass" "$total_fail"
  if [ "$total_fail" -ne 0 ] || [ $((total_pass + total_fail)) -eq 0 ]; then
    exit 1
  fi
  exit 0
}

# Seconds the next test may take: its own limit, cut to what is left of the budget.
time_left() {
  local left=$((deadline - SECONDS))
  [ "$left" -lt "$limit" ] && echo "$left" || echo "$limit"
}

# run_logged SECONDS LOG COMMAND...: runs the command with a time limit, all output
# to LOG, no standard input. Output goes to a file, never a pipe: Wine's helper
# processes inherit it and may outlive the test. Returns the command's status
# (124 or 137 after a timeout).
run_logged() {
  local seconds=$1 log=$2; shift 2
  timeout -k 15 "$seconds" "$@" </dev/null >"$log" 2>&1
}

# A hung program may hold the prefix: the next test starts with a fresh wineserver.
restart_wine() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true
}

show_log() {
  echo "---- $1"
  tr -d '\r' <"$1" | tail -n 200
  echo "----"
}

# Last "N passed, N failed" line of a log, as "N N"; nothing if there is none.
totals_of() {
  tr -d '\r' <"$1" | sed -n -E 's/^([0-9]+) passed, ([0-9]+) failed$/\1 \2/p' | tail -n 1
}

# count_of KEY STATUS: the number after "KEY=" in unittest's "FAILED (failures=1, ...)".
count_of() {
  sed -n -E "s/.*[(, ]$1=([0-9]+).*/\1/p" <<<"$2" | tail -n 1
}

echo "== Setup"
if ! bash tools/setup.sh; then
  echo "tools/setup.sh failed"
  record setup 0 1 "packages missing"
  finish
fi

echo "== Build ($build)"
build_ok=1
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake || build_ok=0
if [ "$build_ok" -eq 1 ]; then
  keep_going=()
  [ -f "$build/Makefile" ] && keep_going=(-- -k)
  [ -f "$build/build.ninja" ] && keep_going=(-- -k 0)
  cmake --build "$build" -j2 "${keep_going[@]}" || build_ok=0
fi
if [ "$build_ok" -eq 0 ]; then
  record build 0 1 "see the compiler output above"
fi
mkdir -p "$results"

shopt -s nullglob
gtests=(tests/*_test.cpp)
pytests=(tests/*_test.py)
shtests=(tests/*_test.sh)

if [ ${#gtests[@]} -gt 0 ] || [ ${#shtests[@]} -gt 0 ]; then
  echo "== Display and Wine prefix"
  # shellcheck source=tools/winenv.sh
  source tools/winenv.sh
  # Xvfb and wineserver stay behind for the next run; this shell must not wait for them.
  disown -a 2>/dev/null || true
  xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 || echo "warning: display $DISPLAY is not up"
  echo "DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
  # A crashing test must end with a backtrace in its log, not wait at Wine's crash dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # The reports' folder as the test programs see it (GoogleTest joins a path
  # without a drive letter to its working folder).
  results_win=$(winepath -w "$(realpath "$results")" 2>/dev/null)
  results_win=${results_win:-$results}
fi

for src in "${gtests[@]}"; do
  name=$(basename "$src" .cpp)
  exe="$build/tests/$name.exe"
  log="$results/$name.log"
  echo "== $name"
  if [ ! -f "$exe" ]; then
    record "$name" 0 1 "not built"
    continue
  fi
  if [ "$(time_left)" -le 0 ]; then
    record "$name" 0 1 "not run: time budget spent"
    continue
  fi
  rm -f "$results/$name.xml"
  t=$(time_left)
  run_logged "$t" "$log" wine "$exe" "--gtest_output=xml:$results_win\\$name.xml"
  rc=$?
  read -r passed failed <<<"$(totals_of "$log")"
  note=""
  if [ -z "${passed:-}" ]; then
    # No total printed: it crashed or hung. Count what it reported, plus the breakdown.
    passed=$(tr -d '\r' <"$log" | grep -c '^\[       OK \]')
    failed=$(( $(tr -d '\r' <"$log" | grep -cE '^\[  FAILED  \] .*\([0-9]+ ms\)$') + 1 ))
    note="no total, exit $rc"
  elif [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1
    note="exit $rc"
  fi
  case $rc in 124|137) note="timed out after $t s"; restart_wine ;; esac
  [ "$failed" -ne 0 ] && show_log "$log"
  record "$name" "$passed" "$failed" "$note"
  unset passed failed
done

for py in "${pytests[@]}"; do
  name=$(basename "$py" .py)
  log="$results/$name.log"
  echo "== $name"
  if [ "$(time_left)" -le 0 ]; then
    record "$name" 0 1 "not run: time budget spent"
    continue
  fi
  t=$(time_left)
  run_logged "$t" "$log" "$python" -m unittest discover -v -s tests -p "$name.py"
  rc=$?
  out=$(tr -d '\r' <"$log")
  ran=$(sed -n -E 's/^Ran ([0-9]+) tests? in .*/\1/p' <<<"$out" | tail -n 1)
  status=$(grep -E '^(OK|FAILED)( \(.*\))?$' <<<"$out" | tail -n 1)
  failures=$(count_of failures "$status"); errors=$(count_of errors "$status")
  skipped=$(count_of skipped "$status"); unexpected=$(count_of 'unexpected successes' "$status")
  failed=$(( ${failures:-0} + ${errors:-0} + ${unexpected:-0} ))
  note=""
  if [ -z "$ran" ] || [ -z "$status" ]; then
    passed=0; failed=$((failed > 0 ? failed : 1)); note="no result, exit $rc"
  else
    passed=$(( ran - failed - ${skipped:-0} ))
    [ -n "$skipped" ] && note="$skipped skipped"
    if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then failed=1; note="exit $rc"; fi
  fi
  [ "$failed" -ne 0 ] && show_log "$log"
  record "$name" "$passed" "$failed" "$note"
done

export PZ_BUILD="$build"
for sh in "${shtests[@]}"; do
  name=$(basename "$sh" .sh)
  log="$results/$name.log"
  echo "== $name"
  if [ "$(time_left)" -le 0 ]; then
    record "$name" 0 1 "not run: time budget spent"
    continue
  fi
  t=$(time_left)
  run_logged "$t" "$log" bash "$sh"
  rc=$?
  read -r passed failed <<<"$(totals_of "$log")"
  note=""
  if [ -z "${passed:-}" ]; then
    if [ "$rc" -eq 0 ]; then passed=1; failed=0; else passed=0; failed=1; note="exit $rc"; fi
  elif [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1; note="exit $rc"
  fi
  case $rc in 124|137) note="timed out after $t s"; restart_wine ;; esac
  [ "$failed" -ne 0 ] && show_log "$log"
  record "$name" "$passed" "$failed" "$note"
  unset passed failed
done

finish
