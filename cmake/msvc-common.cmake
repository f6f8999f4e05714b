# What both toolchain files of the MSVC C++ ABI share; they set SCRIVLET_MSVC_TARGET and
# CMAKE_SYSTEM_PROCESSOR first. Everything comes from Debian's packages: clang-cl, lld-link and
# llvm-lib of LLVM 14 (clang-14, clang-tools-14, lld-14, llvm-14), and <windows.h> and the C
# runtime's headers of MinGW-w64 (mingw-w64-common). No Microsoft SDK, no C++ standard library.
set(CMAKE_SYSTEM_NAME Windows)
set(SCRIVLET_LLVM_BIN /usr/lib/llvm-14/bin)
set(CMAKE_C_COMPILER ${SCRIVLET_LLVM_BIN}/clang-cl)
set(CMAKE_CXX_COMPILER ${SCRIVLET_LLVM_BIN}/clang-cl)
set(CMAKE_C_COMPILER_TARGET ${SCRIVLET_MSVC_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${SCRIVLET_MSVC_TARGET})
set(CMAKE_LINKER ${SCRIVLET_LLVM_BIN}/lld-link)
set(CMAKE_AR ${SCRIVLET_LLVM_BIN}/llvm-lib)
set(CMAKE_RC_COMPILER ${SCRIVLET_LLVM_BIN}/llvm-rc)
set(CMAKE_MT ${SCRIVLET_LLVM_BIN}/llvm-mt)
set(SCRIVLET_DLLTOOL ${SCRIVLET_LLVM_BIN}/llvm-dlltool)

# There are no import libraries for the compiler checks to link against: they build a static
# library instead. Every program and DLL names its own import libraries (made from .def files).
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked into every program")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked into every program")
# No runtime library flag (/MD): the objects name no default library (/Zl), and the link takes
# none (/nodefaultlib).
set(CMAKE_MSVC_RUNTIME_LIBRARY "")

# MinGW-w64's headers in MSVC mode: they expect GCC's attribute syntax next to __declspec, and
# on x86 the _X86_ macro that Microsoft's headers would set. stdio functions are msvcrt's own, not
# MinGW's replacements. /X: no include folder from the environment.
set(_scrivlet_common
    "/X /clang:-fgnuc-version=4.2.1 /D__declspec=__declspec /D__USE_MINGW_ANSI_STDIO=0 /GS- /Zl")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  string(APPEND _scrivlet_common " /D_X86_=1 /arch:SSE2")
endif()
string(APPEND _scrivlet_common " -imsvc /usr/share/mingw-w64/include")
# C++: run-time type information (dynamic_cast across the DLL boundary), no exceptions, the
# unsized operator delete, and no guard variables for local statics (which need the runtime's
# thread-local storage set-up).
set(CMAKE_C_FLAGS "${_scrivlet_common}" CACHE STRING "C compiler flags")
set(CMAKE_CXX_FLAGS
    "${_scrivlet_common} /GR /EHs-c- /Zc:sizedDealloc- /Zc:threadSafeInit-"
    CACHE STRING "C++ compiler flags")
set(CMAKE_EXE_LINKER_FLAGS_INIT "/nodefaultlib")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "/nodefaultlib")
