# Source this file (from the repository's root), then call
#   pz_standin_prefix PREFIX BUILD
# to prepare a scratch Wine prefix in which the stand-in browser engine
# (tests/standin, built as BUILD/tests/standin_browser.dll) answers for the
# WebBrowser class, so that the demo portal page drives the program by itself
# (it navigates to a "client=1" URL at once). Used by the benchmark and the
# screenshot script; never point it at a prefix the tests use.
#
# The prefix is made by tools/winenv.sh (which exports DISPLAY, WINEPREFIX...
# for it), sealed by tools/sealed_prefix.sh - every drive letter but C:
# removed, so that nothing run there (the cache cleaner deletes files) can
# reach outside it - and gets, in
# C:\pz, the program, the stand-in DLL (registered with regsvr32), the
# benchmark's probe and helpers, and a copy of demo/. Afterwards:
#   PZ_STANDIN_DIR   that folder on the Linux side
# Returns non-zero, with a message, if something is missing or fails.

pz_warm_prefix() {
  # The prefix's first program starts Wine's own services, which inherit its
  # standard handles and outlive it: start them from a program whose handles
  # lead nowhere, or a later $(wine ...) would wait for them forever.
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

# shellcheck source=tools/sealed_prefix.sh
source tools/sealed_prefix.sh

# pz_sealed_prefix PREFIX: the sealed prefix of tools/sealed_prefix.sh (and
# a switch to it: DISPLAY, WINEPREFIX... are exported), with Wine's services
# started. Non-zero if z: could not be removed.
pz_sealed_prefix() {
  if ! pz_seal_prefix "$1"; then
    echo "standin_prefix: $1 still maps z:" >&2
    return 1
  fi
  pz_warm_prefix
}

pz_standin_prefix() {
  local prefix=$1 build=$2
  local dll="$build/tests/standin_browser.dll"
  local exe="$build/PellumoZarvotek.exe"
  local item
  for item in "$dll" "$exe"; do
    if [ ! -f "$item" ]; then
      echo "standin_prefix: $item is missing" >&2
      return 1
    fi
  done
  pz_sealed_prefix "$prefix" || return 1

  PZ_STANDIN_DIR="$WINEPREFIX/drive_c/pz"
  mkdir -p "$PZ_STANDIN_DIR"
  rm -rf "$PZ_STANDIN_DIR/demo"
  cp -r demo "$PZ_STANDIN_DIR/demo"
  cp "$exe" "$dll" "$PZ_STANDIN_DIR/"
  for item in probe minimal_window browser_window; do
    [ -f "$build/bench/$item.exe" ] && cp "$build/bench/$item.exe" "$PZ_STANDIN_DIR/"
  done
  if ! (cd "$PZ_STANDIN_DIR" && wine regsvr32 /s 'C:\pz\standin_browser.dll' </dev/null >/dev/null 2>&1); then
    echo "standin_prefix: regsvr32 of the stand-in engine failed" >&2
    return 1
  fi
  export PZ_STANDIN_DIR
  return 0
}
