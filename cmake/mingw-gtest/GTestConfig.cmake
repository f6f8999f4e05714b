# GoogleTest for the Windows cross builds. Debian ships GoogleTest's sources (libgtest-dev, in
# /usr/src/googletest) but no build for Windows, so this package configuration, which the mingw
# presets point GTest_DIR at, builds them with the project's own compiler and offers the targets
# that find_package(GTest) would: GTest::gtest, GTest::gtest_main, GTest::gmock, GTest::gmock_main.
set(SCRIVLET_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources to build")
if(NOT TARGET GTest::gtest)
  if(NOT EXISTS "${SCRIVLET_GTEST_SOURCE_DIR}/CMakeLists.txt")
    set(GTest_FOUND FALSE)
    set(GTest_NOT_FOUND_MESSAGE "no GoogleTest sources in ${SCRIVLET_GTEST_SOURCE_DIR}")
    return()
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory("${SCRIVLET_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
  foreach(name gtest gtest_main gmock gmock_main)
    if(TARGET ${name} AND NOT TARGET GTest::${name})
      add_library(GTest::${name} ALIAS ${name})
    endif()
  endforeach()
endif()
set(GTest_FOUND TRUE)
