#!/usr/bin/env bash
# The main job on Linux: plays the player's stream on the virtual exclusive endpoint for five
# seconds, keeps what the endpoint received as a WAV file and draws its waveform and spectrum.
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

# The first 10 ms of the left channel (five cycles), and the spectrum of its first 4096 frames.
sox exclusive-tone.wav -t dat - remix 1 trim 0 0.01 | grep -v '^;' >waveform.dat
sox exclusive-tone.wav -n remix 1 trim 0 4096s stat -freq 2>spectrum.txt
head -n 2048 spectrum.txt >spectrum.dat
gnuplot <<PLOT
set terminal pngcairo size 1000,700 noenhanced
set output "$out/exclusive-tone.png"
set multiplot layout 2,1 title "exclusive-tone on the virtual endpoint: 500 Hz, full scale"
set title "Waveform, left channel, first 10 ms"
set xlabel "time (ms)"; set ylabel "amplitude"; set yrange [-1.1:1.1]; set grid
plot "waveform.dat" using (\$1*1000):2 with lines notitle
set title "Spectrum, left channel, first 4096 frames"
set xlabel "frequency (Hz)"; set ylabel "level (dB)"; set yrange [*:*]; set logscale x
plot [20:24000] "spectrum.dat" using 1:(10*log10(\$2+1e-12)) with lines notitle
unset multiplot
PLOT
rm -f waveform.dat spectrum.txt spectrum.dat
echo "$out/exclusive-tone.png"
