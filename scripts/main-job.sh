#!/usr/bin/env bash
# The main job (make run): the shipped executable plays on the typical-hd device profile for five
# seconds in real time, through its real imports and COM activation under Wine; then the path
# of the WAV file of every frame the device received, its analysis, its bit-perfect check and
# the path of its picture.
# The 32-bit build plays where this machine runs it under 32-bit Wine, else the 64-bit one.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here/.."
seconds=5
out=build/run

if reason=$(scripts/wine32-ready); then
  arch=32
elif [ $? -eq 1 ]; then
  arch=64
else
  exit 1
fi
exe=build/win$arch/bin/exclusive-tone.exe
echo "playing $exe on typical-hd ($seconds s)"
[ "$arch" = 32 ] || echo "the 64-bit build plays because $reason"

scripts/quietly cmake --preset win$arch
scripts/quietly cmake --build --preset win$arch --target exclusive-tone exclusive-tone-endpoint

mkdir -p "$out"
rm -f "$out/exclusive-tone.png"
scripts/endpoint-play --profile typical-hd --arch $arch --seconds $seconds \
  --wav "$out/exclusive-tone.wav" --log "$out/endpoint-calls.log" "$exe"
echo
[ -f "$out/exclusive-tone.wav" ] || { echo "no WAV file: the stream never started" >&2; exit 1; }
realpath "$out/exclusive-tone.wav"
# What an analyser shows of it: the summary line, the verdict and the picture; then whether it
# holds the tone's codes exactly, which it must from tone frame 0 on. Both verdicts decide the
# exit status.
status=0
tools/analysis/report-capture.sh "$out/exclusive-tone.wav" "$out/exclusive-tone.png" || status=$?
scripts/quietly cmake --build --preset host --target bit-perfect-check
check=$(build/host/bin/bit-perfect-check "$out/exclusive-tone.wav") || status=1
echo "$check"
case "$check" in
  "bit-perfect: yes, "*" from capture frame 0 = tone frame 0"*) ;;
  *) echo "the capture does not hold the tone exactly from tone frame 0" >&2; status=1 ;;
esac
[ -f "$out/exclusive-tone.png" ] && realpath "$out/exclusive-tone.png"
exit "$status"
