# Fails when the core library needs an allocation function from another module. Arguments: NM, LIBRARY.
execute_process(COMMAND ${NM} -D --undefined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT symbols MATCHES "[ \n]write(@|\n)")
  message(FATAL_ERROR "cannot read the undefined symbols of ${LIBRARY}:\n${symbols}")
endif()
set(allocators "malloc|calloc|realloc|reallocarray|aligned_alloc|posix_memalign|memalign|valloc")
set(allocators "${allocators}|pvalloc|strdup|strndup|wcsdup|_Znw[a-zA-Z0-9_]*|_Zna[a-zA-Z0-9_]*")
string(REGEX MATCHALL "[ \n](${allocators})(@[^\n]*)?\n" found "${symbols}")
if(found)
  message(FATAL_ERROR "${LIBRARY} needs allocation functions:\n${found}")
endif()
message(STATUS "no allocation function among the undefined symbols of ${LIBRARY}")
