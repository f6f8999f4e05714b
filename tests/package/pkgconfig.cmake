# Builds the consumer host with nothing but the compiler and what `pkg-config --cflags --libs
# scrivlet` prints for the installed PREFIX, then runs it in WORK_DIR (cmake -P script).
set(ENV{PKG_CONFIG_PATH} "${PREFIX}/${LIBDIR}/pkgconfig")
find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)

# The package was installed somewhere other than the prefix it was configured for: tell
# pkg-config where it is now, as a host does for a relocated installation.
set(pkg "${PKG_CONFIG}" --define-variable=prefix=${PREFIX})
execute_process(COMMAND ${pkg} --cflags --libs scrivlet OUTPUT_VARIABLE flags
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${pkg} --variable=libdir scrivlet OUTPUT_VARIABLE libdir
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "pkg-config --cflags --libs scrivlet: ${flags}")
string(FIND "${flags}" "-I${PREFIX}/include" include_at)
string(FIND "${flags}" "-L${PREFIX}/" lib_at)
if(include_at LESS 0 OR lib_at LESS 0)
  message(FATAL_ERROR "the flags do not point into ${PREFIX}")
endif()

separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS} ${LINKER_FLAGS}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND "${CXX}" ${cxx_flags} -std=c++17 -Wall -Wextra -Wpedantic -Wshadow -Werror
                        "${SOURCE}" ${flags} "-Wl,-rpath,${libdir}" -o "${WORK_DIR}/consumer"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${WORK_DIR}/consumer" WORKING_DIRECTORY "${WORK_DIR}"
                COMMAND_ERROR_IS_FATAL ANY)
