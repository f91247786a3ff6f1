# Sourced by scripts/test: the Windows build's test runs under Wine.
# One Wine prefix lives in the build tree. Its server is started once with no
# pipes attached, and a warm-up run starts Wine's background processes with
# standard handles on /dev/null, so captured runs never wait for them.

windows_build=build/windows
export WINEDEBUG=-all
export WINEPREFIX="$PWD/$windows_build/wineprefix"

windows_start_wine() {
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wine "$windows_build/cleanup.exe" -l </dev/null >/dev/null 2>&1
  return 0
}

windows_stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
}

# The shared end-to-end suite against cleanup.exe; POSIX-only cases skip
# (they ran in the native stages) and say so (-rs).
# Runs Wine had to start again are listed before pytest's summary line.
windows_e2e_shared() {
  local retries="$PWD/$windows_build/wine-retries.log" status
  rm -f "$retries"
  CLEANUP_EXE="$PWD/$windows_build/cleanup.exe" CLEANUP_WINE_LOG="$retries" \
    CLEANUP_BIN="$PWD/tests/e2e/windows/cleanup-wine" CLEANUP_SKIP_POSIX_ONLY=1 \
    /usr/bin/python3 -m pytest -q -rs -p no:cacheprovider tests/e2e --ignore=tests/e2e/windows \
    >"$retries.pytest" 2>&1
  status=$?
  [ -f "$retries" ] && sed 's/^/wine: /' "$retries"
  cat "$retries.pytest"
  return "$status"
}

# Windows-only behaviour, and the same runs compared with the POSIX build.
windows_e2e_own() {
  CLEANUP_EXE="$PWD/$windows_build/cleanup.exe" \
    CLEANUP_LAUNCHER="$PWD/$windows_build/tests/e2e/windows/cleanup_launcher.exe" \
    CLEANUP_POSIX_BIN="$PWD/build/release/cleanup" \
    /usr/bin/python3 -m pytest -q -rs -p no:cacheprovider tests/e2e/windows
}
