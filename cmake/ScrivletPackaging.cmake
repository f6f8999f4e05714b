# The Debian package: `cpack -G DEB` in a build folder makes scrivlet_<version>_<arch>.deb with
# everything `cmake --install` installs (the libraries, headers, CMake and pkg-config files, the
# scrivlet tool, its man page and bash completion, the Python package) under /usr. Its
# dependencies on the C and C++ runtimes come from dpkg-shlibdeps (Debian: dpkg-dev).
set(CPACK_PACKAGE_NAME scrivlet)
set(CPACK_PACKAGE_VENDOR "Scrivlet")
set(CPACK_PACKAGE_CONTACT "Scrivlet maintainers <scrivlet@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "A ring of log files, every record written through to the storage, with the scrivlet tool")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# The Python package (installed under SCRIVLET_PYTHON_INSTALL_DIR, /usr/lib/python3/dist-packages
# in the package) is byte-compiled after installation and its byte code removed before removal,
# as Debian's own Python packages do (py3compile and py3clean come with python3). A postinst of
# our own replaces the one cpack writes for the libraries, so it runs ldconfig as that one does.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS python3)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/postinst CONTENT [[#!/bin/sh
set -e
if [ "$1" = "configure" ]; then
  ldconfig
  if command -v py3compile >/dev/null 2>&1; then
    py3compile -p scrivlet
  fi
fi
]])
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/prerm CONTENT [[#!/bin/sh
set -e
if command -v py3clean >/dev/null 2>&1; then
  py3clean -p scrivlet
fi
]])
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/postinst
                                      ${PROJECT_BINARY_DIR}/debian/prerm)

include(CPack)
