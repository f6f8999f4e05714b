/* The MinGW DLL's load-time set-up, seen from a host that loads it with LoadLibrary: while the
 * DLL is loaded, msvcrt.dll (the runtime they share) has the DLL's allocation-failure handler
 * and new mode 1, so that a failing malloc asks that handler too; once the DLL is freed, the
 * handler it found (none) is back. msvcrt names these functions in C++ only. (A host that links
 * the DLL at start-up has its new mode set again by its own start-up code, after the DLL's.) */
#include <stdio.h>
#include <windows.h>

#if defined(_WIN64)
#define QUERY_NEW_HANDLER "?_query_new_handler@@YAP6AH_K@ZXZ"
#else
#define QUERY_NEW_HANDLER "?_query_new_handler@@YAP6AHI@ZXZ"
#endif

typedef void* (*QueryHandler)(void);
typedef int (*QueryMode)(void);
typedef void (*Function)(void); /* any function, as GetProcAddress gives it */

int main(void) {
    const HMODULE runtime = GetModuleHandleA("msvcrt.dll");
    const QueryHandler handler = (QueryHandler)(Function)GetProcAddress(runtime, QUERY_NEW_HANDLER);
    const QueryMode mode = (QueryMode)(Function)GetProcAddress(runtime, "?_query_new_mode@@YAHXZ");
    HMODULE library;
    int before, loaded, freed;
    if (handler == NULL || mode == NULL) {
        printf("failed: msvcrt.dll lacks its query functions\n");
        return 1;
    }
    before = mode() == 0 && handler() == NULL;
    library = LoadLibraryA("scrivlet.dll");
    loaded = library != NULL && mode() == 1 && handler() != NULL;
    freed = library != NULL && FreeLibrary(library) && handler() == NULL;
    printf("before loading: %s; loaded: %s; freed: %s\n", before ? "ok" : "failed",
           loaded ? "ok" : "failed", freed ? "ok" : "failed");
    return before && loaded && freed ? 0 : 1;
}
