# The chart of bench/run's thread rows (case 6): records/s against threads for the ring, the
# guarded class, spdlog with an fdatasync per record and one thread of raw write-through writes.
# gnuplot -e "data='...'; out='....png'; where='...'" bench/threads.gp
set terminal pngcairo size 800,480 font ",11" noenhanced
set output out
set title "512 B records, each durable when its call returns, on ".where
set xlabel "threads"
set ylabel "records/s"
set logscale x 2
set xrange [1:20]
set xtics ("1" 1, "2" 2, "4" 4, "8" 8, "16" 16)
set key left top
set grid
plot data using 1:2 with linespoints lw 2 title "scrivlet::Ring (group commit)", \
     "" using 1:3 with linespoints lw 2 title "TQCLogFileM_1", \
     "" using 1:($4 > 0 ? $4 : 1/0) with linespoints lw 2 title "spdlog + fdatasync", \
     "" using 1:5 with lines dashtype 2 lw 2 title "raw write-through loop, 1 thread"
