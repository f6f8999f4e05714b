# The Python package (bindings/python) under pytest, against this build's ring library and
# scrivlet tool: each function test_<name> of test_*.py is the test python.<name>, run by Debian's
# Python (/usr/bin/python3, which has python3-pytest; a pyenv python3 earlier on PATH would not)
# with the package of the checkout, in a temporary folder of its own in this build tree (the
# working file system, where threads have writes to share). A run that skips or finds no test
# fails. Then the package installed by Package.Install finds the library beside it by itself.
if(WIN32 OR CMAKE_CROSSCOMPILING OR NOT TARGET scrivlet_ring OR NOT SCRIVLET_BUILD_TOOLS)
  return()
endif()
set(SCRIVLET_TEST_PYTHON /usr/bin/python3 CACHE FILEPATH
    "The Python (with pytest) that runs the Python package's tests")

# A sanitizer's runtime must be loaded before the instrumented ring library, so Python is
# started with it preloaded; Python's own allocations are not the library's leaks.
set(python_environment PYTHONDONTWRITEBYTECODE=1)
foreach(sanitizer address:asan thread:tsan)
  string(REPLACE ":" ";" sanitizer ${sanitizer})
  list(GET sanitizer 0 flag)
  list(GET sanitizer 1 runtime)
  if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=[a-z,]*${flag}")
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${runtime}.so
                    OUTPUT_VARIABLE preload OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND python_environment LD_PRELOAD=${preload} ASAN_OPTIONS=detect_leaks=0)
  endif()
endforeach()

set(checkout_environment ${python_environment} PYTHONPATH=${PROJECT_SOURCE_DIR}/bindings/python
    SCRIVLET_RING_LIBRARY=$<TARGET_FILE:scrivlet_ring> SCRIVLET_TOOL=$<TARGET_FILE:scrivlet_tool>)
file(GLOB scripts CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_*.py)
foreach(script IN LISTS scripts)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
  file(STRINGS ${script} cases REGEX "^def test_[a-z0-9_]+\\(")
  foreach(case IN LISTS cases)
    string(REGEX REPLACE "^def test_([a-z0-9_]+).*" "\\1" case "${case}")
    set(work ${CMAKE_CURRENT_BINARY_DIR}/python/${case})
    file(MAKE_DIRECTORY ${work})
    add_test(NAME python.${case}
             COMMAND ${SCRIVLET_TEST_PYTHON} -m pytest -q -p no:cacheprovider --basetemp=${work}/tmp
                     ${script}::test_${case}
             WORKING_DIRECTORY ${work})
    set_tests_properties(python.${case} PROPERTIES TIMEOUT 120
                         ENVIRONMENT "${checkout_environment}"
                         FAIL_REGULAR_EXPRESSION "[0-9]+ skipped;no tests ran")
  endforeach()
endforeach()

if(TEST Package.Install)
  # Found from the prefix it is installed under, unless the system knows one already.
  set(package_python ${SCRIVLET_PACKAGE_PREFIX}/${SCRIVLET_PYTHON_INSTALL_DIR})
  set(check [=[
import ctypes.util, sys, scrivlet, scrivlet._library as found
prefix, python = sys.argv[1:]
assert scrivlet.__file__.startswith(python + "/"), scrivlet.__file__
with scrivlet.Ring("installed", fresh=True) as ring:
    ring.write("from the installed package")
library = found.library()._name
assert ctypes.util.find_library("scrivlet-ring") or library.startswith(prefix + "/"), library
]=])
  add_test(NAME python.installed
           COMMAND ${SCRIVLET_TEST_PYTHON} -c "${check}" ${SCRIVLET_PACKAGE_PREFIX}
                   ${package_python}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/python)
  set_tests_properties(python.installed PROPERTIES FIXTURES_REQUIRED scrivlet_installed
                       ENVIRONMENT "${python_environment};PYTHONPATH=${package_python}"
                       ENVIRONMENT_MODIFICATION "SCRIVLET_RING_LIBRARY=unset:" TIMEOUT 60)
endif()
