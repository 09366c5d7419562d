#!/usr/bin/env bash
# The shipped player through its real imports and COM activation, on every device profile of
# the endpoint DLL (tests/data/endpoint_profiles.tsv): its exact output and exit code, the tone
# it delivered, and no reference to the endpoint left when the process ended.
# Usage: endpoint_profiles_test.sh 32|64 BIN-FOLDER RUNNER
set -uo pipefail
arch=$1
bin=$(realpath "$2")
runner=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

check() {  # NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}

while IFS=$'\t' read -r profile expected tone_seconds; do
  case "$profile" in '#'* | '') continue ;; esac
  start=$(date +%s%N)
  # Fast pacing: the tone as fast as the player takes it (a fifth of a second where it is not
  # compared), then the 2 s time-out.
  seconds=$([ "$tone_seconds" = - ] && echo 0.2 || echo "$tone_seconds")
  output=$("$repo/scripts/endpoint-play" --profile "$profile" --arch "$arch" --seconds "$seconds" --fast \
           --wav "$work/$profile.wav" --log "$work/$profile.log" "$bin/exclusive-tone.exe")
  status=$?
  tenths=$((($(date +%s%N) - start) / 100000000))
  echo "$profile: $((tenths / 10)).$((tenths % 10)) s"
  check "$profile: output" "$expected" "$output"
  check "$profile: exit code" 0 "$status"
  if [ "$profile" != none ]; then
    check "$profile: references left at exit" "outstanding references: 0" \
          "$(tail -n 1 "$work/$profile.log" 2>/dev/null)"
  fi
  if [ "$tone_seconds" != - ]; then
    check "$profile: tone in WAV file" 0 \
          "$(cd "$work" && "$runner" "$bin/wav_tone_check.exe" "$profile.wav" "$tone_seconds" \
             >/dev/null; echo $?)"
  fi
done <"$repo/tests/data/endpoint_profiles.tsv"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
