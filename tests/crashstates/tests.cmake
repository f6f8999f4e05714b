# The crash-state explorer, linked into the power-cut test (POSIX only). When the scrivlet tool is
# built, the test runs its verify command on every state, from the path SCRIVLET_TOOL.
if(TARGET scrivlet_posix_crash_states_test)
  target_sources(scrivlet_posix_crash_states_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/explorer.cpp)
  if(SCRIVLET_BUILD_TOOLS AND EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
    add_dependencies(scrivlet_posix_crash_states_test scrivlet_tool)
    target_compile_definitions(scrivlet_posix_crash_states_test
      PRIVATE SCRIVLET_TOOL="$<TARGET_FILE:scrivlet_tool>")
  endif()
endif()
