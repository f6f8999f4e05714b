#!/usr/bin/env bash
# The Python package as a user installs it: `pip install ./bindings/python` from the checkout,
# offline, with Debian's python3, pip and setuptools; then the package's pytest suite against the
# installed package (not the checkout), this build's ring library and the scrivlet tool. (The
# README's Python example is run by the docs check.)
#
# Debian's python3 is externally managed (PEP 668): pip does not install into it, so the package
# goes into a virtual environment. It is made --without-pip (no python3-venv needed) and with
# --system-site-packages, so that Debian's pip, setuptools and pytest serve it; --no-build-isolation
# has pip build with that setuptools instead of fetching one, and --no-index keeps it off the
# network. (Outside a venv, --break-system-packages would do it, into /usr/local, behind dpkg's
# back.)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
. scripts/packages.sh
ensure_packages "${SCRIVLET_BUILD_PACKAGES[@]}" "${SCRIVLET_TEST_PACKAGES[@]}" \
  "${SCRIVLET_PYTHON_PACKAGES[@]}"

cmake --preset default >/dev/null
cmake --build --preset default --target scrivlet_ring scrivlet_tool

work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT
/usr/bin/python3 -m venv --without-pip --system-site-packages "${work}/venv"
python=${work}/venv/bin/python
"${python}" -m pip --version
"${python}" -m pip install --no-index --no-build-isolation ./bindings/python

# In a folder of the working file system (group commit needs writes that take time), away from
# the checkout's package.
tests=${root}/build/default/python-installed
rm -rf "${tests}" && mkdir -p "${tests}"
cd "${tests}"
installed=$("${python}" -c 'import scrivlet; print(scrivlet.__file__)')
echo "installed: ${installed}"
[[ ${installed} == "${work}/venv/"* ]]
SCRIVLET_RING_LIBRARY=${root}/build/default/src/ring \
  SCRIVLET_TOOL=${root}/build/default/tools/scrivlet PYTHONDONTWRITEBYTECODE=1 \
  "${python}" -m pytest -p no:cacheprovider -q -rs --basetemp=tmp \
  "${root}/tests/python" | tee pytest.log
# pytest fails a run without tests (status 5); a run that skipped some fails here.
if grep -Eq "skipped|deselected|no tests ran" pytest.log; then
  echo "the Python tests did not all run" >&2
  exit 1
fi
echo "installed Python package: ok"
