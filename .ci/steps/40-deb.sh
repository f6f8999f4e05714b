#!/usr/bin/env bash
# The Debian package: builds it with cpack from the default build, installs it with apt-get as a
# user would, runs the installed tool (version, man page, a ring written and read back) and
# removes the package again.
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
)
echo "installed package: ok"
