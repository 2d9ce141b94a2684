#!/usr/bin/env bash
# Holds the program's imports against the functions that both Windows 98
# and Windows NT 4.0 provide, and checks the rest of what lets one static
# executable start on both families: a 32-bit GUI image with subsystem
# version 4.0, only system DLLs imported, and a manifest asking for
# administrator rights in the form Windows XP accepts.
# Usage: check-imports.sh <objdump> <program.exe> <allowed-list>
set -uo pipefail
objdump=$1 exe=$2 allowed=$3
fail=0
say() { echo "imports: $*"; }

headers=$("$objdump" -p "$exe") || { say "cannot read $exe"; exit 1; }

grep -q 'file format pei-i386' <<<"$headers" || { say "not a 32-bit (PE32, i386) image"; fail=1; }
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$headers" || { say "not a GUI subsystem image"; fail=1; }
grep -qE '^MajorSubsystemVersion[[:space:]]+4$' <<<"$headers" &&
  grep -qE '^MinorSubsystemVersion[[:space:]]+0$' <<<"$headers" ||
  { say "subsystem version is not 4.0"; fail=1; }

# DLL!Function for every imported function.
imports=$(awk '/DLL Name:/ { dll = toupper($3) }
               /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll "!" $3 }' <<<"$headers" | sort -u)
[ -n "$imports" ] || { say "found no imports at all (objdump output not understood)"; exit 1; }

known=$(grep -vE '^[[:space:]]*(#|$)' "$allowed" | sed 's/[[:space:]]*#.*//' | sort -u)
unknown=$(comm -23 <(echo "$imports") <(echo "$known"))
if [ -n "$unknown" ]; then
  say "imported but not known to exist on both Windows 98 and NT 4.0:"
  sed 's/^/  /' <<<"$unknown"
  fail=1
fi

# Only the system's own DLLs: the C++ runtime is linked in statically.
dlls=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers" | sort -u)
for d in $dlls; do
  case "$d" in
    KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|COMCTL32.DLL|MSVCRT.DLL) ;;
    *) say "imports a DLL that is not part of Windows: $d"; fail=1 ;;
  esac
done

# The manifest: requireAdministrator, in the single asm.v3 namespace.
grep -aq 'requireAdministrator' "$exe" || { say "no requireAdministrator in the manifest"; fail=1; }
grep -aq 'urn:schemas-microsoft-com:asm.v3' "$exe" || { say "manifest lacks the asm.v3 trustInfo namespace"; fail=1; }

n=$(wc -l <<<"$imports")
if [ $fail = 0 ]; then say "$n imported functions, all available on Windows 98 and NT 4.0"; fi
exit $fail
