// The global operator delete of the DLL in the MSVC ABI, which the virtual deleting destructors
// call when a host deletes a library object.
//
// The block was allocated by the host's operator new. A host built with a current Microsoft
// compiler and the DLL runtime (/MD) takes it from the Universal C Runtime: its operator new
// calls malloc of ucrtbase.dll. So the block goes back with free of ucrtbase.dll, exactly what the
// host's own operator delete does. (msvcrt.dll, the runtime that the library uses otherwise, keeps
// a heap of its own on some systems: freeing the block there would be a heap mismatch.)
#include <new>

extern "C" __declspec(dllimport) void __cdecl free(void* block);

void operator delete(void* block) noexcept { free(block); }
