# Foreign hosts of the C interfaces, programs in C as a host outside this project would write them:
# capi_test.c, compiled as C89 and as C99, over the core library; ring_c_test.c, compiled as C89,
# over the ring library's C interface (from several threads on Windows). On Windows each finds its DLLs
# beside it, and new_mode_test.c loads the DLL to read what it set in msvcrt.dll.
enable_language(C)

set(hosts capi:90:scrivlet capi:99:scrivlet)
if(TARGET scrivlet_ring)
  list(APPEND hosts ring_c:90:scrivlet_ring)
endif()
if(WIN32 AND NOT MSVC)
  list(APPEND hosts new_mode:99:scrivlet)
endif()
foreach(host IN LISTS hosts)
  string(REPLACE ":" ";" host ${host})
  list(GET host 0 source)
  list(GET host 1 standard)
  list(GET host 2 library)
  set(target scrivlet_${source}_c${standard}_test)
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/${source}_test.c)
  set_target_properties(${target} PROPERTIES C_STANDARD ${standard} C_STANDARD_REQUIRED ON
                                             C_EXTENSIONS OFF)
  target_link_libraries(${target} PRIVATE ${library})
  scrivlet_warnings(${target})
  if(WIN32)
    target_link_options(${target} PRIVATE -static)
    add_custom_command(TARGET ${target} POST_BUILD COMMAND ${CMAKE_COMMAND} -E copy_if_different
      $<TARGET_FILE:${library}> $<TARGET_FILE_DIR:${target}>)
  endif()
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${source}_c${standard})
  add_test(NAME ${source}.c${standard} COMMAND ${target}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${source}_c${standard})
endforeach()
