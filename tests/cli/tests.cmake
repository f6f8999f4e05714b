# End-to-end tests of the command-line host: each case of cli_test.py runs the built `scrivlet`
# in a fresh directory of its own.
if(SCRIVLET_BUILD_TOOLS)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  set(SCRIVLET_CLI_CASES
    rotation_and_wrap round_trip long_lines_split counter_wrap_order
    verify_findings failures second_writer signal_closes_ring follow
    follow_trusts_counters help_and_version kill_loses_no_acknowledged_group time_range json
    hostile_files follow_survives_changes progress_on_a_terminal readme_shipping_example)
  foreach(case IN LISTS SCRIVLET_CLI_CASES)
    add_test(NAME cli.${case}
             COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/cli_test.py
                     $<TARGET_FILE:scrivlet_tool> ${case})
    set_tests_properties(cli.${case} PROPERTIES TIMEOUT 300)
  endforeach()
endif()
