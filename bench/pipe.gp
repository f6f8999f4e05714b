# The chart of bench/run's pipe table: lines/s of each pipe logger on the same input, with what a
# power cut can lose under each bar's name.
# gnuplot -e "data='...'; out='....png'" bench/pipe.gp
set terminal pngcairo size 800,480 font ",11"
set output out
set title "100,000 lines of 20-100 bytes through a pipe into 5 files of 1 MiB"
set ylabel "lines/s"
set style fill solid 0.8
set boxwidth 0.6
set grid ytics
set yrange [0:*]
set format y "%.0s%c"
set xtics scale 0 font ",9"
set bmargin 4
plot data using 0:2:xtic(1) with boxes lc rgb "#4477aa" notitle, \
     "" using 0:2:(sprintf("%.2fM", $2 / 1e6)) with labels offset 0,0.8 notitle
