# The Windows archive of the MinGW build: `cpack --config CPackConfig.cmake` in its build folder
# makes scrivlet-<version>-windows-<x86|x64>.zip with the components lib, ring and dev of this
# build (the DLLs, their import libraries and .def files, the headers, the CMake package, the
# README for Windows hosts), and, when SCRIVLET_MSVC_BUILD_DIR names the build in the MSVC ABI of
# the same architecture, that build's DLL, import library and CMake package in msvc/ and its
# import library of this build's ring DLL in lib/. cpack builds both (their preinstall
# targets) before it installs them.
set(SCRIVLET_MSVC_BUILD_DIR "" CACHE PATH
    "The build in the MSVC ABI of the same architecture, packaged in the archive's msvc/ folder")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(arch x86)
else()
  set(arch x64)
endif()
set(CPACK_PACKAGE_NAME scrivlet)
set(CPACK_PACKAGE_VENDOR "Scrivlet")
set(CPACK_PACKAGE_CONTACT "Scrivlet maintainers <packages@scrivlet.org>")
set(CPACK_PACKAGE_FILE_NAME scrivlet-${PROJECT_VERSION}-windows-${arch})
set(CPACK_GENERATOR ZIP)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_INSTALL_CMAKE_PROJECTS
    ${PROJECT_BINARY_DIR} Scrivlet lib /
    ${PROJECT_BINARY_DIR} Scrivlet ring /
    ${PROJECT_BINARY_DIR} Scrivlet dev /)
if(SCRIVLET_MSVC_BUILD_DIR)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS
       ${SCRIVLET_MSVC_BUILD_DIR} Scrivlet lib /msvc
       ${SCRIVLET_MSVC_BUILD_DIR} Scrivlet dev /msvc
       ${SCRIVLET_MSVC_BUILD_DIR} Scrivlet msvc-ring /)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . COMPONENT dev)
include(CPack)
