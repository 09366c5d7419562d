#!/usr/bin/env bash
# Checks the hardening of a built exclusive-tone.exe that its code and sections show (the
# header flags are check_executable.sh's): no section both writable and executable, the stack
# protector linked in and used, and in a 32-bit image no SEH frame, which its NO_SEH flag
# promises the loader.
# Usage: check_hardening.sh OBJDUMP NM EXE 32|64 [SYMBOLS]
# SYMBOLS is the file with the symbol table: EXE itself (the default) or a stripped EXE's
# debug file.
set -uo pipefail
objdump=$1
nm=$2
exe=$3
bits=$4
symbol_file=${5:-$3}
passed=0
failed=0
fail() { failed=$((failed + 1)); echo "FAILED $1"; }

# No section both writable and executable (W^X), from the characteristics of each header.
u32() { od -An -t u4 -j "$1" -N 4 "$exe" | tr -d ' '; }
u16() { od -An -t u2 -j "$1" -N 2 "$exe" | tr -d ' '; }
pe=$(u32 60)
section_count=$(u16 $((pe + 6)))
section_table=$((pe + 24 + $(u16 $((pe + 20)))))
before=$failed
for ((i = 0; i < section_count; i++)); do
  flags=$(u32 $((section_table + 40 * i + 36)))
  if (((flags & 0x20000000) && (flags & 0x80000000))); then  # MEM_EXECUTE and MEM_WRITE
    name=$(dd if="$exe" bs=1 skip=$((section_table + 40 * i)) count=8 2>/dev/null | tr -d '\0')
    fail "W^X: section $name is writable and executable"
  fi
done
[ "$failed" = "$before" ] && [ "$section_count" -gt 2 ] && passed=$((passed + 1))

# Every instruction with the function it lies in, from the symbol table: "function<TAB>code".
symbols=$("$nm" -n "$symbol_file") || { echo "cannot read the symbols of $symbol_file"; exit 1; }
code=$("$objdump" -d --no-show-raw-insn "$exe") || { echo "cannot disassemble $exe"; exit 1; }
width=$(awk '$1 ~ /^[0-9a-f]+$/ { print length($1); exit }' <<<"$symbols")
annotated=$(
  {
    # Functions, and the exception tables that lie in .text, not the section symbols.
    awk '$2 ~ /^[Tt]$/ && $3 !~ /^\.text/ { print $1 " S " $3 }' <<<"$symbols"
    awk -v width="$width" '/^ +[0-9a-f]+:\t/ {
      address = $1; sub(/^ +/, "", address); sub(/:$/, "", address)
      while (length(address) < width) address = "0" address
      $1 = ""; sub(/^ /, ""); print address " I " $0 }' <<<"$code"
  } | LC_ALL=C sort -s -k1,1 -k2,2r |
    awk '$2 == "S" { owner = $3; next } { $1 = ""; $2 = ""; sub(/^  /, ""); print owner "\t" $0 }'
)

# The stack protector: its guard and handler in the image (linked in: no DLL brings them),
# and main, whose tone generator lives on its stack, reading the guard (directly, or through
# the pointer to it that the runtime's pseudo-relocation keeps, .refptr).
guard=$(awk '$3 ~ /^_?__stack_chk_guard$/ && $2 ~ /^[BbDd]$/ { sub(/^0+/, "", $1); print $1 }' \
  <<<"$symbols")
guard_pointer=$(awk '$3 ~ /^\.refptr\._?__stack_chk_guard$/ { sub(/^0+/, "", $1); print $1 }' \
  <<<"$symbols")
if [ -z "$guard" ] || ! grep -qE ' [Tt] _?__stack_chk_fail$' <<<"$symbols"; then
  fail "stack protector: no guard or handler in the image"
elif grep -qE "^_?main	.*(0x|# )(${guard}${guard_pointer:+|$guard_pointer})\b" <<<"$annotated"
then
  passed=$((passed + 1))
else
  fail "stack protector: main does not check the guard"
fi

if [ "$bits" = 32 ]; then
  # No SEH frame: i386 code registers one by linking it into the exception list at the head
  # of the thread's TEB, %fs:0, directly or through the TEB's own address at %fs:0x18. So
  # every %fs access must be one known to do something else: the runtime's start-up reads
  # the TEB's address to take the stack base (at offset 4) as the thread's identity.
  known='___tmainCRTStartup	mov %fs:0x18,%eax'
  before=$failed
  while IFS= read -r line; do
    case "$line" in
      "$known") ;;
      .gcc_except_table*) ;;  # exception tables, data that objdump decodes as code
      *) fail "SEH: an unexamined TEB access: $line" ;;
    esac
  done < <(grep '%fs:' <<<"$annotated")
  [ "$failed" = "$before" ] && passed=$((passed + 1))
  # The C++ runtime unwinds through DWARF-2 tables (the personality routine of those, no SJLJ
  # registration), so throwing needs no SEH frame either.
  if grep -qE ' ___gxx_personality_v0$' <<<"$symbols" && ! grep -q 'SjLj' <<<"$symbols"; then
    passed=$((passed + 1))
  else
    fail "SEH: the C++ runtime does not unwind with DWARF-2 tables"
  fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
