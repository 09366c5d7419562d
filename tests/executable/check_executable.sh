#!/usr/bin/env bash
# Checks a built exclusive-tone.exe as a file: one self-contained console executable for
# Windows Vista or later, with ASLR, DEP and the header flags of the hardening, no link time,
# importing only its three KnownDLLs, and carrying its version resource.
# Usage: check_executable.sh OBJDUMP EXE 32|64
set -uo pipefail
objdump=$1
exe=$2
bits=$3
headers=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }
passed=0
failed=0

expect() {  # NAME PATTERN: a line of the headers must match the extended regular expression
  if grep -qE "$2" <<<"$headers"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED $1: no header line matches /$2/"
  fi
}

if [ "$bits" = 32 ]; then
  expect "PE32 for i386" 'file format pei-i386$'
  expect "PE32 magic" '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)'
  expect "no SEH handler in the image (the 32-bit safe-handler rule)" '^[[:space:]]+NO_SEH$'
else
  expect "PE32+ for x86-64" 'file format pei-x86-64$'
  expect "PE32+ magic" '^Magic[[:space:]]+020b[[:space:]]+\(PE32\+\)'
  expect "high-entropy ASLR" '^[[:space:]]+HIGH_ENTROPY_VA$'
fi
expect "console subsystem" '^Subsystem[[:space:]]+00000003[[:space:]]+\(Windows CUI\)'
expect "subsystem version 6" '^MajorSubsystemVersion[[:space:]]+6$'
expect "subsystem version .0" '^MinorSubsystemVersion[[:space:]]+0$'
expect "OS version 6" '^MajorOSystemVersion[[:space:]]+6$'
expect "OS version .0" '^MinorOSystemVersion[[:space:]]+0$'
expect "ASLR" '^[[:space:]]+DYNAMIC_BASE$'
expect "DEP" '^[[:space:]]+NX_COMPAT$'
expect "terminal-server aware" '^[[:space:]]+TERMINAL_SERVICE_AWARE$'
expect "no link time in the header" '^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970$'

# Imports: three KnownDLLs, from Vista on. The loader maps those from the system folder and
# looks for any other imported DLL in the program's own folder first, where anyone may have put
# a file of that name (no MinGW runtime DLLs either: the .exe runs on its own, and the stack
# protector's runtime is the program's own, not libssp's, which would import advapi32).
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | xargs)
if [ "$imports" = "kernel32.dll msvcrt.dll ole32.dll" ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAILED imports: '$imports', not kernel32, msvcrt and ole32"
fi

# The version resource, as UTF-16 strings.
resource=$(strings -el "$exe" | tr '\n' '|')
for field in 'ProductName|exclusive-tone' 'ProductVersion|[0-9]+\.[0-9]+\.[0-9]+' \
             'FileDescription|Exclusive-mode WASAPI 500 Hz test tone'; do
  if grep -qE "\|$field\|" <<<"|$resource"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); echo "FAILED version resource: no ${field%%|*}"
  fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
