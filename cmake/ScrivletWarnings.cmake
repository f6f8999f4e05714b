# scrivlet_warnings(<target>): the project's warning flags, errors when SCRIVLET_WERROR is on.
function(scrivlet_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${SCRIVLET_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                             $<$<BOOL:${SCRIVLET_WERROR}>:-Werror>)
  endif()
endfunction()
