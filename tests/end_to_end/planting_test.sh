#!/usr/bin/env bash
# A DLL named avrt.dll, planted beside a copy of the player or in the folder it runs from, is
# never loaded, and the player's output does not change. A program that imports avrt.dll by
# name shows first that the loader does take the plant when it looks for avrt.dll there.
# Usage: planting_test.sh RUNNER PLAYER PLANTED-DLL IMPORTER
set -uo pipefail
runner=$(realpath "$1")
player=$(realpath "$2")
planted=$(realpath "$3")
importer=$(realpath "$4")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# A folder holding the plant; the plant marks its load with a file "<its path>.loaded".
planted_folder() {  # NAME
  mkdir "$work/$1" && cp "$planted" "$work/$1/avrt.dll"
}
loads() {  # NAME
  find "$work/$1" -maxdepth 1 -iname '*.loaded' | wc -l
}

planted_folder importer && cp "$importer" "$work/importer/"
(cd "$work/importer" && "$runner" "./$(basename "$importer")" >/dev/null 2>&1)
check "a program importing avrt.dll by name loads the plant" 1 "$(loads importer)"

expected='PlayExclusiveStream() returned 8889000a'  # Wine's ALSA driver: device in use
output=$("$runner" "$player" 2>/dev/null)
check "player without a plant: output" "$expected" "$output"

planted_folder beside && cp "$player" "$work/beside/"
output=$(cd "$work/beside" && "$runner" "./$(basename "$player")" 2>/dev/null)
status=$?
check "plant beside the player: output unchanged" "$expected" "$output"
check "plant beside the player: exit code" 0 "$status"
check "plant beside the player: not loaded" 0 "$(loads beside)"

planted_folder current
output=$(cd "$work/current" && "$runner" "$player" 2>/dev/null)
check "plant in the current folder: output unchanged" "$expected" "$output"
check "plant in the current folder: not loaded" 0 "$(loads current)"

finish
