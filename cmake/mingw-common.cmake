# What both MinGW-w64 toolchain files share; they set SCRIVLET_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first. The compilers are the POSIX-threads variants, which std::thread
# and std::mutex in the tests need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${SCRIVLET_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SCRIVLET_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SCRIVLET_MINGW_TRIPLE}-windres)

# Libraries and packages come from the target's tree only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${SCRIVLET_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
