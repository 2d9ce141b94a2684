# Sourced by test.sh and demo.sh: a pure 32-bit Wine prefix under the build
# folder, a persistent wineserver, and a display (Xvfb unless one is given).
# Expects BUILD to be set.

export WINEARCH=win32
export WINEPREFIX="${VESK_WINEPREFIX:-$BUILD/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"

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
  if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.vesk-ready" ]; then
    echo "wine: creating prefix $WINEPREFIX (first time only, slow)"
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wine wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.vesk-ready"
  fi
  # A persistent server: each test program then starts quickly.
  wineserver -p >/dev/null 2>&1 || true
}

vesk_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${VESK_XVFB_PID:-}" ]; then kill "$VESK_XVFB_PID" 2>/dev/null || true; fi
}
