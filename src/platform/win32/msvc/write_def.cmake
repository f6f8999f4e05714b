# Writes the module-definition file DEF that lists every name that DLL exports (read with
# READOBJ, llvm-readobj), from which another toolchain makes its own import library:
#   cmake -DREADOBJ=... -DDLL=scrivlet.dll -DDEF=scrivlet.def -P write_def.cmake
execute_process(COMMAND ${READOBJ} --coff-exports ${DLL} OUTPUT_VARIABLE exports
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot read the exports of ${DLL}")
endif()
string(REGEX MATCHALL "Name: [^\n]+" names "${exports}")
get_filename_component(library ${DLL} NAME)
set(text "LIBRARY ${library}\nEXPORTS\n")
foreach(name IN LISTS names)
  string(REPLACE "Name: " "" name "${name}")
  string(APPEND text "    ${name}\n")
endforeach()
file(WRITE ${DEF} "${text}")
