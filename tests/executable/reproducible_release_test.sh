#!/usr/bin/env bash
# The release is reproducible and complete: two clones of the current commit at different
# paths, built one after the other (so at different times) under different umasks, give the
# same programs, debug files and zip, byte for byte; the zip holds the five files, SHA256SUMS
# verifies them, the shipped programs are stripped and link their debug files, and the player
# passes the file checks with its debug file's symbols.
# Usage: reproducible_release_test.sh SOURCE_DIR OBJDUMP NM
set -euo pipefail
source_dir=$1
objdump=$2
nm=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

commit=$(git -C "$source_dir" rev-parse HEAD)
echo "release of commit $commit (uncommitted changes are not in it)"
build_release() {  # CLONE UMASK: the product only, no GoogleTest, then the archive
  git clone --quiet --local --no-checkout "$source_dir" "$1"
  git -C "$1" checkout --quiet --detach "$commit"
  (
    cd "$1" && umask "$2" && unset SOURCE_DATE_EPOCH &&
      "$source_dir/scripts/quietly" cmake --preset win32 -DEXCLUSIVE_TONE_TESTS=OFF &&
      "$source_dir/scripts/quietly" cmake --build --preset win32 --target dist
  )
}
first=$work/a/exclusive-tone
second=$work/second-place/with-a-longer-name/exclusive-tone-copy
build_release "$first" 022
build_release "$second" 077

name=exclusive-tone-$(sed -nE 's/^project\(exclusive_tone VERSION ([0-9.]+).*/\1/p' \
  "$source_dir/CMakeLists.txt")-win32
failed=0
for file in build/win32/bin/exclusive-tone.exe build/dist/exclusive-tone.exe.debug \
            build/win32/bin/bit-perfect-check.exe build/dist/bit-perfect-check.exe.debug \
            "build/dist/$name.zip"; do
  if ! cmp -s "$first/$file" "$second/$file"; then
    failed=1
    echo "FAILED reproducible: $file differs in $(cmp -l "$first/$file" "$second/$file" |
      wc -l) bytes"
  fi
done

python3 -m zipfile -e "$first/build/dist/$name.zip" "$work/unpacked"
shipped=$work/unpacked/$name
# What it ships (the byte comparison above already shows that dates, modes and order do not
# come from the build: the clones differ in time and umask).
contents=$(cd "$work/unpacked" && find . -type f | LC_ALL=C sort | xargs)
expected="./$name/LICENSE.txt ./$name/README.txt ./$name/SHA256SUMS ./$name/bit-perfect-check.exe ./$name/exclusive-tone.exe"
if [ "$contents" != "$expected" ]; then
  failed=1
  echo "FAILED archive contents: $contents"
fi
(cd "$shipped" && sha256sum --strict -c SHA256SUMS) || failed=1
for program in exclusive-tone bit-perfect-check; do
  if "$objdump" -h "$shipped/$program.exe" | grep -qE ' \.debug_| \.symtab'; then
    failed=1
    echo "FAILED stripped: the shipped $program.exe still carries debug information"
  fi
  if ! "$objdump" -h "$shipped/$program.exe" | grep -q ' \.gnu_debuglink ' ||
     ! strings -a "$shipped/$program.exe" | grep -qxF "$program.exe.debug"; then
    failed=1
    echo "FAILED debug link: the shipped $program.exe names no $program.exe.debug"
  fi
done
debug_file=$first/build/dist/exclusive-tone.exe.debug
"$here/check_executable.sh" "$objdump" "$shipped/exclusive-tone.exe" 32 || failed=1
"$here/check_hardening.sh" "$objdump" "$nm" "$shipped/exclusive-tone.exe" 32 "$debug_file" ||
  failed=1
[ "$failed" = 0 ] && echo "the release is reproducible and complete:" \
  "$(sha256sum "$first/build/dist/$name.zip" | cut -d' ' -f1) $name.zip"
exit "$failed"
