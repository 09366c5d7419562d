#!/usr/bin/env bash
# The built programs under Wine: the player against Wine's own WASAPI with ALSA devices of
# several kinds, and the companion against the virtual endpoint.
# Usage: wine_alsa_test.sh RUNNER BIN-FOLDER
set -uo pipefail
runner=$1
bin=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
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

# Each ALSA set-up: a default device and the whole output the player must print for it. Wine
# refuses every event-driven exclusive stream at Initialize with AUDCLNT_E_DEVICE_IN_USE.
alsa_case() {  # NAME ALSA-CONFIG EXPECTED-OUTPUT
  printf '%s\n' "$2" >"$work/$1.conf"
  local output status
  output=$(ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$work/$1.conf" \
           "$runner" "$bin/exclusive-tone.exe" 2>/dev/null)
  status=$?
  check "$1: output" "$3" "$output"
  check "$1: exit code" 0 "$status"
}

alsa_case device-accepting-any-pcm 'pcm.!default { type null }' \
  'PlayExclusiveStream() returned 8889000a'
alsa_case no-default-device 'pcm.!default { type hw card 31 }' \
  'PlayExclusiveStream() returned 80070490'
alsa_case mu-law-only-device 'pcm.!default { type mulaw slave { pcm "null" format S16_LE } }' \
  'PlayExclusiveStream() returned 80004005'

# The companion streams one second on the virtual endpoint, times out, and keeps the tone. At
# least 0.9 s must arrive: a period the player misses while the host stalls is lost, not late.
output=$(cd "$work" && "$runner" "$bin/exclusive-tone-virtual.exe" --seconds 1 --wav tone.wav \
         2>&1 | tr -d '\r')
check "virtual endpoint: output" $'Initialized with buffer of 0.003000sPlayExclusiveStream() returned 5b4\ntone.wav' "$output"
check "virtual endpoint: tone in WAV file" 0 \
  "$(cd "$work" && "$runner" "$bin/wav_tone_check.exe" tone.wav 0.9 >/dev/null; echo $?)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
