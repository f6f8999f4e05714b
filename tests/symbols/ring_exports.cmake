# Fails when the ring library exports anything of the copy of the core it carries: a host that
# loads both libraries must reach the classes in the core library only. Arguments: NM, LIBRARY.
execute_process(COMMAND ${NM} -D -C --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT symbols MATCHES "ScrivletRing_Open_1")
  message(FATAL_ERROR "cannot read the exported symbols of ${LIBRARY}:\n${symbols}")
endif()
set(core "TQCLogFile|TQ_DateTime|TQ_Folder|scrivlet::os::|ScrivletLogFile|ScrivletGetInterface")
string(REGEX MATCHALL "[^\n]*(${core})[^\n]*" found "${symbols}")
if(found)
  string(REPLACE ";" "\n" found "${found}")
  message(FATAL_ERROR "${LIBRARY} exports its copy of the core:\n${found}")
endif()
message(STATUS "${LIBRARY} exports nothing of the core")
