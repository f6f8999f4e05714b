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
      # 77: a case whose outside part (rsyslog) is missing where it may be.
      set_tests_properties(cli.${case} PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
    endforeach()
  endforeach()
endif()
