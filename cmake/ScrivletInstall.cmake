# Installation: headers, the shared libraries, a CMake package (find_package(Scrivlet CONFIG)
# gives Scrivlet::scrivlet and Scrivlet::ring) and pkg-config files (scrivlet, scrivlet-ring).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SCRIVLET_INSTALL_TARGETS scrivlet)
if(TARGET scrivlet_ring)
  list(APPEND SCRIVLET_INSTALL_TARGETS scrivlet_ring)
endif()
install(TARGETS ${SCRIVLET_INSTALL_TARGETS} EXPORT ScrivletTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/scrivlet DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The headers written at configure time (src/CMakeLists.txt), beside the others.
install(FILES ${SCRIVLET_GENERATED_INCLUDE}/scrivlet/scrivlet_export.h
              ${SCRIVLET_GENERATED_INCLUDE}/scrivlet/scrivlet_ring_export.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/scrivlet)

set(SCRIVLET_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Scrivlet)
install(EXPORT ScrivletTargets NAMESPACE Scrivlet:: DESTINATION ${SCRIVLET_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ScrivletConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ScrivletConfig.cmake INSTALL_DESTINATION ${SCRIVLET_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ScrivletConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ScrivletConfig.cmake
              ${PROJECT_BINARY_DIR}/ScrivletConfigVersion.cmake
        DESTINATION ${SCRIVLET_CMAKE_DIR})

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
install(FILES ${PROJECT_BINARY_DIR}/scrivlet.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(TARGET scrivlet_ring)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/scrivlet-ring.pc.in
                 ${PROJECT_BINARY_DIR}/scrivlet-ring.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/scrivlet-ring.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
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
          DESTINATION ${SCRIVLET_PYTHON_INSTALL_DIR} PATTERN __pycache__ EXCLUDE)
endif()
