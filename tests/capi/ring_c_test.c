/* A C host of the ring's C interface, compiled as C89: bad arguments refused without a crash,
 * records one and several at a time read back, the path, the options' flags, a refusal's words,
 * and eight threads whose records the ring writes in groups. Built against libscrivlet-ring.so,
 * the MinGW scrivlet-ring.dll (x86, x64), and with clang-cl in the MSVC ABI against that same
 * MinGW DLL. Exits with 0 when every check holds; prints each failed check. */
#include "scrivlet/ring_c.h"

#include "host.h"

static tagScrivletInfoData_1 g_info; /* the record of the calls under test */
static tagScrivletRing_1* g_ring;
static char g_text[300], g_big[65536];
static tagScrivletRingOptions_1 g_options;
static tagScrivletRingStats_1 g_stats;
static tagScrivletRecord_1 g_many[70];

/* Opens a ring of three files of raw records, configured in g_options. */
static tagScrivletRing_1* Open(const char* folder, unsigned int size) {
    memset(&g_options, 0, sizeof g_options);
    g_options.cbSize = sizeof g_options;
    g_options.pszFolder = folder;
    g_options.pszName = "c";
    g_options.uiCount = 3;
    g_options.uiSize = size;
    g_options.bRaw = g_options.bFresh = 1;
    return ScrivletRing_Open_1(&g_options, &g_info);
}

/* Whether file 1 of the ring in folder holds the bytes. */
static int FileHolds(const char* folder, const char* bytes, size_t size) {
    const long length = ReadRingFile(folder, "c", 1, g_big, sizeof g_big);
    long at = 0;
    while (at + (long)size <= length && memcmp(g_big + at, bytes, size) != 0) ++at;
    return at + (long)size <= length;
}

static void Calls(void) {
    static const tagScrivletRecord_1 kRecords[3] = {{"two", 3}, {"three", 5}, {"", 0}};
    static const char kWords[] =
        "configuration: the file size is too small: 100 (file size in bytes; at least 688) "
        "[log file 46, place 3, parameter error, reason 9 too small]";
    int i;

    /* A null pointer is a parameter failure of the ring with the argument's number; a short
     * record another, with its cbSize. The first failure stays; no record is no crash. */
    g_ring = Open("ring-c", 688);
    CHECK(!ScrivletRing_Open_1(NULL, &g_info) && !ScrivletRing_Write_1(g_ring, NULL, 1, &g_info) &&
          Holds(&g_info, 50, 4, 0, 3, 1));
    CHECK(!ScrivletRing_Write_1(NULL, "x", 1, NULL) &&
          !ScrivletRing_Write_1(g_ring, NULL, 1, &g_info) && Holds(&g_info, 50, 4, 0, 3, 2));
    CHECK(!ScrivletRing_WriteRecords_1(g_ring, NULL, 1, &g_info) && Holds(&g_info, 50, 4, 0, 3, 2));
    CHECK(!ScrivletRing_GetStats_1(g_ring, NULL, &g_info) && Holds(&g_info, 50, 4, 0, 3, 2));
    CHECK(!ScrivletRing_Close_1(NULL, &g_info) && Holds(&g_info, 50, 4, 0, 3, 1));
    g_stats.cbSize = 8;
    CHECK(!ScrivletRing_GetStats_1(g_ring, &g_stats, &g_info) && Holds(&g_info, 50, 4, 9, 5, 8));

    /* One record, then three in one write, then 70 (more than a call hands on on its stack). */
    for (i = 0; i < 70; ++i) g_many[i].pRecord = "-", g_many[i].cbRecord = 1;
    CHECK(ScrivletRing_Write_1(g_ring, "one", 3, &g_info) &&
          ScrivletRing_WriteRecords_1(g_ring, kRecords, 3, &g_info) &&
          ScrivletRing_WriteRecords_1(g_ring, g_many, 70, &g_info));
    g_stats.cbSize = sizeof g_stats;
    CHECK(ScrivletRing_GetStats_1(g_ring, &g_stats, &g_info) && g_stats.ullRecords == 74 &&
          g_stats.ullWrites == 3 && g_stats.ullBytes == 81 && g_stats.ullWaiting == 0);
    CHECK(ScrivletRing_GetPath_1(g_ring, g_text, 99) == 17 && strstr(g_text, "c_0001.log"));
    CHECK(ScrivletRing_Close_1(g_ring, &g_info) && FileHolds("ring-c", "onetwothree---", 14));

    /* Text (bRaw 0) too long for a file goes in pieces (bSplit), as UTF-16 with CR LF; bFresh
     * starts at file 1. The path, whole and cut at a character, in a folder of UTF-8. */
    memset(g_big, 'y', sizeof g_big);
    g_options.pszFolder = "ring-c-\xC3\xBC";
    g_options.bRaw = 0;
    g_options.bSplit = 1;
    g_ring = ScrivletRing_Open_1(&g_options, &g_info);
    CHECK(ScrivletRing_Write_1(g_ring, g_big, 2000, &g_info) &&
          ScrivletRing_GetStats_1(g_ring, &g_stats, &g_info) && g_stats.ullBytes == 4004);
    CHECK(ScrivletRing_GetPath_1(g_ring, g_text, 99) == 20 && g_text[15] != '1' &&
          ScrivletRing_GetPath_1(g_ring, g_text, 9) == 20 && strcmp(g_text, "ring-c-") == 0);
    CHECK(ScrivletRing_Close_1(g_ring, NULL) && ScrivletRing_GetPath_1(NULL, g_text, 9) == 0);
    g_ring = ScrivletRing_Open_1(&g_options, &g_info);
    CHECK(ScrivletRing_GetPath_1(g_ring, g_text, 99) == 20 && g_text[15] == '1' &&
          ScrivletRing_Close_1(g_ring, NULL) && g_info.uiErrorSet == 0);

    /* A refused configuration: the class's record in the class's words, cut to the buffer. */
    g_options.uiSize = 100;
    CHECK(!ScrivletRing_Check_1(&g_options, &g_info));
    CHECK(ScrivletRing_Message_1(&g_info, g_text, 300) == strlen(kWords) &&
          !strcmp(g_text, kWords));
    CHECK(ScrivletRing_Message_1(&g_info, NULL, 0) == strlen(kWords) &&
          ScrivletRing_Message_1(&g_info, g_text, 6) == strlen(kWords) && !strcmp(g_text, "confi"));
    CHECK(Holds(&g_info, 46, 4, 9, 3, 100) && ScrivletRing_Message_1(NULL, g_text, 99) == 8 &&
          strcmp(g_text, "no error") == 0);
    g_options.cbSize = 4;
    CHECK(!ScrivletRing_Open_1(&g_options, &g_info) && Holds(&g_info, 50, 4, 9, 5, 4));
}

#if defined(_WIN32)
/* On Windows (where the C++ class is out of a host's reach), eight threads write 50 records of
 * 64 KiB each into one ring: all are written, in fewer write-through calls than records. The
 * records are large so that each write takes its time even where it reaches only the page cache
 * (Wine's WriteFile): records that arrive meanwhile form the next group. */
#include <windows.h>
#define THREADS 8
#define RECORDS 50

static DWORD WINAPI Writer(void* n) {
    tagScrivletInfoData_1 info = {0};
    int i;
    for (i = 0; i < RECORDS; ++i) *(int*)n += ScrivletRing_Write_1(g_ring, g_big, 65536, &info);
    return 0;
}

static void Threads(void) {
    HANDLE threads[THREADS];
    int i, total = 0, written[THREADS] = {0};
    g_ring = Open("ring-c-threads", 1048576);
    for (i = 0; i < THREADS; ++i) threads[i] = CreateThread(NULL, 0, Writer, &written[i], 0, NULL);
    WaitForMultipleObjects(THREADS, threads, TRUE, INFINITE);
    g_stats.cbSize = sizeof g_stats;
    CHECK(ScrivletRing_GetStats_1(g_ring, &g_stats, &g_info) &&
          ScrivletRing_Close_1(g_ring, &g_info));
    printf("%d threads: %lu records in %lu write-through calls\n", THREADS,
           (unsigned long)g_stats.ullRecords, (unsigned long)g_stats.ullWrites);
    for (i = 0; i < THREADS; ++i) total += written[i] - !CloseHandle(threads[i]);
    CHECK(total == THREADS * RECORDS && g_stats.ullRecords == THREADS * RECORDS);
    CHECK(g_stats.ullWrites < g_stats.ullRecords && g_stats.ullBytes == 65536 * THREADS * RECORDS);
}
#else
static void Threads(void) {}
#endif

int main(void) {
    Calls();
    Threads();
    if (g_failures == 0) printf("all checks passed\n");
    return g_failures != 0;
}
