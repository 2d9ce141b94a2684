#!/usr/bin/env bash
# Builds VESKFlash.exe and runs it under Wine on a virtual screen, as a user
# would meet it on a machine without a drive it can update: it asks for
# confirmation, says it found no device, and ends. Each box it shows is
# photographed (build/demo-<n>-<caption>.png), read, and answered with
# Return, as a user would; at the end the script tells what the program
# showed and its exit code.
#
# Usage: scripts/demo.sh
#   VESK_BUILD   build folder (default: build)
#   VESK_ARCH    64 (default): the program built as a 64-bit Windows program,
#                which 64-bit Wine runs natively on any x86-64 Linux;
#                32: the 32-bit product itself, for machines whose kernel
#                runs 32-bit programs (elsewhere 32-bit Wine is emulated and
#                takes minutes to start).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${VESK_BUILD:-$ROOT/build}"
ARCH="${VESK_ARCH:-64}"

bash "$ROOT/scripts/setup.sh"
if [ "$ARCH" = 32 ]; then
  PROGRAM_BUILD="$BUILD"
  TOOLCHAIN="$ROOT/cmake/mingw-i686.cmake"
else
  PROGRAM_BUILD="$BUILD/x64"
  TOOLCHAIN="$ROOT/cmake/mingw-x86_64.cmake"
fi
cmake -S "$ROOT" -B "$PROGRAM_BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" >/dev/null
cmake --build "$PROGRAM_BUILD" -j 2 --target VESKFlash
EXE="$PROGRAM_BUILD/src/VESKFlash.exe"

VESK_ARCH="$ARCH"
. "$ROOT/scripts/wine-env.sh"
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  vesk_stop
}
trap cleanup EXIT
vesk_start_display
vesk_start_wine

# Wine draws the program's frames itself rather than leaving them to a
# window manager (there is none on the virtual screen), so the pictures
# show the captions. Set for this program only.
"$VESK_WINE" reg add 'HKCU\Software\Wine\AppDefaults\VESKFlash.exe\X11 Driver' \
  /v Managed /d N /f >/dev/null 2>&1 </dev/null || true

rm -f "$BUILD"/demo-*.png
mkdir -p "$BUILD"
log="$BUILD/demo-wine.log"
# Wine's message-box trace gives each box's text as the program passed it.
WINEDEBUG=-all,trace+msgbox "$VESK_WINE" "$EXE" >"$log" 2>&1 </dev/null &
app=$!
echo "demo: started $(basename "$EXE") ($([ "$ARCH" = 32 ] && echo 32 || echo 64)-bit build) under Wine, display $DISPLAY"

# The text of the n-th box the program has shown, with its line feeds.
box_text() {
  grep -a 'trace:msgbox:MSGBOX_OnInit' "$log" | sed -n "${1}p" |
    sed -e 's/^.*MSGBOX_OnInit L"//' -e 's/"[[:space:]]*$//' -e 's/\\n/\n/g'
}

boxes=0
budget=${VESK_DEMO_BUDGET:-300}   # seconds
start=$(date +%s)
while kill -0 "$app" 2>/dev/null; do
  if [ $(( $(date +%s) - start )) -gt "$budget" ]; then
    echo "demo: the program did not end within ${budget}s" >&2
    exit 1
  fi
  win=$(xdotool search --onlyvisible --name '^(WARNING|ERROR)$' 2>/dev/null | head -n 1 || true)
  if [ -z "$win" ]; then
    sleep 0.5
    continue
  fi
  sleep 1   # let it paint
  title=$(xdotool getwindowname "$win" 2>/dev/null || echo box)
  boxes=$((boxes + 1))
  shot="$BUILD/demo-$boxes-$(echo "$title" | tr 'A-Z' 'a-z').png"
  import -window root "$shot"
  echo "demo: box $boxes, caption \"$title\" (picture: $shot):"
  box_text "$boxes" | sed 's/^/demo:   | /'
  echo "demo: pressing Return"
  xdotool windowfocus "$win" 2>/dev/null || true
  xdotool key Return
  # Wait for the box to go before looking for the next one.
  for _ in $(seq 1 20); do
    xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | grep -qx "$win" || break
    sleep 0.5
  done
done

set +e
wait "$app"
code=$?
set -e
app=
echo "demo: VESKFlash.exe ended with exit code $code after $boxes message box(es)"
[ "$code" -eq 0 ]
