#!/usr/bin/env bash
# The DLL in the MSVC C++ ABI (clang-cl and lld-link of LLVM 14), for 32-bit x86 and x64, each
# with its test hosts run under Wine (the x86 ones under 32-bit Wine) in one fresh prefix that is
# removed afterwards. The 32-bit DLL is also inspected: its exports, demangled, against the list
# kept in the repository, every function of the two classes __thiscall, its imports, the install
# layout. Among the hosts is the C host of the ring's C interface, built in the MSVC ABI against
# the MinGW ring DLL of the same architecture: the builds of .ci/steps/50-windows.sh, made here
# when missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
started=$(date +%s)

. scripts/packages.sh
ensure_packages "${SCRIVLET_MSVC_PACKAGES[@]}" "${SCRIVLET_BUILD_PACKAGES[@]}" \
  "${SCRIVLET_TEST_PACKAGES[@]}" "${SCRIVLET_WINDOWS_PACKAGES[@]}"

. .ci/windows/wine.sh

# Every DLL and program imports only DLLs that Windows itself ships (and the hosts this library's
# own DLLs).
check_imports() {
  local file dll bad=0
  for file in "$@"; do
    while read -r dll; do
      case "${dll,,}" in
        kernel32.dll | msvcrt.dll | ucrtbase.dll | scrivlet.dll) ;;
        scrivlet-ring.dll) [[ ${file} == *.exe ]] || bad=1 ;;
        *) bad=1 ;;
      esac
      [[ ${bad} -eq 0 ]] || { echo "error: ${file} imports ${dll}"; return 1; }
    done < <("${LLVM}/llvm-readobj" --coff-imports "${file}" | sed -n 's/^ *Name: //p')
  done
  echo "imports: $# files import only KERNEL32.dll, msvcrt.dll, ucrtbase.dll (and scrivlet.dll," \
    "scrivlet-ring.dll)"
}

# The names a DLL exports, C++ names demangled by llvm-undname, sorted.
demangled_exports() {
  local names
  names=$("${LLVM}/llvm-readobj" --coff-exports "$1" | sed -n 's/^ *Name: \(..*\)$/\1/p')
  {
    grep -v '^?' <<< "${names}" || true
    grep '^?' <<< "${names}" | "${LLVM}/llvm-undname" | awk 'NR % 3 == 2'
  } | LC_ALL=C sort
}

# The 32-bit DLL exports exactly the interface, every function of the classes with __thiscall.
check_exports() {
  local dll=$1 expected=.ci/windows/scrivlet-msvc-x86-exports.txt exported
  exported=$(demangled_exports "${dll}")
  if ! diff -u "${expected}" <(echo "${exported}"); then
    echo "error: the exports of ${dll} differ from ${expected} (- expected, + exported)"
    return 1
  fi
  if grep -E 'TQCLogFileM?_1::[^ (]+\(' <<< "${exported}" | grep -v '__thiscall'; then
    echo "error: the functions above of the classes are not __thiscall"
    return 1
  fi
  echo "exports: $(wc -l < "${expected}") names, as expected; $(grep -c '__thiscall' <<< "${exported}") functions __thiscall"
}

echo "---- the MinGW ring DLLs that the ring's C host links"
for preset in mingw-i686 mingw-x64; do
  [[ -f build/${preset}/build.ninja ]] || cmake --preset "${preset}" > /dev/null
  cmake --build --preset "${preset}" --target scrivlet_ring
done

echo "---- 32-bit DLL in the MSVC ABI"
cmake --preset msvc-x86 > /dev/null
cmake --build --preset msvc-x86
check_exports build/msvc-x86/src/scrivlet.dll
check_imports build/msvc-x86/src/scrivlet.dll build/msvc-x86/tests/*.exe
install=$(mktemp -d /tmp/scrivlet-msvc-install.XXXXXX)
cmake --install build/msvc-x86 --prefix "${install}" > /dev/null
for file in bin/scrivlet.dll lib/scrivlet.lib lib/scrivlet.def include/scrivlet/scrivlet.h; do
  [[ -f ${install}/${file} ]] || { echo "error: the install lacks ${file}"; exit 1; }
done
rm -rf "${install}"
echo "install: bin/scrivlet.dll, lib/scrivlet.lib, lib/scrivlet.def, include/scrivlet/"

echo "---- 64-bit DLL in the MSVC ABI"
cmake --preset msvc-x64 > /dev/null
cmake --build --preset msvc-x64
check_imports build/msvc-x64/src/scrivlet.dll build/msvc-x64/tests/*.exe

echo "---- the test hosts under Wine, x86 and x64"
trap stop_wine EXIT
start_wine "$(mktemp -d /tmp/scrivlet-wine.XXXXXX)"
ctest --preset msvc-x86
ctest --preset msvc-x64

for arch in x86 x64; do
  echo "size: msvc-${arch} scrivlet.dll $(stat -c %s "build/msvc-${arch}/src/scrivlet.dll") bytes"
done
echo "---- msvc step took $(($(date +%s) - started)) s"
