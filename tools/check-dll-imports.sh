#!/usr/bin/env bash
# Checks a built Windows plug-in: its exports (by default the entry point under
# both names, at one address) and nothing imported but DLLs that every Windows
# system has.
# Usage: bash tools/check-dll-imports.sh DLL x86_64|i686 ["EXPORT ..."]
set -euo pipefail
dll=$1
objdump=$2-w64-mingw32-objdump
expected=${3:-VSTPluginMain main}
dump=$("$objdump" -p "$dll")

names=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1; next} t && /^\t\[/{print $NF} t && !/^\t\[/{t=0}' <<<"$dump")
addresses=$(sed -n 's/.*\] \([0-9a-fA-F]*\) Export RVA$/\1/p' <<<"$dump" | sort -u)
imports=$(awk '/DLL Name:/{print tolower($3)}' <<<"$dump" | sort -u)

fail=0
[ "$(LC_ALL=C sort <<<"$names" | tr '\n' ' ')" = "$(tr ' ' '\n' <<<"$expected" | LC_ALL=C sort | tr '\n' ' ')" ] ||
  { echo "$dll: exports are [$names], not [$expected]"; fail=1; }
[ "$(wc -l <<<"$addresses")" -eq 1 ] || { echo "$dll: the exports have different addresses: $addresses"; fail=1; }
system="gdi32.dll gdiplus.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll"
for d in $imports; do
  case " $system " in *" $d "*) ;; *) echo "$dll: imports $d, which is not a system DLL"; fail=1 ;; esac
done
if [ $fail -eq 0 ]; then
  echo "$dll: exports $expected at RVA $addresses; imports $(tr '\n' ' ' <<<"$imports")"
fi
exit $fail
