#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian 12 machine:
# MinGW-w64 (i686 for the product, x86-64 for the test build; win32 thread
# model), CMake, Ninja, Wine (both sides), Xvfb, doctest, and the tools that
# turn a window into a PNG.
# Quick when everything is already there: no package index update then.
set -euo pipefail

need_pkgs=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

pkgs=(g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 mingw-w64-i686-dev
      g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
      cmake ninja-build wine wine32:i386 wine64 xvfb x11-apps imagemagick doctest-dev
      xauth g++ xdotool file)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  added_arch=1
fi
for p in "${pkgs[@]}"; do have "$p" || need_pkgs+=("$p"); done

if [ "${#need_pkgs[@]}" -gt 0 ] || [ -n "${added_arch:-}" ]; then
  [ "$(id -u)" = 0 ] || { echo "setup: need root to install: ${need_pkgs[*]}" >&2; exit 1; }
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

if ! command -v wine >/dev/null 2>&1; then
  echo "setup: wine not found after install" >&2; exit 1
fi

# 32-bit Wine runs as a 32-bit Linux process. Some kernels (paravirtualised
# guests among them) cannot execute 32-bit ELF programs; when the 32-bit
# side is asked for there, its loader runs through qemu's user-mode
# emulator (slow: minutes per program start).
if { [ -n "${VESK_RUN32_TESTS:-}" ] || [ "${VESK_ARCH:-64}" = 32 ]; } \
   && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  if ! have qemu-user-static; then
    [ "$(id -u)" = 0 ] || { echo "setup: need root to install qemu-user-static" >&2; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null \
      || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null; }
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  if [ ! -e "$binfmt/vesk-i386" ]; then
    printf '%s' ':vesk-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' > "$binfmt/register" 2>/dev/null || true
  fi
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "setup: this machine cannot run 32-bit programs, even through qemu" >&2; exit 1
  fi
  echo "setup: 32-bit programs run through qemu-i386 on this machine"
fi
echo "setup: all tools present"
