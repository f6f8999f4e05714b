# Installation: headers, the shared library, a CMake package (find_package(Scrivlet CONFIG) gives
# Scrivlet::scrivlet) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS scrivlet EXPORT ScrivletTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/scrivlet DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(SCRIVLET_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Scrivlet)
install(EXPORT ScrivletTargets NAMESPACE Scrivlet:: DESTINATION ${SCRIVLET_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ScrivletConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ScrivletConfig.cmake INSTALL_DESTINATION ${SCRIVLET_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ScrivletConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ScrivletConfig.cmake
              ${PROJECT_BINARY_DIR}/ScrivletConfigVersion.cmake
        DESTINATION ${SCRIVLET_CMAKE_DIR})

# pkg-config wants paths relative to its prefix where the install paths are relative.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(SCRIVLET_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(SCRIVLET_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(SCRIVLET_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(SCRIVLET_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/scrivlet.pc.in ${PROJECT_BINARY_DIR}/scrivlet.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/scrivlet.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
