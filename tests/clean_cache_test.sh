#!/usr/bin/env bash
# Runs the cache cleaner's tests (build/tests/clean_cache_test.exe) where
# they may delete files: in a Wine prefix of their own whose drive letters
# other than C: are removed, so no path the program forms can leave the
# prefix, with the program copied into its drive C: and started from there.
#
#   1. every case, in that prefix;
#   2. the link cases, after Linux symbolic links to a canary folder inside
#      the prefix were put into the cookie and cache folders (a Windows
#      program under Wine cannot make them itself);
#   3. from the Linux side: the canary folder and the links are as they were.
# Prints the runs' output and, last, "N passed, N failed" over all three.
#
#   PZ_BUILD         build folder (default build)
#   PZ_CLEAN_PREFIX  the prefix to use (default: the current one's path + "-sealed")
#   PZ_DISPLAY, PZ_PREFIX  see tools/winenv.sh
set -uo pipefail
cd "$(dirname "$0")/.."
export HOME="${HOME:-/root}"

build="${PZ_BUILD:-build}"
exe="$build/tests/clean_cache_test.exe"
base="${WINEPREFIX:-${PZ_PREFIX:-$HOME/.cache/pellumo/prefix}}"
sealed="${PZ_CLEAN_PREFIX:-$base-sealed}"

passed=0
failed=0
total() {
  printf '%d passed, %d failed\n' "$passed" "$failed"
  exit $((failed > 0 ? 1 : 0))
}
check() {  # check NAME COMMAND...: one Linux-side check, counted
  if "${@:2}"; then
    echo "[ ok ] $1"; passed=$((passed + 1))
  else
    echo "[FAIL] $1"; failed=$((failed + 1))
  fi
}

if [ ! -f "$exe" ]; then
  echo "clean_cache_test: $exe is not built"
  failed=1
  total
fi

# ---- the prefix --------------------------------------------------------------
# Only C: stays (see tools/sealed_prefix.sh).
# shellcheck source=tools/sealed_prefix.sh
source tools/sealed_prefix.sh
if ! pz_seal_prefix "$sealed"; then
  echo "clean_cache_test: $WINEPREFIX still maps z:; not running"
  failed=1
  total
fi
echo "prefix $WINEPREFIX: drives $(cd "$WINEPREFIX/dosdevices" && echo ?:)"

# Wine's recycle bin is the Linux desktop's trash: keep it inside the prefix too.
export XDG_DATA_HOME="$WINEPREFIX/xdg-data"
mkdir -p "$XDG_DATA_HOME"

drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/pz-tests"
cp "$exe" "$drive_c/pz-tests/clean_cache_test.exe"

# run_cases LOG [GTEST ARGS...]: runs the copy from inside drive C:, adds its totals.
run_cases() {
  local log=$1; shift
  (cd "$drive_c/pz-tests" && timeout -k 15 900 wine clean_cache_test.exe "$@" </dev/null >"$log" 2>&1)
  local rc=$?
  tr -d '\r' <"$log"
  local line p f
  line=$(tr -d '\r' <"$log" | sed -n -E 's/^([0-9]+) passed, ([0-9]+) failed$/\1 \2/p' | tail -n 1)
  if [ -z "$line" ]; then
    echo "clean_cache_test: no total (exit $rc)"
    failed=$((failed + 1))
    return
  fi
  read -r p f <<<"$line"
  passed=$((passed + p))
  failed=$((failed + f))
  if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then failed=$((failed + 1)); fi
}

logs="$(cd "$build" && pwd)/test-results"
mkdir -p "$logs"
user_dir="$drive_c/users/$(id -un)"
local_dir="$user_dir/AppData/Local/Microsoft/Windows"
cookies="$local_dir/INetCookies"
cache="$local_dir/INetCache"
canary="$drive_c/pz-clean-canary"

remove_links() {
  rm -f "$cookies/pz-link-dir" "$cookies/pz-link-empty" "$cookies/pz-real/pz-link-file" \
        "$cookies/pz-real/pz-link-readonly" "$cache/pz-link-dir" "$cache/pz-real/pz-link-up"
}
remove_links 2>/dev/null
chmod -R u+w "$canary" 2>/dev/null; rm -rf "$canary"

echo "== all cases"
run_cases "$logs/clean_cache_sealed.log"

# ---- the links ---------------------------------------------------------------
echo "== link cases"
mkdir -p "$canary/full/sub" "$canary/empty" "$cookies/pz-real" "$cache/pz-real"
echo canary >"$canary/full/canary.txt"
echo deep >"$canary/full/sub/deep.txt"
echo file >"$canary/file.txt"
echo readonly >"$canary/readonly.txt"
chmod a-w "$canary/readonly.txt"
ln -s "$canary/full" "$cookies/pz-link-dir"
ln -s "$canary/empty" "$cookies/pz-link-empty"
ln -s ../../../../../../../../pz-clean-canary/file.txt "$cookies/pz-real/pz-link-file"
ln -s "$canary/readonly.txt" "$cookies/pz-real/pz-link-readonly"
ln -s "$canary/full" "$cache/pz-link-dir"
ln -s "$local_dir" "$cache/pz-real/pz-link-up"
check "relative link leads to the canary file" test "$(cat "$cookies/pz-real/pz-link-file")" = file

state() {  # what the canary and the folder next to the cache folder hold, with modes
  (cd "$canary" && find . -printf '%p %y %m %s\n' | sort && md5sum $(find . -type f | sort))
  (cd "$local_dir" && ls -1 | sort)
}
before=$(state)
run_cases "$logs/clean_cache_links.log" --gtest_filter='CleanStoresLinks.*'
after=$(state)

check "canary folder unchanged (names, modes, contents)" test "$before" = "$after"
if [ "$before" != "$after" ]; then diff <(echo "$before") <(echo "$after"); fi
links_ok=1
for l in "$cookies/pz-link-dir" "$cookies/pz-link-empty" "$cookies/pz-real/pz-link-file" \
         "$cookies/pz-real/pz-link-readonly" "$cache/pz-link-dir" "$cache/pz-real/pz-link-up"; do
  # Under Wine no call removes a link without following it: each stays.
  [ -L "$l" ] || { echo "   gone: $l"; links_ok=0; }
done
check "links still in place, never followed" test "$links_ok" -eq 1
check "read-only canary still read-only" test "$(stat -c %a "$canary/readonly.txt")" = 444

remove_links
chmod -R u+w "$canary"; rm -rf "$canary"
total
