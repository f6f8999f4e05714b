# The chart of bench/run's pipe table: lines/s of each pipe logger in both bursts, and its peak
# resident memory in the large burst and idle. The data file holds three blocks: the 100,000-line
# burst and the 1,000,000-line burst (name, lines/s, peak MB), and the idle run (name, peak MB).
# gnuplot -e "data='...'; out='....png'" bench/pipe.gp
set terminal pngcairo size 1200,520 font ",10" noenhanced
set output out
set multiplot layout 1,2 title "Lines of 20-100 bytes through a pipe: 100,000 into 5 files of 1 MiB, 1,000,000 into 10 files of 10 MiB"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 border -1
set boxwidth 0.9
set grid ytics
set yrange [0:*]
set xtics scale 0 font ",8"
set key left top
set bmargin 5

set title "lines/s (higher is better)"
set format y "%.1s%c"
plot data index 0 using 2:xtic(1) lc rgb "#88aacc" title "100,000 lines", \
     "" index 1 using 2 lc rgb "#4477aa" title "1,000,000 lines"

set title "peak resident memory, MB (lower is better)"
set format y "%.0f"
plot data index 1 using 3:xtic(1) lc rgb "#cc6677" title "1,000,000 lines", \
     "" index 2 using 2 lc rgb "#ddcc77" title "idle (three lines a second apart)"
unset multiplot
