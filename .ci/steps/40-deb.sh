#!/usr/bin/env bash
# The Debian packages as a user gets them: built by scripts/package-deb, checked by lintian (no
# error, no warning), installed with apt-get (which resolves their dependencies), used from a
# folder outside the checkout (the tool, its man page, a C++ host found with find_package and one
# built with pkg-config's flags, the Python package), then purged; nothing of theirs may be left.
set -euo pipefail
cd "$(dirname "$0")/../.."
started=$(date +%s)
. scripts/packages.sh
ensure_packages "${SCRIVLET_BUILD_PACKAGES[@]}" "${SCRIVLET_TEST_PACKAGES[@]}" \
  "${SCRIVLET_DEB_PACKAGES[@]}"

scripts/package-deb
mapfile -t debs < <(ls build/deb/packages/*.deb)
mapfile -t packages < <(for deb in "${debs[@]}"; do dpkg-deb -f "${deb}" Package; done)
for deb in "${debs[@]}"; do
  dpkg-deb -f "${deb}" Package Architecture Depends | tr '\n' ' ' | sed 's/ $/\n/'
done

echo "---- lintian"
# Anything lintian prints at its default level (errors, warnings) fails; overrides are shown with
# their reasons.
lintian --show-overrides "${debs[@]}" 2>&1 | grep -v '^running with root privileges' |
  tee build/deb/lintian.log || true
if grep -Eq '^[EW]: ' build/deb/lintian.log; then
  echo "error: lintian reports errors or warnings" >&2
  exit 1
fi
echo "lintian: no error, no warning on ${#debs[@]} packages"

echo "---- install"
work=$(mktemp -d)
trap 'apt-get purge -y "${packages[@]}" > /dev/null 2>&1 || true; rm -rf "${work}"' EXIT
# apt-get resolves the packages' own dependencies (libc6, python3, ...) from the archive.
apt-get install -y --no-install-recommends "${debs[@]/#/./}" > /dev/null
for package in "${packages[@]}"; do dpkg -L "${package}"; done | LC_ALL=C sort -u > "${work}/files"
echo "installed: ${packages[*]} ($(wc -l < "${work}/files") paths)"
# The libraries are in ld.so's cache: the ldconfig trigger ran.
ldconfig -p | grep -E 'libscrivlet(-ring)?\.so\.5 ' | sed 's/^\s*/  ld.so cache: /'
test "$(ldconfig -p | grep -cE 'libscrivlet(-ring)?\.so\.5 ')" -eq 2

mkdir "${work}/use"
cp -r tests/package/consumer examples "${work}/use/"
(
  cd "${work}/use"  # nothing of the checkout on the way
  scrivlet --version
  test "$(man -w scrivlet)" = /usr/share/man/man1/scrivlet.1.gz
  printf 'one\ntwo\n' | scrivlet write --folder tool-ring --quiet
  test "$(scrivlet cat --folder tool-ring)" = "$(printf 'one\ntwo')"

  # find_package(Scrivlet): every example, found under /usr and nowhere else, built and run.
  cmake -S consumer -B cmake-build -G Ninja -DSCRIVLET_EXPECTED_PREFIX=/usr \
    -DSCRIVLET_EXAMPLES_DIR="${work}/use/examples" > cmake.log
  cmake --build cmake-build > /dev/null
  for example in quickstart threads ring_c; do
    (cd cmake-build && timeout 20 "./example_${example}" > /dev/null)
  done
  echo "find_package: $(find cmake-build -maxdepth 1 -name 'example_*' -type f | wc -l) hosts built," \
    "quickstart, threads and ring_c run"

  # pkg-config: the ring's host with the flags of scrivlet-ring.
  read -ra flags <<< "$(pkg-config --cflags --libs scrivlet-ring)"
  g++ -std=c++17 -Wall -Werror examples/ring.cpp "${flags[@]}" -o ring-host
  timeout 20 ./ring-host > /dev/null
  echo "pkg-config: $(pkg-config --libs scrivlet-ring); the ring host built and run"

  # The Python package with Debian's python3, finding the library by itself.
  PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c '
import scrivlet
print("python:", scrivlet.__file__)
with scrivlet.Ring("py-ring") as ring:
    ring.write("from python")
'
  test "$(scrivlet cat --folder py-ring)" = "from python"
  # Imported once as root without PYTHONDONTWRITEBYTECODE too: byte code of its own making
  # must not outlive the package either.
  /usr/bin/python3 -c 'import scrivlet.handler'
)

echo "---- purge"
apt-get purge -y "${packages[@]}" > /dev/null
left=0
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${db:Status-Abbrev}' "${package}" 2> /dev/null | grep -q '^[^u]'; then
    echo "error: ${package} is still known to dpkg: $(dpkg -l "${package}" | tail -n 1)" >&2
    left=1
  fi
done
# Every path the packages listed is gone, unless another package owns it (/usr, /usr/share/doc).
while IFS= read -r path; do
  if [[ -e ${path} || -L ${path} ]] && ! dpkg-query -S "${path}" > /dev/null 2>&1; then
    echo "error: ${path} is left behind" >&2
    left=1
  fi
done < <(grep -vx '/\.' "${work}/files")
if ldconfig -p | grep -q libscrivlet; then
  echo "error: ld.so's cache still lists the libraries" >&2
  left=1
fi
[[ ${left} -eq 0 ]]
echo "purged: nothing of the $(wc -l < "${work}/files") paths is left"
echo "---- deb step took $(($(date +%s) - started)) s"
