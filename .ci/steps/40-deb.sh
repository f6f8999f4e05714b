#!/usr/bin/env bash
# The Debian package: builds it with cpack from the default build, installs it with apt-get as a
# user would, runs the installed tool (version, man page, a ring written and read back) and the
# Python package's tests with Debian's python3 against the installed package, and removes the
# package again, its Python byte code included.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/packages.sh
ensure_packages "${SCRIVLET_BUILD_PACKAGES[@]}" "${SCRIVLET_TEST_PACKAGES[@]}" \
  "${SCRIVLET_DEB_PACKAGES[@]}"

cmake --preset default >/dev/null
cmake --build --preset default
rm -f build/default/scrivlet_*.deb
(cd build/default && cpack -G DEB >/dev/null)
deb=$(ls build/default/scrivlet_*.deb)
echo "package: ${deb}"
dpkg-deb --info "${deb}" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\):/  \1:/p'

root=$PWD
work=$(mktemp -d)
trap 'apt-get purge -y scrivlet >/dev/null 2>&1 || true; rm -rf "${work}"' EXIT
apt-get install -y "./${deb}" >/dev/null
(
  cd "${work}"  # nothing of the build tree on the way
  /usr/bin/scrivlet --version
  man -w scrivlet
  test -f /usr/share/bash-completion/completions/scrivlet
  printf 'one\ntwo\n' | /usr/bin/scrivlet write --folder ring --quiet
  test "$(/usr/bin/scrivlet cat --folder ring)" = "$(printf 'one\ntwo')"
  pkg-config --exists scrivlet scrivlet-ring
  test "$(/usr/bin/python3 -c 'import scrivlet; print(scrivlet.__file__)')" = \
    /usr/lib/python3/dist-packages/scrivlet/__init__.py
  /usr/bin/python3 -c 'import ctypes.util; print(ctypes.util.find_library("scrivlet-ring"))' |
    grep -x libscrivlet-ring.so.5
)
# On the working file system, where threads have writes to share; the library found by the
# system's search.
python_tests=${root}/build/default/python-deb
rm -rf "${python_tests}" && mkdir -p "${python_tests}"
(cd "${python_tests}" && env -u SCRIVLET_RING_LIBRARY SCRIVLET_TOOL=/usr/bin/scrivlet \
  PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m pytest -p no:cacheprovider -q --basetemp=tmp \
  "${root}/tests/python")
apt-get purge -y scrivlet >/dev/null
test ! -e /usr/lib/python3/dist-packages/scrivlet
echo "installed package: ok"
