# The picture of a captured tone, from the files `capture-analysis --plot-data FOLDER` writes.
# Usage: gnuplot -e "data='FOLDER'; output='PICTURE.png'" capture-picture.gp
set terminal pngcairo size 1200,1100 font "sans,10" noenhanced
set output output
load data . "/variables.gp"
figures = system("cat '" . data . "/figures.txt'")
waveform = data . "/waveform.dat"
spectrum = data . "/spectrum.dat"
harmonics = data . "/harmonics.dat"
channel_name(i) = channels == 2 ? (i == 1 ? "left" : "right") : sprintf("channel %d", i)
channel_colour(i) = i == 1 ? "#1f5fbf" : "#e08000"
shown = identical ? 1 : channels
width = code_bits == valid_bits ? sprintf("%d-bit", code_bits) : sprintf("%d-in-%d-bit", valid_bits, code_bits)

set multiplot
# The figures, in red when the analysis flags the capture.
set label 1 sprintf("Captured tone: %s, %d channel%s, %d Hz", width, channels, \
    channels == 1 ? "" : "s", sample_rate) at screen 0.5, 0.98 center font "sans,14"
set label 2 figures at screen 0.07, 0.955 left font "sans,10.5" \
    textcolor rgb (passed ? "#1a1a1a" : "#b00000")

# The first 10 ms: five cycles of the tone.
set origin 0, 0.56
set size 1, 0.28
set lmargin 12; set rmargin 4
set title "Waveform, first 10 ms" . (identical && channels > 1 ? ", all channels (identical)" : "")
set xlabel "time (ms)"
set ylabel "amplitude (full scale)"
set xrange [0:10]; set yrange [-1.15:1.15]; set ytics 0.5; set xtics 1
set grid
if (shown == 1) { unset key } else { set key horizontal at graph 1, graph 1.12 right }
plot for [i=1:shown] waveform using 1:(column(i + 1)) with lines lw 1.5 \
     lc rgb channel_colour(i) title channel_name(i)
unset label 1; unset label 2

# The spectrum: no window, a whole number of the tone's periods.
set origin 0, 0
set size 1, 0.56
set title sprintf("Spectrum in dBFS, %d frames (whole periods of the tone), no window", spectrum_frames)
set xlabel "frequency (Hz)"
set ylabel "level (dBFS: 0 dBFS is a full-scale sine)"
set logscale x
set xrange [20:24000]
set xtics ("20" 20, "50" 50, "100" 100, "200" 200, "500" 500, "1k" 1000, "2k" 2000, \
           "5k" 5000, "10k" 10000, "20k" 20000)
set yrange [-260:20]; set ytics 20; set mytics 2
set key default
set key inside vertical top right box opaque samplen 2
set style textbox opaque noborder
set arrow 1 from 20, ideal_bin_dbfs to 24000, ideal_bin_dbfs nohead dt 2 lw 1.5 lc rgb "#2ca02c" front
set label 3 sprintf("ideal %d-bit quantiser, per bin: %.1f dBFS", code_bits, ideal_bin_dbfs) \
    at 25, ideal_bin_dbfs + 7 left textcolor rgb "#2ca02c" front boxed
plot for [i=1:shown] spectrum using 1:(column(i + 1) < -260 ? -260 : column(i + 1)) \
         with lines lw 1 lc rgb channel_colour(i) \
         title (identical && channels > 1 ? "all channels" : channel_name(i)), \
     harmonics using 2:3 with points pt 7 ps 1 lc rgb "#c00000" \
         title (shown > 1 ? "tone and harmonics (left)" : "tone and harmonics"), \
     harmonics using 2:3:4 with labels offset 0, 1.2 font "sans,9" notitle
unset multiplot
