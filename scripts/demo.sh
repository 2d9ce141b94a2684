#!/usr/bin/env bash
# The demo: VESKFlash-sim.exe, the program on a simulated Windows machine
# with two CD/DVD drives (D: the drive the carried firmware is for, E: a
# drive of another model), in real time, under Wine.
#
# With a display (DISPLAY set and VESK_USE_DISPLAY=1, or DISPLAY set and the
# script run from a terminal) the window opens for you to use: confirm the
# box, press Start, wait, answer the restart question (OK only ends the
# program: the simulated machine does not restart anything).
#
# Without one (or with VESK_USE_DISPLAY=0) it runs on a virtual screen
# (Xvfb) and plays the whole road of one update as a person would: confirm
# the box, press Start, wait, answer the restart question with Cancel, press
# Exit. It photographs each stage into build/demo/ (1-confirm, 2-idle,
# 3-flashing, 4-verifying, 5-verified .png), prints each step, the log
# lines and the time taken, checks that the drive now holds the image, and
# ends with 0 on success.
#
# On a fresh machine it first installs what is missing (scripts/setup.sh,
# as root) and builds.
#
# Usage: scripts/demo.sh
#   VESK_BUILD   build folder (default: build)
#   VESK_ARCH    64 (default): the programs built as 64-bit Windows
#                programs, which 64-bit Wine runs natively on any x86-64
#                Linux; 32: the 32-bit build, for machines whose kernel runs
#                32-bit programs (elsewhere 32-bit Wine is emulated and takes
#                minutes to start).
#   VESK_DEMO_BUDGET  seconds the headless run may take (default 300)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${VESK_BUILD:-$ROOT/build}"
ARCH="${VESK_ARCH:-64}"
OUT="$BUILD/demo"

interactive=
if [ -n "${DISPLAY:-}" ] && [ "${VESK_USE_DISPLAY:-}" != 0 ]; then
  if [ -n "${VESK_USE_DISPLAY:-}" ] || { [ -t 0 ] && [ -t 1 ]; }; then interactive=1; fi
fi

bash "$ROOT/scripts/setup.sh"
if [ "$ARCH" = 32 ]; then
  PROGRAM_BUILD="$BUILD"
  TOOLCHAIN="$ROOT/cmake/mingw-i686.cmake"
else
  PROGRAM_BUILD="$BUILD/x64"
  TOOLCHAIN="$ROOT/cmake/mingw-x86_64.cmake"
fi
cmake -S "$ROOT" -B "$PROGRAM_BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" >/dev/null
cmake --build "$PROGRAM_BUILD" -j 2 --target VESKFlash-sim vesk-drive
EXE="$PROGRAM_BUILD/sim/demo/VESKFlash-sim.exe"
DRIVER="$PROGRAM_BUILD/tests/e2e/vesk-drive.exe"

VESK_ARCH="$ARCH"
if [ -n "$interactive" ]; then VESK_USE_DISPLAY=1; else VESK_USE_DISPLAY=; fi
. "$ROOT/scripts/wine-env.sh"
run=
cleanup() {
  [ -n "$run" ] && kill "$run" 2>/dev/null || true
  vesk_stop
}
trap cleanup EXIT
vesk_start_display
vesk_start_wine

rm -rf "$OUT"
mkdir -p "$OUT"
# The folder as the Windows programs see it (Wine's Z: is the root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# The demo program writes what its drives received and hold here.
export VESK_SIM_OUTPUT="$(winpath "$OUT")"
unset VESK_SIM_SCENARIO

# What the drive holds afterwards, against the image the program carries
# (slot 0: a 64-byte header, then 64 KiB block slots; the block count and
# lengths are 16-bit fields at 34 and 36).
check_drive() {
  local slot="$ROOT/firmware/slot0.bin" memory="$OUT/memory-D.bin"
  [ -f "$memory" ] || { echo "demo: no record of drive D: ($memory)"; return 1; }
  local count i length
  count=$(od -An -tu2 -j34 -N2 "$slot" | tr -d ' ')
  for ((i = 0; i < count; i++)); do
    length=$(od -An -tu2 -j$((36 + 2 * i)) -N2 "$slot" | tr -d ' ')
    if ! cmp -s <(tail -c +$((64 + i * 65536 + 1)) "$slot" | head -c "$length") \
                <(tail -c +$((i * 65536 + 1)) "$memory" | head -c "$length"); then
      echo "demo: drive D: block $i does NOT hold the image"
      return 1
    fi
    echo "demo: drive D: block $i holds the image's $length bytes"
  done
  grep -a '^drive D:' "$OUT/summary.txt" | sed 's/^/demo: /'
}

if [ -n "$interactive" ]; then
  echo "demo: opening VESKFlash-sim.exe on display $DISPLAY; close it to end the demo"
  set +e
  "$VESK_WINE" "$EXE" >"$OUT/wine.log" 2>&1 </dev/null
  code=$?
  set -e
  echo "demo: VESKFlash-sim.exe ended with exit code $code"
  if grep -aq ' FlashCommit ' "$OUT/trace.txt" 2>/dev/null; then check_drive || true; fi
  echo "demo: what the drives received: $OUT/trace.txt"
  exit "$code"
fi

echo "demo: VESKFlash-sim.exe ($([ "$ARCH" = 32 ] && echo 32 || echo 64)-bit build) under Wine on virtual screen $DISPLAY"
steps="$OUT/steps.txt"
: >"$steps"
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
started=$(now_ms)
"$VESK_WINE" "$DRIVER" "$(winpath "$EXE")" --shots "$(winpath "$OUT")" >"$steps" 2>"$OUT/wine.log" </dev/null &
run=$!

# Follow the driver's steps; photograph the screen where it asks.
budget=${VESK_DEMO_BUDGET:-300}
shown=0
follow() {
  local lines name
  lines=$(wc -l <"$steps")
  while [ "$shown" -lt "$lines" ]; do
    shown=$((shown + 1))
    line=$(sed -n "${shown}p" "$steps" | tr -d '\r')
    echo "demo: $line"
    case "$line" in
      *"] shot "*)
        name=${line##*] shot }
        sleep 0.3   # let the window paint
        import -window root "$OUT/$name.png"
        echo "demo:   picture $OUT/$name.png"
        touch "$OUT/$name.done"
        ;;
    esac
  done
}
while kill -0 "$run" 2>/dev/null; do
  follow
  if [ $(( $(now_ms) - started )) -gt $(( budget * 1000 )) ]; then
    echo "demo: the road did not end within ${budget}s" >&2
    exit 1
  fi
  sleep 0.1
done
set +e
wait "$run"
status=$?
set -e
run=
follow
rm -f "$OUT"/*.done
elapsed=$(( $(now_ms) - started ))

result=0
[ "$status" -eq 0 ] || result=1
check_drive || result=1
for name in 1-confirm 2-idle 3-flashing 4-verifying 5-verified; do
  [ -s "$OUT/$name.png" ] || { echo "demo: no picture $name.png"; result=1; }
done
echo "demo: the whole road took $((elapsed / 1000)).$(( elapsed % 1000 / 100 )) s, from starting the program to its exit"
if [ "$result" -eq 0 ]; then
  echo "demo: done: the update was verified; pictures, steps and the drives' records are in $OUT"
else
  echo "demo: FAILED (see $steps and $OUT/wine.log)" >&2
fi
exit "$result"
