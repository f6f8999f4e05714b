#!/usr/bin/env bash
# The Windows archives, one per architecture: made by cpack from the MinGW build together with
# the build in the MSVC ABI of the same architecture (the builds of 50-windows.sh and
# 55-msvc.sh, made here when missing), and checked for their parts. Each is then unpacked into a
# temporary folder and hosts are built from it alone through find_package: one in Microsoft's ABI
# with clang-cl and lld-link (the classes and the ring's C interface), one with MinGW's g++ (the
# ring's C++ interface). They run under Wine, the x86 ones under 32-bit Wine, in one fresh prefix
# that is removed afterwards, and the files they wrote are read back.
set -euo pipefail
cd "$(dirname "$0")/../.."
started=$(date +%s)
root=$PWD

. scripts/packages.sh
ensure_packages "${SCRIVLET_MSVC_PACKAGES[@]}" "${SCRIVLET_BUILD_PACKAGES[@]}" \
  "${SCRIVLET_TEST_PACKAGES[@]}" "${SCRIVLET_WINDOWS_PACKAGES[@]}"

. .ci/windows/wine.sh
version=$(sed -n 's/^project(Scrivlet VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)

work=$(mktemp -d /tmp/scrivlet-zip.XXXXXX)
cleanup() {
  stop_wine
  rm -rf "${work}"
}
trap cleanup EXIT
start_wine "${work}/wine"

# expect_record FOLDER TEXT: some file of the ring in FOLDER holds the record TEXT, as the bytes
# the host gave or as the ring's UTF-16LE lines.
expect_record() {
  if ! { find "$1" -type f -exec cat {} + && find "$1" -type f -exec iconv -c -f UTF-16LE \
    -t UTF-8 {} \; 2> /dev/null; } | grep -aF -- "$2" > /dev/null; then
    echo "error: no file in $1 holds \"$2\"" >&2
    ls -lR "$1" >&2
    return 1
  fi
  echo "  $1: $(find "$1" -type f | wc -l) files, \"$2\" among the records"
}

# run_host WINE DIR OUT: runs DIR/host.exe in DIR under WINE, its output (LF line ends) in OUT.
run_host() {
  local status=0
  (cd "$2" && "$1" host.exe < /dev/null) > "$3.raw" 2>&1 || status=$?
  tr -d '\r' < "$3.raw" | tee "$3"
  if [[ ${status} -ne 0 ]]; then
    echo "error: $2/host.exe failed under $1 (status ${status})" >&2
    return 1
  fi
}

# quiet COMMAND...: runs it, showing its output only when it fails.
quiet() {
  "$@" > "${work}/command.log" 2>&1 || { cat "${work}/command.log"; return 1; }
}

for arch in ${SCRIVLET_ZIP_ARCHES:-x86 x64}; do  # all by default
  if [[ ${arch} == x86 ]]; then
    mingw=mingw-i686 triple=i686-w64-mingw32 wine=/usr/lib/wine/wine
  else
    mingw=mingw-x64 triple=x86_64-w64-mingw32 wine=${WINE64}
  fi
  echo "---- ${arch}: the archive"
  # The build in the MSVC ABI reads the MinGW ring DLL's exports when it is configured.
  [[ -f build/${mingw}/build.ninja ]] || cmake --preset "${mingw}" > /dev/null
  cmake --build --preset "${mingw}" --target scrivlet_ring
  cmake --preset "msvc-${arch}" > /dev/null
  cmake --preset "${mingw}" > /dev/null
  zip=build/${mingw}/scrivlet-${version}-windows-${arch}.zip
  rm -f "${zip}"
  (cd "build/${mingw}" && cpack --config CPackConfig.cmake > "${work}/cpack-${arch}.log") ||
    { cat "${work}/cpack-${arch}.log"; exit 1; }
  rm -rf "build/${mingw}/_CPack_Packages"  # cpack's staging: no second copy of the DLLs there
  top=scrivlet-${version}-windows-${arch}
  cmake -E tar tf "${zip}" | LC_ALL=C sort > "${work}/list-${arch}"
  for part in bin/scrivlet.dll bin/scrivlet-ring.dll lib/libscrivlet.dll.a \
    lib/libscrivlet-ring.dll.a lib/scrivlet.def lib/scrivlet-ring.def lib/scrivlet-ring.lib \
    include/scrivlet/scrivlet.h include/scrivlet/scrivlet_export.h include/scrivlet/ring_c.h \
    lib/cmake/Scrivlet/ScrivletConfig.cmake msvc/bin/scrivlet.dll msvc/lib/scrivlet.lib \
    msvc/lib/cmake/Scrivlet/ScrivletTargets.cmake README.txt LICENSE; do
    grep -qx "${top}/${part}" "${work}/list-${arch}" ||
      { echo "error: ${zip} lacks ${part}" >&2; exit 1; }
  done
  echo "${zip}: $(stat -c %s "${zip}") bytes, $(grep -vc '/$' "${work}/list-${arch}") files"

  echo "---- ${arch}: hosts built from the unpacked archive, run under Wine"
  mkdir "${work}/${arch}"
  (cd "${work}/${arch}" && cmake -E tar xf "${root}/${zip}")
  prefix=${work}/${arch}/${top}
  # Microsoft's ABI: the package is found through CMAKE_PREFIX_PATH, as on Windows.
  quiet cmake -S tests/windows-package -B "${work}/${arch}/msvc-host" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="${root}/cmake/toolchain-msvc-${arch}.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="${prefix}" -DSCRIVLET_ARCHIVE="${prefix}" \
    -DSCRIVLET_MSVC_TESTS="${root}/tests/msvc" -DSCRIVLET_DLLTOOL="${LLVM}/llvm-dlltool" \
    -DSCRIVLET_STD_HEADERS="${root}/src/platform/win32/msvc/include"
  quiet cmake --build "${work}/${arch}/msvc-host"
  run_host "${wine}" "${work}/${arch}/msvc-host" "${work}/msvc-${arch}.out"
  grep -qx "host: ok" "${work}/msvc-${arch}.out"
  expect_record "${work}/${arch}/msvc-host/classes" "written through the classes"
  expect_record "${work}/${arch}/msvc-host/ring" "written through ring_c.h"
  # MinGW: its toolchain file searches only the target's tree, so the package is named directly.
  quiet cmake -S tests/windows-package -B "${work}/${arch}/mingw-host" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="${root}/cmake/toolchain-${triple}.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DScrivlet_DIR="${prefix}/lib/cmake/Scrivlet" -DSCRIVLET_ARCHIVE="${prefix}" \
    -DSCRIVLET_EXAMPLES_DIR="${root}/examples"
  quiet cmake --build "${work}/${arch}/mingw-host"
  run_host "${wine}" "${work}/${arch}/mingw-host" "${work}/mingw-${arch}.out"
  grep -q "^100 records in " "${work}/mingw-${arch}.out"
  expect_record "${work}/${arch}/mingw-host/logs/app" "pump 4 step 25"
done

echo "---- windows archive step took $(($(date +%s) - started)) s"
