#!/usr/bin/env bash
# The Windows builds, each built once with the whole test suite: the 32-bit DLL (also checked: its
# imports and its exports) and the 64-bit DLL, with the ring DLLs and their C interface. Both
# suites run under Wine, the 32-bit one under 32-bit Wine, in one fresh prefix (a 64-bit prefix
# runs 32-bit programs too) that is removed afterwards. .ci/steps/55-msvc.sh reuses both builds'
# ring DLLs.
set -euo pipefail
cd "$(dirname "$0")/../.."
started=$(date +%s)

. scripts/packages.sh
ensure_packages "${SCRIVLET_BUILD_PACKAGES[@]}" "${SCRIVLET_TEST_PACKAGES[@]}" \
  "${SCRIVLET_WINDOWS_PACKAGES[@]}"

. .ci/windows/wine.sh

# Every DLL and program imports only DLLs that Windows itself ships (and the C hosts among the
# tests this library's own DLLs; the ring DLL, which carries its own copy of the core, may
# import the core's all the same).
check_imports() {
  local objdump=$1
  shift
  local file bad=0
  for file in "$@"; do
    while read -r dll; do
      case "${dll,,}" in
        kernel32.dll | msvcrt.dll | scrivlet.dll) ;;
        scrivlet-ring.dll) [[ ${file} == *.exe ]] || bad=1 ;;
        *) bad=1 ;;
      esac
      [[ ${bad} -eq 0 ]] || { echo "error: ${file} imports ${dll}"; return 1; }
    done < <("${objdump}" -p "${file}" | sed -n 's/^\s*DLL Name: //p')
  done
  echo "imports: $# files import only KERNEL32.dll, msvcrt.dll (and scrivlet.dll, scrivlet-ring.dll)"
}

# The names in a DLL's export table (of either architecture), sorted.
exported_names() {
  x86_64-w64-mingw32-objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed '1d' | awk 'NF {print $NF}' | LC_ALL=C sort
}

# The DLL exports exactly the interface: the names in its export table, demangled, against the
# list kept in the repository.
check_exports() {
  local dll=$1 expected=.ci/windows/scrivlet-dll-exports.txt
  if ! diff -u "${expected}" <(exported_names "${dll}" | c++filt -n | LC_ALL=C sort); then
    echo "error: the exports of ${dll} differ from ${expected} (- expected, + exported)"
    return 1
  fi
  echo "exports: $(wc -l < "${expected}") names, as expected"
}

# The ring DLL exports every function of its C interface, as ring_c.h declares them.
check_ring_exports() {
  local dll=$1 header=include/scrivlet/ring_c.h
  if ! diff -u <(grep -o 'ScrivletRing_[A-Za-z]*_1' "${header}" | LC_ALL=C sort -u) \
    <(exported_names "${dll}" | grep '^ScrivletRing_'); then
    echo "error: the C functions that ${dll} exports differ from ${header} (- declared, + exported)"
    return 1
  fi
  echo "exports: ${dll} has the $(grep -c '^ScrivletRing_' <(exported_names "${dll}")) functions of ring_c.h"
}

for preset in mingw-i686 mingw-x64; do
  echo "---- ${preset}: the DLLs and the test suite"
  cmake --preset "${preset}" > /dev/null
  cmake --build --preset "${preset}"
  mapfile -t binaries < <(find "build/${preset}" \( -path "build/${preset}/_deps" -o \
    -name CMakeFiles -o -name _CPack_Packages \) -prune -o \( -name '*.exe' -o -name '*.dll' \) \
    -print)
  check_imports "$([[ ${preset} == mingw-i686 ]] && echo i686 || echo x86_64)-w64-mingw32-objdump" \
    "${binaries[@]}"
  check_ring_exports "build/${preset}/src/ring/scrivlet-ring.dll"
done
check_exports build/mingw-i686/src/scrivlet.dll

echo "---- the test suites under Wine"
trap stop_wine EXIT
start_wine "$(mktemp -d /tmp/scrivlet-wine.XXXXXX)"
ctest --preset mingw-i686
ctest --preset mingw-x64

echo "---- windows step took $(($(date +%s) - started)) s"
