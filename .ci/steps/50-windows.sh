#!/usr/bin/env bash
# The Windows builds: the 32-bit DLL (built and checked: its imports and its exports), and the
# 64-bit DLL with the whole test suite, run under Wine in a fresh prefix that is removed
# afterwards.
set -euo pipefail
cd "$(dirname "$0")/../.."
started=$(date +%s)

. scripts/packages.sh
ensure_packages "${SCRIVLET_BUILD_PACKAGES[@]}" "${SCRIVLET_TEST_PACKAGES[@]}" \
  "${SCRIVLET_WINDOWS_PACKAGES[@]}"

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

# Every DLL and program imports only DLLs that Windows itself ships (and the C hosts among the
# tests this library's own DLL).
check_imports() {
  local objdump=$1
  shift
  local file bad=0
  for file in "$@"; do
    while read -r dll; do
      case "${dll,,}" in
        kernel32.dll | msvcrt.dll | scrivlet.dll) ;;
        *)
          echo "error: ${file} imports ${dll}"
          bad=1
          ;;
      esac
    done < <("${objdump}" -p "${file}" | sed -n 's/^\s*DLL Name: //p')
  done
  [[ ${bad} -eq 0 ]] && echo "imports: $# files import only KERNEL32.dll, msvcrt.dll (and scrivlet.dll)"
  return ${bad}
}

# The DLL exports exactly the interface: the names in its export table, demangled, against the
# list kept in the repository.
check_exports() {
  local dll=$1 expected=.ci/windows/scrivlet-dll-exports.txt
  if ! diff -u "${expected}" <(i686-w64-mingw32-objdump -p "${dll}" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed '1d' | awk 'NF {print $NF}' |
    c++filt -n | LC_ALL=C sort); then
    echo "error: the exports of ${dll} differ from ${expected} (- expected, + exported)"
    return 1
  fi
  echo "exports: $(wc -l < "${expected}") names, as expected"
}

echo "---- 32-bit DLL"
cmake --preset mingw-i686
cmake --build --preset mingw-i686
check_imports i686-w64-mingw32-objdump build/mingw-i686/src/scrivlet.dll
check_exports build/mingw-i686/src/scrivlet.dll

echo "---- 64-bit DLL and the test suite"
cmake --preset mingw-x64
cmake --build --preset mingw-x64
mapfile -t binaries < <(find build/mingw-x64 -path build/mingw-x64/_deps -prune -o \
  \( -name '*.exe' -o -name '*.dll' \) -print)
check_imports x86_64-w64-mingw32-objdump "${binaries[@]}"

echo "---- the test suite under Wine"
WINEPREFIX=$(mktemp -d /tmp/scrivlet-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  "${WINESERVER}" -k > /dev/null 2>&1 || true
  rm -rf "${WINEPREFIX}"
}
trap cleanup EXIT
# Wine's helper processes inherit the standard streams of the Wine process that starts them:
# started here on /dev/null, they leave ctest's pipes alone.
"${WINESERVER}" -p < /dev/null > /dev/null 2>&1
"${WINE}" wineboot --init < /dev/null > /dev/null 2>&1
ctest --preset mingw-x64

echo "---- windows step took $(($(date +%s) - started)) s"
