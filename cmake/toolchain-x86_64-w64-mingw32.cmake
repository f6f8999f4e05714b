# Cross-compiling for 64-bit x86 Windows with MinGW-w64 (Debian package
# g++-mingw-w64-x86-64-posix: the variant with POSIX threads, which std::thread and std::mutex in
# the tests need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SCRIVLET_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SCRIVLET_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SCRIVLET_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SCRIVLET_MINGW_TRIPLE}-windres)

# Libraries and packages come from the target's tree only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${SCRIVLET_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
