/* The MinGW DLL's load-time set-up, seen from a host that loads it with LoadLibrary: while the
 * DLL is loaded, msvcrt.dll (the runtime they share) has new mode 1, so that a failing malloc
 * asks the DLL's allocation-failure handler too. msvcrt names its mode functions in C++ only. (A
 * host that links the DLL at start-up has its mode set again by its own start-up code, after the
 * DLL's.) */
#include <stdio.h>
#include <windows.h>

int main(void) {
    int (*mode)(void) = (int (*)(void))(void (*)(void))GetProcAddress(
        GetModuleHandleA("msvcrt.dll"), "?_query_new_mode@@YAHXZ");
    const int before = mode != NULL ? mode() : -1;
    const int loaded = LoadLibraryA("scrivlet.dll") != NULL && mode != NULL ? mode() : -1;
    printf("new mode before loading scrivlet.dll: %d; loaded: %d\n", before, loaded);
    return before == 0 && loaded == 1 ? 0 : 1;
}
