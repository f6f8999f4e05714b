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

# The ring's C interface from a host of Microsoft's compiler: capi/ring_c_test.c built with
# clang-cl against the MinGW scrivlet-ring.dll of the same architecture, in the folder that
# SCRIVLET_MINGW_RING_DIR names (the presets name build/mingw-*/src/ring: build that first). It
# links through an import library made from the DLL's scrivlet-ring.def, as such a host's own
# toolchain would make it, and runs in a folder of its own with the MinGW DLLs copied beside it.
if(NOT SCRIVLET_MINGW_RING_DIR)
  return()
endif()
set(ring_lib ${CMAKE_CURRENT_BINARY_DIR}/imports/scrivlet-ring.lib)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(machine i386)
else()
  set(machine i386:x86-64)
endif()
add_custom_command(OUTPUT ${ring_lib}
  COMMAND ${SCRIVLET_DLLTOOL} -m ${machine} -D scrivlet-ring.dll
          -d ${SCRIVLET_MINGW_RING_DIR}/scrivlet-ring.def -l ${ring_lib}
  DEPENDS ${SCRIVLET_MINGW_RING_DIR}/scrivlet-ring.def VERBATIM)
add_custom_target(scrivlet_msvc_ring_import DEPENDS ${ring_lib})

set(ring_dir ${CMAKE_CURRENT_BINARY_DIR}/ring_c)
add_executable(scrivlet_msvc_ring_c ${CMAKE_CURRENT_LIST_DIR}/../capi/ring_c_test.c
                                    ${CMAKE_CURRENT_LIST_DIR}/start.c)
add_dependencies(scrivlet_msvc_ring_c scrivlet_msvc_ring_import)
target_include_directories(scrivlet_msvc_ring_c PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(scrivlet_msvc_ring_c PRIVATE ${ring_lib} scrivlet_host_kernel32
                                                   scrivlet_host_msvcrt)
scrivlet_warnings(scrivlet_msvc_ring_c)
set_target_properties(scrivlet_msvc_ring_c PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ring_dir})
if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME scrivlet_msvc_ring_c.dlls
           COMMAND ${CMAKE_COMMAND} -E copy_if_different
                   ${SCRIVLET_MINGW_RING_DIR}/scrivlet-ring.dll
                   ${SCRIVLET_MINGW_RING_DIR}/../scrivlet.dll ${ring_dir})
  set_tests_properties(scrivlet_msvc_ring_c.dlls PROPERTIES FIXTURES_SETUP scrivlet_mingw_ring)
  add_test(NAME scrivlet_msvc_ring_c COMMAND scrivlet_msvc_ring_c WORKING_DIRECTORY ${ring_dir})
  set_tests_properties(scrivlet_msvc_ring_c PROPERTIES
    FIXTURES_REQUIRED scrivlet_mingw_ring
    ENVIRONMENT "WINEDEBUG=warn+module,warn+heap"
    FAIL_REGULAR_EXPRESSION "err:|warn:heap|No implementation for|failed"
    TIMEOUT 120)
endif()
