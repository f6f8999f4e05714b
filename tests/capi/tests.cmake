# Foreign hosts of the C interfaces: capi_test.c, a C program compiled as C89 and as C99 that uses
# the shared library as a host outside this project would, and ring_c_test.c, compiled as C89,
# that uses the ring library's C interface from several threads. On Windows each finds its DLLs
# beside it.
enable_language(C)
find_package(Threads REQUIRED)

set(sources capi capi)
set(standards 90 99)
if(TARGET scrivlet_ring)
  list(APPEND sources ring_c)
  list(APPEND standards 90)
endif()
foreach(source standard IN ZIP_LISTS sources standards)
  set(host ${source}_c${standard})
  set(target scrivlet_${host}_test)
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${source}_test.c)
  set_target_properties(${target} PROPERTIES C_STANDARD ${standard} C_STANDARD_REQUIRED ON
                                             C_EXTENSIONS OFF)
  set(libraries scrivlet)
  if(source STREQUAL "ring_c")
    list(APPEND libraries scrivlet_ring)
    target_link_libraries(${target} PRIVATE Threads::Threads)
  endif()
  target_link_libraries(${target} PRIVATE ${libraries})
  scrivlet_warnings(${target})
  if(WIN32)
    target_link_options(${target} PRIVATE -static)
    foreach(library IN LISTS libraries)
      add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${library}>
                $<TARGET_FILE_DIR:${target}>)
    endforeach()
  endif()
  set(workdir ${CMAKE_CURRENT_BINARY_DIR}/${host})
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME ${source}.c${standard} COMMAND ${target} WORKING_DIRECTORY ${workdir})
endforeach()

# The MinGW DLL's handler and new mode in msvcrt.dll, seen by a host that loads it.
if(WIN32 AND NOT MSVC)
  add_executable(scrivlet_new_mode_test ${CMAKE_CURRENT_LIST_DIR}/new_mode_test.c)
  scrivlet_warnings(scrivlet_new_mode_test)
  target_link_options(scrivlet_new_mode_test PRIVATE -static)
  add_dependencies(scrivlet_new_mode_test scrivlet)
  add_custom_command(TARGET scrivlet_new_mode_test POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:scrivlet>
            $<TARGET_FILE_DIR:scrivlet_new_mode_test>)
  add_test(NAME capi.new_mode COMMAND scrivlet_new_mode_test
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endif()
