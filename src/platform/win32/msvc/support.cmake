# The build in the MSVC C++ ABI with LLVM (presets msvc-x86 and msvc-x64): import libraries for
# the system DLLs, made from short module-definition files; the support pieces that Microsoft's
# compiler takes from its static runtime library; and how the DLL is linked. Included by
# src/CMakeLists.txt when the compiler is clang-cl.
if(NOT SCRIVLET_DLLTOOL)
  message(FATAL_ERROR "The build in the MSVC ABI needs cmake/toolchain-msvc-x86.cmake or "
                      "cmake/toolchain-msvc-x64.cmake (the msvc-x86 and msvc-x64 presets).")
endif()

# scrivlet_msvc_import_library(<target> <def file>): an interface target that links the import
# library of the DLL that the module-definition file describes. The file gives 32-bit x86
# functions their __stdcall decoration (CreateFileW@28); the x64 build, which has none, removes
# it. Made when CMake configures; a changed .def file configures again.
function(scrivlet_msvc_import_library target def)
  get_filename_component(name ${def} NAME_WE)
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/imports)
  file(MAKE_DIRECTORY ${folder})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(arguments -m i386 -k -d ${def})
  else()
    file(READ ${def} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    file(WRITE ${folder}/${name}.def "${text}")
    set(arguments -m i386:x86-64 -d ${folder}/${name}.def)
  endif()
  execute_process(COMMAND ${SCRIVLET_DLLTOOL} ${arguments} -l ${folder}/${name}.lib
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "llvm-dlltool failed on ${def}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  add_library(${target} INTERFACE)
  target_link_libraries(${target} INTERFACE ${folder}/${name}.lib)
endfunction()

# The support pieces, for the DLL and for test hosts in the same ABI; the standard headers that
# the library includes come from include/ here.
add_library(scrivlet_msvc_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/type_info.cpp
  ${CMAKE_CURRENT_LIST_DIR}/divide.cpp
  ${CMAKE_CURRENT_LIST_DIR}/delete.cpp)
target_include_directories(scrivlet_msvc_support SYSTEM PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_include_directories(scrivlet_msvc_support PRIVATE ${PROJECT_SOURCE_DIR}/src)
scrivlet_warnings(scrivlet_msvc_support)

foreach(system kernel32 msvcrt ucrtbase)
  scrivlet_msvc_import_library(scrivlet_msvc_${system} ${CMAKE_CURRENT_LIST_DIR}/${system}.def)
endforeach()

include(GNUInstallDirs)

# The DLL: its entry point is DllMain itself (no C runtime start-up code), and it imports from
# the three system DLLs only. The import library scrivlet.lib is lld-link's; scrivlet.def, for
# whoever makes an import library of their own, is written from the DLL's export table.
target_link_libraries(scrivlet PRIVATE scrivlet_msvc_support scrivlet_msvc_kernel32
                                       scrivlet_msvc_msvcrt scrivlet_msvc_ucrtbase)
target_link_options(scrivlet PRIVATE /entry:DllMain)
set_target_properties(scrivlet PROPERTIES PREFIX "" IMPORT_PREFIX "")
add_custom_command(TARGET scrivlet POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DREADOBJ=${SCRIVLET_LLVM_BIN}/llvm-readobj
          -DDLL=$<TARGET_FILE:scrivlet> -DDEF=${CMAKE_CURRENT_BINARY_DIR}/scrivlet.def
          -P ${CMAKE_CURRENT_LIST_DIR}/write_def.cmake
  VERBATIM)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/scrivlet.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
