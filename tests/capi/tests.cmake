# A foreign host of the C interface: a C program, compiled as C89 and as C99, that uses the shared
# library as a host outside this project would.
enable_language(C)

foreach(standard 90 99)
  set(target scrivlet_capi_c${standard}_test)
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/capi_test.c)
  set_target_properties(${target} PROPERTIES C_STANDARD ${standard} C_STANDARD_REQUIRED ON
                                             C_EXTENSIONS OFF)
  target_link_libraries(${target} PRIVATE scrivlet)
  scrivlet_warnings(${target})
  if(WIN32)
    # The program finds the DLL beside it.
    target_link_options(${target} PRIVATE -static)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:scrivlet>
              $<TARGET_FILE_DIR:${target}>)
  endif()
  set(workdir ${CMAKE_CURRENT_BINARY_DIR}/capi-c${standard})
  file(MAKE_DIRECTORY ${workdir})
  add_test(NAME capi.c${standard} COMMAND ${target} WORKING_DIRECTORY ${workdir})
endforeach()

# The MinGW DLL's handler and new mode in msvcrt.dll, seen by a host that loads it.
if(WIN32 AND NOT MSVC)
  add_executable(scrivlet_new_mode_test ${CMAKE_CURRENT_LIST_DIR}/new_mode_test.c)
  scrivlet_warnings(scrivlet_new_mode_test)
  target_link_options(scrivlet_new_mode_test PRIVATE -static)
  add_dependencies(scrivlet_new_mode_test scrivlet)
  add_test(NAME capi.new_mode COMMAND scrivlet_new_mode_test
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endif()
