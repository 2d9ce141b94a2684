#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test under Wine.
# Usage: scripts/test.sh [ctest arguments...]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${VESK_BUILD:-$ROOT/build}"

bash "$ROOT/scripts/setup.sh"

cmake -S "$ROOT" -B "$BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$BUILD" -j 2

. "$ROOT/scripts/wine-env.sh"
trap vesk_stop EXIT
vesk_start_display
vesk_start_wine

cd "$BUILD"
ctest --output-on-failure "$@"
