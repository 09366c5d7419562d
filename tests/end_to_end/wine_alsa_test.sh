#!/usr/bin/env bash
# The built player under Wine's own WASAPI, with ALSA devices of several kinds.
# Usage: wine_alsa_test.sh RUNNER BIN-FOLDER
set -uo pipefail
runner=$1
bin=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# Each ALSA set-up: a default device and the whole output the player must print for it. Wine
# refuses every event-driven exclusive stream at Initialize with AUDCLNT_E_DEVICE_IN_USE.
alsa_case() {  # NAME ALSA-CONFIG EXPECTED-OUTPUT
  printf '%s\n' "$2" >"$work/$1.conf"
  local output status
  output=$(EXCLUSIVE_TONE_ALSA_CONFIG="$work/$1.conf" \
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

finish
