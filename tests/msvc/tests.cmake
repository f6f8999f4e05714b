# Hosts in the MSVC C++ ABI (presets msvc-x86 and msvc-x64), freestanding like the DLL: host.cpp,
# a C++ host that uses the classes as a program of Microsoft's compiler does, and the C host of
# the C interface (capi/capi_test.c). Both are built for x86 too, where linking them against
# scrivlet.lib shows that every name they use is exported as their compiler expects; they run
# where there is an emulator (msvc-x64: Wine), each in a folder of its own. A Wine error, a
# missing import or a block released on another heap fails the test, as does a failed check.
if(NOT MSVC)
  return()
endif()
enable_language(C)

foreach(system kernel32 msvcrt ucrtbase)
  scrivlet_msvc_import_library(scrivlet_host_${system} ${CMAKE_CURRENT_LIST_DIR}/${system}.def)
endforeach()

add_executable(scrivlet_msvc_host ${CMAKE_CURRENT_LIST_DIR}/host.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/start.c)
target_include_directories(scrivlet_msvc_host PRIVATE ${PROJECT_SOURCE_DIR}/src)
add_executable(scrivlet_msvc_capi ${CMAKE_CURRENT_LIST_DIR}/../capi/capi_test.c
                                  ${CMAKE_CURRENT_LIST_DIR}/start.c)
set_target_properties(scrivlet_msvc_capi PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON)

foreach(host scrivlet_msvc_host scrivlet_msvc_capi)
  target_link_libraries(${host} PRIVATE scrivlet scrivlet_msvc_support scrivlet_host_kernel32
                                        scrivlet_host_msvcrt scrivlet_host_ucrtbase)
  scrivlet_warnings(${host})
  # The program finds the DLL beside it.
  add_custom_command(TARGET ${host} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:scrivlet> $<TARGET_FILE_DIR:${host}>)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(workdir ${CMAKE_CURRENT_BINARY_DIR}/${host})
    file(MAKE_DIRECTORY ${workdir})
    add_test(NAME ${host} COMMAND ${host} WORKING_DIRECTORY ${workdir})
    set_tests_properties(${host} PROPERTIES
      ENVIRONMENT "WINEDEBUG=warn+module,warn+heap"
      FAIL_REGULAR_EXPRESSION "err:|warn:heap|No implementation for|[1-9][0-9]* failed"
      TIMEOUT 120)
  endif()
endforeach()
