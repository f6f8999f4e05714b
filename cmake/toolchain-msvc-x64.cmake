# 64-bit x86 Windows in the MSVC C++ ABI, built with LLVM's clang-cl and lld-link.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(SCRIVLET_MSVC_TARGET x86_64-pc-windows-msvc)
include(${CMAKE_CURRENT_LIST_DIR}/msvc-common.cmake)
