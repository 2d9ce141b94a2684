#!/usr/bin/env bash
# Sets up what is missing, builds the product and every test, and runs the
# tests. Usage: scripts/test.sh [ctest arguments...]
#
# Two build folders:
#   build/      the 32-bit product (VESKFlash.exe, the demo program, the
#               simulated wnaspi32.dll) and every test program, compiled for
#               the 32-bit target, where the record layouts are checked at
#               compile time; the host tests (image tool, import list) run here.
#   build/x64/  the same sources as 64-bit Windows programs; every Windows
#               test runs here under 64-bit Wine, which runs natively on any
#               x86-64 Linux kernel. (VESK_RUN32_TESTS=1 also runs them in
#               build/ under 32-bit Wine, for kernels that execute 32-bit
#               programs natively.)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${VESK_BUILD:-$ROOT/build}"

bash "$ROOT/scripts/setup.sh"

run32=OFF
[ -n "${VESK_RUN32_TESTS:-}" ] && run32=ON
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DVESK_RUN32_TESTS=$run32 \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$BUILD" -j 2
cmake -S "$ROOT" -B "$BUILD/x64" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$BUILD/x64" -j 2

. "$ROOT/scripts/wine-env.sh"
trap vesk_stop EXIT
vesk_start_display

status=0
if [ "$run32" = ON ]; then
  (VESK_ARCH=32; . "$ROOT/scripts/wine-env.sh"; vesk_start_wine
   cd "$BUILD" && ctest --output-on-failure "$@") || status=1
else
  (cd "$BUILD" && ctest --output-on-failure "$@") || status=1
fi
vesk_start_wine
(cd "$BUILD/x64" && ctest --output-on-failure "$@") || status=1
exit $status
