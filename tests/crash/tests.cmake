# The child host of the crash tests (POSIX only): a small program linked with the shared library
# that writes numbered records and reports each acknowledged one to its parent. The test
# posix_crash_test gets its path as SCRIVLET_CRASH_CHILD.
if(NOT WIN32)
  add_executable(scrivlet_crash_child ${CMAKE_CURRENT_LIST_DIR}/child.cpp)
  target_include_directories(scrivlet_crash_child PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(scrivlet_crash_child PRIVATE scrivlet)
  scrivlet_warnings(scrivlet_crash_child)
  if(TARGET scrivlet_posix_crash_test)
    add_dependencies(scrivlet_posix_crash_test scrivlet_crash_child)
    target_compile_definitions(scrivlet_posix_crash_test
      PRIVATE SCRIVLET_CRASH_CHILD="$<TARGET_FILE:scrivlet_crash_child>")
  endif()
endif()
