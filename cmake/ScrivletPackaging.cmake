# The Debian package: `cpack -G DEB` in a build folder makes scrivlet_<version>_<arch>.deb with
# everything `cmake --install` installs (the libraries, headers, CMake and pkg-config files, the
# scrivlet tool, its man page and bash completion) under /usr. Its dependencies on the C and C++
# runtimes come from dpkg-shlibdeps (Debian: dpkg-dev).
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
include(CPack)
