# The installed package, used as a host uses it: this build tree is installed into a prefix of its
# own under the build folder, then every example is built against that prefix with find_package
# (and the threads, ring, spdlog and ring C interface examples run), and the class and ring examples once more with
# the flags that pkg-config gives (scrivlet, scrivlet-ring), and run. Each example exits with 1
# when the library fails it, and is stopped after 20 s.
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  include(GNUInstallDirs)
  set(SCRIVLET_PACKAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/package)
  set(SCRIVLET_PACKAGE_PREFIX ${SCRIVLET_PACKAGE_DIR}/prefix)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    message(FATAL_ERROR "the package tests need a relative CMAKE_INSTALL_LIBDIR")
  endif()

  add_test(NAME Package.Install
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                   -DPREFIX=${SCRIVLET_PACKAGE_PREFIX} -DCONFIG=$<CONFIG>
                   -P ${CMAKE_CURRENT_LIST_DIR}/install.cmake)
  set_tests_properties(Package.Install PROPERTIES FIXTURES_SETUP scrivlet_installed TIMEOUT 120)

  # The examples are built with this build's compiler and flags (a sanitizer build's library needs
  # its runtime in the host too).
  add_test(NAME Package.CMake
           COMMAND ${CMAKE_CTEST_COMMAND} --build-and-test ${CMAKE_CURRENT_LIST_DIR}/consumer
                   ${SCRIVLET_PACKAGE_DIR}/cmake-consumer
                   --build-generator ${CMAKE_GENERATOR}
                   --build-makeprogram ${CMAKE_MAKE_PROGRAM}
                   --build-options -DCMAKE_PREFIX_PATH=${SCRIVLET_PACKAGE_PREFIX}
                                   -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
                                   -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
                                   -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
                                   -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
                                   "-DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS}"
                                   "-DCMAKE_EXE_LINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}"
                                   -DSCRIVLET_EXPECTED_PREFIX=${SCRIVLET_PACKAGE_PREFIX}
                                   -DSCRIVLET_EXAMPLES_DIR=${PROJECT_SOURCE_DIR}/examples
                   --test-command sh -c "timeout 20 ./example_threads && timeout 20 \
                                         ./example_quickstart && timeout 20 ./example_spdlog_sink \
                                         && timeout 20 ./example_ring_c")
  set_tests_properties(Package.CMake PROPERTIES FIXTURES_REQUIRED scrivlet_installed TIMEOUT 300)

  set(packages scrivlet scrivlet-ring)
  set(examples ring quickstart)
  foreach(package example IN ZIP_LISTS packages examples)
    add_test(NAME Package.PkgConfig.${package}
             COMMAND ${CMAKE_COMMAND} -DPREFIX=${SCRIVLET_PACKAGE_PREFIX} -DPACKAGE=${package}
                     -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
                     -DWORK_DIR=${SCRIVLET_PACKAGE_DIR}/pkg-consumer-${package}
                     -DSOURCE=${PROJECT_SOURCE_DIR}/examples/${example}.cpp
                     -DCXX=${CMAKE_CXX_COMPILER} "-DCXX_FLAGS=${CMAKE_CXX_FLAGS}"
                     "-DLINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}"
                     -P ${CMAKE_CURRENT_LIST_DIR}/pkgconfig.cmake)
    set_tests_properties(Package.PkgConfig.${package} PROPERTIES
                         FIXTURES_REQUIRED scrivlet_installed TIMEOUT 300)
  endforeach()
endif()
