# Sourced by the Windows steps: where LLVM and Wine live, and a Wine prefix of the step's own.
LLVM=/usr/lib/llvm-14/bin
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

# start_wine DIR: a new prefix in DIR (one 64-bit prefix runs 32-bit programs too), its server
# started and the prefix booted. Wine's helper processes inherit the standard streams of the Wine
# process that starts them: started here on /dev/null, they leave ctest's pipes alone.
start_wine() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "${WINEPREFIX}"
  "${WINESERVER}" -p < /dev/null > /dev/null 2>&1
  "${WINE64}" wineboot --init < /dev/null > /dev/null 2>&1
}

# stop_wine: the prefix's server stopped and the prefix removed.
stop_wine() {
  "${WINESERVER}" -k > /dev/null 2>&1 || true
  rm -rf "${WINEPREFIX}"
}
