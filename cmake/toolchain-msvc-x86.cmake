# 32-bit x86 Windows in the MSVC C++ ABI, built with LLVM's clang-cl and lld-link.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(SCRIVLET_MSVC_TARGET i686-pc-windows-msvc)
include(${CMAKE_CURRENT_LIST_DIR}/msvc-common.cmake)
