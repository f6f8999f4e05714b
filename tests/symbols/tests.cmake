# What the shipped shared libraries ask of other modules and offer to them.
# - The core needs no allocation function from elsewhere: no malloc family, no operator new. (The
#   operator delete of a virtual destructor's deleting form is referenced by every polymorphic
#   class and is not an allocation.) Together with the counting allocator of noalloc_test.cpp this
#   covers allocations that do not go through operator new.
# - The ring library keeps its copy of the core hidden.
if(NOT WIN32 AND CMAKE_NM)
  add_test(NAME NoAllocation.SharedLibrarySymbols
           COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:scrivlet>
                   -P ${CMAKE_CURRENT_LIST_DIR}/no_allocation.cmake)
  add_test(NAME Exports.RingLibraryHidesItsCopyOfTheCore
           COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:scrivlet_ring>
                   -P ${CMAKE_CURRENT_LIST_DIR}/ring_exports.cmake)
endif()
