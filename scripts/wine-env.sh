# Sourced by test.sh and demo.sh: a Wine prefix under the build folder, a
# persistent wineserver, and a display (Xvfb unless one is given).
# Expects BUILD to be set. VESK_ARCH selects the Wine side: 64 (default: the
# 64-bit test build under 64-bit Wine) or 32 (a pure 32-bit prefix; only
# usable where the kernel executes 32-bit programs natively).

VESK_ARCH="${VESK_ARCH:-64}"
if [ "$VESK_ARCH" = 32 ]; then
  export WINEARCH=win32
  VESK_WINE=wine
else
  export WINEARCH=win64
  VESK_WINE=/usr/lib/wine/wine64
fi
export WINEPREFIX="${VESK_WINEPREFIX:-$BUILD/wineprefix$VESK_ARCH}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export VESK_WINE

vesk_start_display() {
  if [ -n "${VESK_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then
    return 0
  fi
  local n=99
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  VESK_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}

vesk_start_wine() {
  if [ ! -f "$WINEPREFIX/.vesk-ready" ]; then
    echo "wine: creating prefix $WINEPREFIX (first time only)"
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    "$VESK_WINE" wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.vesk-ready"
  fi
  # A persistent server: each test program then starts quickly.
  wineserver -p >/dev/null 2>&1 || true
  # Wine's own services start with the first program and live as long as
  # the server, keeping that program's standard error open: start them here,
  # with nothing to keep, or CTest would wait for the first test's output
  # until its time-out.
  "$VESK_WINE" wineboot >/dev/null 2>&1 </dev/null || true
  # On the virtual screen no window manager runs: Wine then draws the
  # windows' frames itself (pictures show the captions) and does not wait
  # for one, which otherwise costs two seconds each time a window closes.
  # On a display of the user's own, the window manager keeps the windows.
  local managed=N
  [ -n "${VESK_USE_DISPLAY:-}" ] && managed=Y
  "$VESK_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d $managed /f \
    >/dev/null 2>&1 </dev/null || true
}

vesk_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${VESK_XVFB_PID:-}" ]; then kill "$VESK_XVFB_PID" 2>/dev/null || true; fi
}

# Runs a Windows program of the selected side. A 32-bit program on the
# 64-bit side would fall back to emulation and take minutes to start: say so.
vesk_wine() {
  if [ "$VESK_ARCH" != 32 ] && file -b "$1" 2>/dev/null | grep -q 'PE32 executable'; then
    echo "vesk_wine: $1 is a 32-bit program; run the 64-bit test build (cmake/mingw-x86_64.cmake) instead" >&2
    return 1
  fi
  "$VESK_WINE" "$@"
}
