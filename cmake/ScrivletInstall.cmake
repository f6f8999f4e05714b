# Installation: headers, the shared libraries, a CMake package (find_package(Scrivlet CONFIG)
# gives Scrivlet::scrivlet and Scrivlet::ring) and pkg-config files (scrivlet, scrivlet-ring).
# Every rule names its component, one for each package that a distribution splits the library
# into (scripts/package-deb): lib (libscrivlet), ring (libscrivlet-ring), dev (headers, import
# libraries and the .so links, the CMake and pkg-config files), tool (the scrivlet program, its
# man page and completion; tools/CMakeLists.txt) and python (the Python package).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SCRIVLET_INSTALL_TARGETS scrivlet)
set(SCRIVLET_INSTALL_COMPONENTS lib)
if(TARGET scrivlet_ring)
  list(APPEND SCRIVLET_INSTALL_TARGETS scrivlet_ring)
  list(APPEND SCRIVLET_INSTALL_COMPONENTS ring)
endif()
foreach(target component IN ZIP_LISTS SCRIVLET_INSTALL_TARGETS SCRIVLET_INSTALL_COMPONENTS)
  install(TARGETS ${target} EXPORT ScrivletTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${component} NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/scrivlet DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT dev)
# The headers written at configure time (src/CMakeLists.txt), beside the others.
install(FILES ${SCRIVLET_GENERATED_INCLUDE}/scrivlet/scrivlet_export.h
              ${SCRIVLET_GENERATED_INCLUDE}/scrivlet/scrivlet_ring_export.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/scrivlet COMPONENT dev)

set(SCRIVLET_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Scrivlet)
install(EXPORT ScrivletTargets NAMESPACE Scrivlet:: DESTINATION ${SCRIVLET_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ScrivletConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ScrivletConfig.cmake INSTALL_DESTINATION ${SCRIVLET_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ScrivletConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ScrivletConfig.cmake
              ${PROJECT_BINARY_DIR}/ScrivletConfigVersion.cmake
        DESTINATION ${SCRIVLET_CMAKE_DIR} COMPONENT dev)

# pkg-config: the prefix is found from where scrivlet.pc lies, so the installed tree can be moved.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(SCRIVLET_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(SCRIVLET_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(SCRIVLET_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH SCRIVLET_PC_UP "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" SCRIVLET_PC_UP "${SCRIVLET_PC_UP}")
  set(SCRIVLET_PC_PREFIX "\${pcfiledir}/${SCRIVLET_PC_UP}")
  set(SCRIVLET_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(SCRIVLET_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/scrivlet.pc.in ${PROJECT_BINARY_DIR}/scrivlet.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/scrivlet.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)
if(TARGET scrivlet_ring)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/scrivlet-ring.pc.in
                 ${PROJECT_BINARY_DIR}/scrivlet-ring.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/scrivlet-ring.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endif()

# Windows: the module-definition files, from which other toolchains make import libraries of
# their own (the MinGW build writes them beside its DLLs). The build in the MSVC ABI makes the
# import library for Microsoft's linker of the MinGW ring DLL named by SCRIVLET_MINGW_RING_DIR,
# for its C interface (component msvc-ring; the Windows archive puts it beside that DLL).
if(WIN32 AND NOT MSVC)
  install(FILES ${PROJECT_BINARY_DIR}/src/scrivlet.def DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT dev)
  if(TARGET scrivlet_ring)
    install(FILES ${PROJECT_BINARY_DIR}/src/ring/scrivlet-ring.def
            DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt DESTINATION . COMPONENT dev)
elseif(MSVC AND SCRIVLET_MINGW_RING_DIR)
  file(READ ${SCRIVLET_MINGW_RING_DIR}/scrivlet-ring.def exports)
  file(WRITE ${PROJECT_BINARY_DIR}/ring-import/scrivlet-ring.def
       "LIBRARY scrivlet-ring.dll\n${exports}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${SCRIVLET_MINGW_RING_DIR}/scrivlet-ring.def)
  scrivlet_msvc_import_library(scrivlet_mingw_ring ${PROJECT_BINARY_DIR}/ring-import/scrivlet-ring.def)
  install(FILES ${PROJECT_BINARY_DIR}/imports/scrivlet-ring.lib DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT msvc-ring EXCLUDE_FROM_ALL)
endif()

# The Python package over the ring library's C interface; it finds the library under the prefix
# it is installed under.
if(TARGET scrivlet_ring AND NOT WIN32)
  file(STRINGS ${PROJECT_SOURCE_DIR}/bindings/python/scrivlet/_library.py version
       REGEX "^VERSION = ")
  if(NOT version STREQUAL "VERSION = \"${PROJECT_VERSION}\"")
    message(FATAL_ERROR "bindings/python/scrivlet/_library.py has ${version}, the project "
                        "${PROJECT_VERSION}: the Python package carries the library's version")
  endif()
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/bindings/python/scrivlet
          DESTINATION ${SCRIVLET_PYTHON_INSTALL_DIR} COMPONENT python PATTERN __pycache__ EXCLUDE)
endif()
