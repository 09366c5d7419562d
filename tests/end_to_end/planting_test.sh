#!/usr/bin/env bash
# A DLL named avrt.dll, planted beside a copy of the player or in the folder it runs from, is
# never loaded, and the player's output does not change. The player runs on the endpoint DLL's
# typical HD-audio device, where it reaches the scheduler registration and so the run-time load
# of avrt.dll. A program that imports avrt.dll by name shows first that the loader does take the
# plant when it looks for avrt.dll there.
# Usage: planting_test.sh 32|64 RUNNER PLAYER PLANTED-DLL IMPORTER
set -uo pipefail
arch=$1
runner=$(realpath "$2")
player=$(realpath "$3")
planted=$(realpath "$4")
importer=$(realpath "$5")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
source "$here/checks.sh"
source "$repo/scripts/wine-env.sh"

# The runs share one session of the endpoint's prefix, ended with the test (see
# endpoint_profiles_test.sh); the importer runs in the project's own prefix.
if [ "$arch" = 32 ]; then prefix=$EXCLUSIVE_TONE_ENDPOINT_WINEPREFIX32; else prefix=$EXCLUSIVE_TONE_ENDPOINT_WINEPREFIX; fi
WINEPREFIX=$prefix timeout 60 "$WINESERVER64" -w || WINEPREFIX=$prefix "$WINESERVER64" -k
trap 'WINEPREFIX=$prefix "$WINESERVER64" -k 2>/dev/null; rm -rf "$work"' EXIT

# A folder holding the plant; the plant marks its load with a file "<its path>.loaded".
planted_folder() {  # NAME
  mkdir "$work/$1" && cp "$planted" "$work/$1/avrt.dll"
}
loads() {  # NAME
  find "$work/$1" -maxdepth 1 -iname '*.loaded' | wc -l
}
play() {  # EXE: the player on the typical device, briefly
  "$repo/scripts/endpoint-play" --profile typical-hd --arch "$arch" --fast --seconds 0.1 \
    --keep-session "$1" 2>/dev/null
}

planted_folder importer && cp "$importer" "$work/importer/"
(cd "$work/importer" && "$runner" "./$(basename "$importer")" >/dev/null 2>&1)
check "a program importing avrt.dll by name loads the plant" 1 "$(loads importer)"

expected='Initialized with buffer of 0.003000sPlayExclusiveStream() returned 5b4'
output=$(play "$player")
check "player without a plant: output" "$expected" "$output"

# The copy keeps the endpoint DLL beside it, where endpoint-play registers it from.
planted_folder beside && cp "$player" "$(dirname "$player")/exclusive-tone-endpoint.dll" "$work/beside/"
output=$(cd "$work/beside" && play "./$(basename "$player")")
status=$?
check "plant beside the player: output unchanged" "$expected" "$output"
check "plant beside the player: exit code" 0 "$status"
check "plant beside the player: not loaded" 0 "$(loads beside)"

planted_folder current
output=$(cd "$work/current" && play "$player")
status=$?
check "plant in the current folder: output unchanged" "$expected" "$output"
check "plant in the current folder: exit code" 0 "$status"
check "plant in the current folder: not loaded" 0 "$(loads current)"

finish
