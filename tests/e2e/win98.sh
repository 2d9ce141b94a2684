#!/usr/bin/env bash
# Runs a Windows program in a Wine prefix set to Windows 98, with the
# simulated wnaspi32.dll in its system folder loaded in place of Wine's own.
# The prefix is made on first use: a copy of the prefix in WINEPREFIX (the
# test prefix, already booted), or a new one.
#
# Usage: win98.sh <wine> <prefix> <wnaspi32.dll> <program.exe> [arguments...]
set -euo pipefail
wine=$1 prefix=$2 dll=$3
shift 3

if [ ! -f "$prefix/.vesk98-ready" ]; then
  rm -rf "$prefix"
  source=${WINEPREFIX:-$HOME/.wine}
  if [ -f "$source/system.reg" ]; then
    cp -a "$source" "$prefix"
    rm -f "$prefix/.vesk-ready"
  else
    WINEPREFIX=$prefix "$wine" wineboot -i >/dev/null 2>&1 || true
  fi
  WINEPREFIX=$prefix "$wine" reg add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
  touch "$prefix/.vesk98-ready"
fi

# The library of this build. Removed first: the file in a copied prefix may
# be shared with another one.
system=$prefix/drive_c/windows/system32
rm -f "$system/wnaspi32.dll"
cp "$dll" "$system/wnaspi32.dll"

export WINEPREFIX=$prefix
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;wnaspi32=n"
exec "$wine" "$@"
