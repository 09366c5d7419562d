#!/usr/bin/env bash
# The main job on Linux: plays the player's stream on the virtual exclusive endpoint for five
# seconds, keeps what the endpoint received as a WAV file, and analyses and draws it.
# Usage: virtual-run.sh PROGRAM OUTPUT-FOLDER
set -euo pipefail
program=$(realpath "$1")
mkdir -p "$2"
out=$(realpath "$2")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

cd "$out"
rm -f exclusive-tone.wav exclusive-tone.png
"$here/wine64-run" "$program" --seconds 5 --wav exclusive-tone.wav | tr -d '\r' | sed "s|^exclusive-tone.wav$|$out/exclusive-tone.wav|"
[ -f exclusive-tone.wav ] || exit 1

# What an analyser shows of it: the summary line, the verdict and the picture. The verdict
# decides the exit status.
status=0
"$here/../tools/analysis/report-capture.sh" "$out/exclusive-tone.wav" "$out/exclusive-tone.png" || status=$?
[ -f "$out/exclusive-tone.png" ] && echo "$out/exclusive-tone.png"
exit "$status"
