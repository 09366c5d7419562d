#!/usr/bin/env bash
# Draws a captured tone: the first 10 ms of its left channel and the spectrum of its first 4096
# frames, from sox's analysis with gnuplot. Usage: report-capture.sh WAV PNG
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: report-capture.sh WAV PNG" >&2
  exit 2
fi
wav=$(realpath "$1")
png=$(realpath -m "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox "$wav" -t dat - remix 1 trim 0 0.01 | grep -v '^;' >"$work/waveform.dat"
sox "$wav" -n remix 1 trim 0 4096s stat -freq 2>"$work/spectrum.txt"
head -n 2048 "$work/spectrum.txt" >"$work/spectrum.dat"
gnuplot <<PLOT
set terminal pngcairo size 1000,700 noenhanced
set output "$png"
set multiplot layout 2,1 title "exclusive-tone on the virtual endpoint: 500 Hz, full scale"
set title "Waveform, left channel, first 10 ms"
set xlabel "time (ms)"; set ylabel "amplitude"; set yrange [-1.1:1.1]; set grid
plot "$work/waveform.dat" using (\$1*1000):2 with lines notitle
set title "Spectrum, left channel, first 4096 frames"
set xlabel "frequency (Hz)"; set ylabel "level (dB)"; set yrange [*:*]; set logscale x
plot [20:24000] "$work/spectrum.dat" using 1:(10*log10(\$2+1e-12)) with lines notitle
unset multiplot
PLOT
