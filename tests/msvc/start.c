/* The start of the test hosts in the MSVC ABI, which have no C runtime start-up code: runs main
 * and ends the process through msvcrt's exit, which flushes what printf buffered. */
int main(void);
void __cdecl exit(int status);

void mainCRTStartup(void) { exit(main()); }
