# End-to-end tests of the command-line host: each function case_<name> of a *_test.py here is the
# test cli.<name>, which runs the built `scrivlet` in a fresh directory of its own. A case waits
# seconds at most; the time-out is only a backstop.
if(SCRIVLET_BUILD_TOOLS)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  file(GLOB scripts CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.py)
  foreach(script IN LISTS scripts)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
    file(STRINGS ${script} cases REGEX "^def case_[a-z0-9_]+\\(")
    foreach(case IN LISTS cases)
      string(REGEX REPLACE "^def case_([a-z0-9_]+).*" "\\1" case "${case}")
      add_test(NAME cli.${case}
               COMMAND Python3::Interpreter ${script} $<TARGET_FILE:scrivlet_tool> ${case})
      set_tests_properties(cli.${case} PROPERTIES TIMEOUT 60)
    endforeach()
  endforeach()
endif()
