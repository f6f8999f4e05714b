# The shipped shared library names no allocation function among the symbols it needs from
# elsewhere: no malloc family, no operator new. (The operator delete of a virtual destructor's
# deleting form is referenced by every polymorphic class and is not an allocation.) Together
# with the counting allocator of noalloc_test.cpp this covers allocations that do not go
# through operator new.
if(NOT WIN32 AND CMAKE_NM)
  add_test(NAME NoAllocation.SharedLibrarySymbols
           COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:scrivlet>
                   -P ${CMAKE_CURRENT_LIST_DIR}/check.cmake)
endif()
