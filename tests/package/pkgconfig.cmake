# Builds a host (an example) with nothing but the compiler and what `pkg-config --cflags --libs
# PACKAGE` prints for the installed PREFIX, then runs it in WORK_DIR (cmake -P script).
set(ENV{PKG_CONFIG_PATH} "${PREFIX}/${LIBDIR}/pkgconfig")
find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)

# The package was installed somewhere other than the prefix it was configured for: scrivlet.pc
# finds its prefix from where it lies, so the flags must still lead into PREFIX.
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs ${PACKAGE} OUTPUT_VARIABLE flags
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${PKG_CONFIG} --variable=libdir ${PACKAGE} OUTPUT_VARIABLE libdir
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "pkg-config --cflags --libs ${PACKAGE}: ${flags}")
string(REGEX MATCH "-I([^ ]+)" include_flag "${flags}")
file(REAL_PATH "${CMAKE_MATCH_1}" include_dir)
file(REAL_PATH "${libdir}" libdir)
file(REAL_PATH "${PREFIX}" prefix_dir)
if(NOT include_dir STREQUAL "${prefix_dir}/include" OR NOT libdir MATCHES "^${prefix_dir}/")
  message(FATAL_ERROR "the flags do not point into ${PREFIX}: ${flags}")
endif()

separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS} ${LINKER_FLAGS}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND "${CXX}" ${cxx_flags} -std=c++17 -Wall -Wextra -Wpedantic -Wshadow -Werror
                        "${SOURCE}" ${flags} "-Wl,-rpath,${libdir}" -o "${WORK_DIR}/consumer"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${WORK_DIR}/consumer" WORKING_DIRECTORY "${WORK_DIR}" TIMEOUT 20
                COMMAND_ERROR_IS_FATAL ANY)
