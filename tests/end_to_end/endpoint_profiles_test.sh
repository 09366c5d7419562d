#!/usr/bin/env bash
# The shipped player through its real imports and COM activation, on the endpoint DLL's device
# profiles (tests/data/endpoint_profiles.tsv): its exact output and exit code, the tone it
# delivered, no reference to the endpoint left when the process ended, and a row for every
# profile the DLL knows; then a player that leaks its stream. Usage: endpoint_profiles_test.sh 32|64 BIN-FOLDER RUNNER
set -uo pipefail
arch=$1
bin=$(realpath "$2")
runner=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
source "$here/checks.sh"
source "$repo/scripts/wine-env.sh"

# The test's own Wine prefixes, one pair per build folder, so that it never disturbs a session
# it did not start: a make run, or a test of another clone. Runs of the same build take turns.
id=$(printf '%s' "$bin" | sha256sum | cut -c1-16)
export EXCLUSIVE_TONE_WINEPREFIX=$EXCLUSIVE_TONE_CACHE/test-$id/wine
export EXCLUSIVE_TONE_WINEPREFIX32=$EXCLUSIVE_TONE_CACHE/test-$id/wine32
mkdir -p "$EXCLUSIVE_TONE_CACHE/test-$id"
exec 7>"$EXCLUSIVE_TONE_CACHE/test-$id/lock"
flock 7
touch "$EXCLUSIVE_TONE_CACHE/test-$id/lock"
# A prefix takes about 700 MB: those of builds not tested for two weeks go, unless in use.
for old in "$EXCLUSIVE_TONE_CACHE"/test-*/lock; do
  [ -n "$(find "$old" -mtime +14 2>/dev/null)" ] || continue
  (flock -n 6 && rm -rf "$(dirname "$old")") 6>>"$old"
done
if [ "$arch" = 32 ]; then prefix=$EXCLUSIVE_TONE_WINEPREFIX32-endpoint; else prefix=$EXCLUSIVE_TONE_WINEPREFIX-endpoint; fi

# Each new Wine session boots its services first: a few seconds natively, minutes under an
# emulator. So one session of the endpoint's prefix serves every row, the tone checks included,
# and ends with the test. A server left from an earlier run of this test would keep its own
# time-out: wait until it has gone, or end it if it stays (a test killed before it could end it).
export WINEPREFIX=$prefix
timeout 60 "$WINESERVER64" -w 7>&- || "$WINESERVER64" -k
trap '"$WINESERVER64" -k 2>/dev/null; rm -rf "$work"' EXIT

# One row, played once; PRODUCTS, when not empty, names the arithmetic of the sine's products.
play_row() {  # LABEL PRODUCTS (and the row's fields)
  local label=$1 products=$2 start output status tenths known known_profile
  start=$(date +%s%N)
  # shellcheck disable=SC2086  # options are words
  output=$(${products:+env EXCLUSIVE_TONE_SINE_PRODUCTS=$products} \
           "$repo/scripts/endpoint-play" --profile "$profile" --arch "$arch" $options --keep-session \
           --wav "$work/run.wav" --log "$work/run.log" "$bin/exclusive-tone.exe" 2>"$work/errors" 7>&-)
  status=$?
  tenths=$((($(date +%s%N) - start) / 100000000))
  echo "$label: $((tenths / 10)).$((tenths % 10)) s"
  check "$label: output" "$expected" "$output"
  check "$label: exit code" 0 "$status"
  [ "$status" = 0 ] || sed "s/^/  $label, standard error: /" "$work/errors"
  if [ "$references" != - ]; then
    check "$label: references left at exit" "outstanding references: $references" \
          "$(tail -n 1 "$work/run.log" 2>/dev/null)"
  fi
  if [ "$tone_seconds" != - ]; then
    check "$label: tone in WAV file" 0 \
          "$(cd "$work" && EXCLUSIVE_TONE_WINEPREFIX=$prefix EXCLUSIVE_TONE_WINEPREFIX32=$prefix \
               "$runner" "$bin/wav_tone_check.exe" run.wav "$tone_seconds" >/dev/null 7>&-; echo $?)"
  fi
  if [ "$profile" = studio-monitor ]; then
    # The DLL names the profiles it knows: each must have a row.
    known=$(sed -n 's/.*no device profile named "studio-monitor"; there are //p' "$work/errors" | tr -d '\r')
    check "$label: the DLL names its profiles" yes "$([ -n "$known" ] && echo yes || echo no)"
    for known_profile in ${known//,/ }; do
      check "profile $known_profile has a row" yes \
            "$([[ "$tested" == *" $known_profile "* ]] && echo yes || echo no)"
    done
  fi
}

tested=' '
while IFS=$'\t' read -r name profile options expected tone_seconds references; do
  case "$name" in '#'* | '') continue ;; esac
  tested+="$profile "
  if [ "$tone_seconds" = - ]; then
    play_row "$name" ""
  else
    # The tone itself, with each arithmetic of the sine's products: the same bytes from both.
    play_row "$name (dekker)" dekker
    play_row "$name (fused)" fused
  fi
done <"$repo/tests/data/endpoint_profiles.tsv"

# A player that returns with its stream running and every reference held still ends normally
# (a time-out would show a hang at exit), and the log names what it left.
output=$(timeout 120 "$repo/scripts/endpoint-play" --profile typical-hd --arch "$arch" --seconds 5 \
         --keep-session --log "$work/run.log" "$bin/leaking_player.exe" 2>"$work/errors")
status=$?
check "leaking player: output" "" "$output"
check "leaking player: exit code" 0 "$status"
check "leaking player: references left at exit" \
      "outstanding references: 4 (IAudioClient 1, IAudioRenderClient 1, IMMDevice 1, IMMDeviceEnumerator 1)" \
      "$(tail -n 1 "$work/run.log" 2>/dev/null)"

finish
