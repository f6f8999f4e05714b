/* A C host of the ring's C interface, compiled as C89: null pointers and short records refused
 * without a crash, a refusal's record and words, records written one and several at a time and
 * read back, the options' flags, and eight threads whose records the ring writes in groups.
 * Built against libscrivlet-ring.so, against the MinGW scrivlet-ring.dll for x86 and x64, and
 * with clang-cl in the MSVC ABI against that same MinGW DLL. Exits with 0 when every check
 * holds; prints each failed check. */
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <pthread.h>
#endif

#include "scrivlet/ring_c.h"

static int g_failures = 0;

#define CHECK(condition)                                                   \
    do {                                                                   \
        if (!(condition)) {                                                \
            ++g_failures;                                                  \
            printf("%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
        }                                                                  \
    } while (0)

static int Holds(const tagScrivletInfoData_1* info, unsigned int module, unsigned int type,
                 unsigned int error, unsigned int location, unsigned int value) {
    return info->uiErrorSet == 1 && info->uiModule == module && info->uiErrorType == type &&
           info->uiError == error && info->uiLocation == location && info->uiValue == value;
}

/* Raw records into a ring of three files of 688 bytes with counter, header and footer lines. */
static void Options(tagScrivletRingOptions_1* options, const char* folder) {
    memset(options, 0, sizeof *options);
    options->cbSize = sizeof *options;
    options->pszFolder = folder;
    options->pszName = "c";
    options->uiCount = 3;
    options->uiSize = 688;
    options->pszHeader = "Head";
    options->pszFooter = "Foot";
    options->bCounter = 1;
    options->bRaw = 1;
    options->bFresh = 1;
}

/* Whether file n of the ring in folder holds the bytes. */
static int FileHolds(const char* folder, int n, const char* bytes, size_t size) {
    static char content[4096];
    char path[64];
    FILE* file;
    size_t length, at;
    sprintf(path, "%s/c_000%d.log", folder, n);
    file = fopen(path, "rb");
    if (file == NULL) return 0;
    length = fread(content, 1, sizeof content, file);
    fclose(file);
    for (at = 0; at + size <= length; ++at) {
        if (memcmp(content + at, bytes, size) == 0) return 1;
    }
    return 0;
}

#define SCRIVLET_RING_PARAMETER(info, location, value)                                       \
    Holds(info, SCRIVLET_MODULE_RING, SCRIVLET_ERRORTYPE_PARAMETER,                          \
          (location) == SCRIVLET_RING_RECORD_SIZE ? SCRIVLET_REASON_TOO_SMALL : 0, location, \
          value)

/* Null pointers and records of an unknown size are parameter failures of the ring; the first
 * failure stays in the record; a call without a record fails all the same. */
static void BadArguments(void) {
    tagScrivletRingOptions_1 options;
    tagScrivletInfoData_1 info;
    tagScrivletRingStats_1 stats;
    tagScrivletRing_1* ring;
    static char words[300];

    memset(&info, 0, sizeof info);
    CHECK(ScrivletRing_Open_1(NULL, &info) == NULL);
    CHECK(!ScrivletRing_Write_1(NULL, "x", 1, &info));
    CHECK(SCRIVLET_RING_PARAMETER(&info, SCRIVLET_RING_BAD_ARGUMENT, 1));
    CHECK(!ScrivletRing_Write_1(NULL, "x", 1, NULL));
    Options(&options, "ring-c-args");
    options.cbSize = 4;
    memset(&info, 0, sizeof info);
    CHECK(ScrivletRing_Open_1(&options, &info) == NULL);
    CHECK(SCRIVLET_RING_PARAMETER(&info, SCRIVLET_RING_RECORD_SIZE, 4));

    options.cbSize = sizeof options;
    ring = ScrivletRing_Open_1(&options, NULL);
    CHECK(ring != NULL);
    memset(&info, 0, sizeof info);
    CHECK(!ScrivletRing_Write_1(ring, NULL, 1, &info));
    CHECK(SCRIVLET_RING_PARAMETER(&info, SCRIVLET_RING_BAD_ARGUMENT, 2));
    CHECK(ScrivletRing_Message_1(&info, words, sizeof words) == strlen(words));
    CHECK(strcmp(words,
                 "calling the ring's C interface: a pointer argument is null: 2 (the argument's "
                 "number) [ring 50, place 3, parameter error]") == 0);
    memset(&info, 0, sizeof info);
    CHECK(!ScrivletRing_WriteRecords_1(ring, NULL, 1, &info));
    CHECK(SCRIVLET_RING_PARAMETER(&info, SCRIVLET_RING_BAD_ARGUMENT, 2));
    memset(&info, 0, sizeof info);
    CHECK(!ScrivletRing_GetStats_1(ring, NULL, &info));
    CHECK(SCRIVLET_RING_PARAMETER(&info, SCRIVLET_RING_BAD_ARGUMENT, 2));
    memset(&info, 0, sizeof info);
    stats.cbSize = 8;
    CHECK(!ScrivletRing_GetStats_1(ring, &stats, &info));
    CHECK(SCRIVLET_RING_PARAMETER(&info, SCRIVLET_RING_RECORD_SIZE, 8));
    memset(&info, 0, sizeof info);
    CHECK(!ScrivletRing_Close_1(NULL, &info));
    CHECK(SCRIVLET_RING_PARAMETER(&info, SCRIVLET_RING_BAD_ARGUMENT, 1));

    memset(&info, 0, sizeof info);
    CHECK(ScrivletRing_Write_1(ring, NULL, 0, &info) && info.uiErrorSet == 0);
    CHECK(ScrivletRing_GetPath_1(NULL, words, sizeof words) == 0 && words[0] == '\0');
    CHECK(ScrivletRing_Close_1(ring, NULL));
}

/* A refused configuration comes back as the class gives it, with its words, cut to the buffer
 * and terminated; the length returned is always the whole message's. */
static void Refusal(void) {
    static const char kWords[] =
        "configuration: the file size is too small: 100 (file size in bytes; at least 688) "
        "[log file 46, place 3, parameter error, reason 9 too small]";
    tagScrivletRingOptions_1 options;
    tagScrivletInfoData_1 info;
    static char words[300];

    Options(&options, "ring-c-refused");
    options.uiSize = 100;
    memset(&info, 0, sizeof info);
    CHECK(!ScrivletRing_Check_1(&options, &info));
    CHECK(Holds(&info, SCRIVLET_MODULE_LOGFILE, SCRIVLET_ERRORTYPE_PARAMETER,
                SCRIVLET_REASON_TOO_SMALL, 3, 100));
    memset(&info, 0, sizeof info);
    CHECK(ScrivletRing_Open_1(&options, &info) == NULL && info.uiValue == 100);
    CHECK(ScrivletRing_Message_1(&info, words, sizeof words) == sizeof kWords - 1);
    CHECK(strcmp(words, kWords) == 0);
    CHECK(ScrivletRing_Message_1(&info, words, 6) == sizeof kWords - 1);
    CHECK(strcmp(words, "confi") == 0);
    CHECK(ScrivletRing_Message_1(&info, NULL, 0) == sizeof kWords - 1);
    CHECK(ScrivletRing_Message_1(NULL, words, sizeof words) == 8 && strcmp(words, "no error") == 0);
}

/* One record, then three at once, which go to the storage in one write; the path, cut at a
 * character boundary; text records in pieces (bSplit) or refused; bFresh starts at file 1. */
static void Records(void) {
    tagScrivletRingOptions_1 options;
    tagScrivletInfoData_1 info;
    tagScrivletRingStats_1 stats;
    tagScrivletRecord_1 records[3];
    tagScrivletRing_1* ring;
    static char path[300], big[2000];
    static const char* const kTexts[] = {"two", "three", ""};
    int i;

    Options(&options, "ring-c");
    memset(&info, 0, sizeof info);
    ring = ScrivletRing_Open_1(&options, &info);
    CHECK(ring != NULL && ScrivletRing_Write_1(ring, "one", 3, &info));
    for (i = 0; i < 3; ++i) {
        records[i].pRecord = kTexts[i];
        records[i].cbRecord = strlen(kTexts[i]);
    }
    CHECK(ScrivletRing_WriteRecords_1(ring, records, 3, &info));
    memset(&stats, 0xFF, sizeof stats);
    stats.cbSize = sizeof stats;
    CHECK(ScrivletRing_GetStats_1(ring, &stats, &info));
    CHECK(stats.ullRecords == 4 && stats.ullWrites == 2 && stats.ullBytes == 11);
    CHECK(stats.ullWaiting == 0 && stats.uiReserved == 0);
    CHECK(ScrivletRing_GetPath_1(ring, path, sizeof path) == 17);
    CHECK(strncmp(path, "ring-c", 6) == 0 && strcmp(path + 7, "c_0001.log") == 0);
    CHECK(ScrivletRing_Close_1(ring, &info) && info.uiErrorSet == 0);
    CHECK(FileHolds("ring-c", 1, "onetwothree", 11));

    options.pszFolder = "ring-c-\xC3\xBC";
    options.bRaw = 0;
    memset(big, 'y', sizeof big);
    ring = ScrivletRing_Open_1(&options, &info);
    CHECK(ScrivletRing_GetPath_1(ring, path, 9) == 20 && strcmp(path, "ring-c-") == 0);
    CHECK(!ScrivletRing_Write_1(ring, big, sizeof big, &info));
    CHECK(Holds(&info, SCRIVLET_MODULE_LOGFILE, SCRIVLET_ERRORTYPE_PARAMETER,
                SCRIVLET_REASON_NO_ROOM, 17, 490));
    CHECK(ScrivletRing_Close_1(ring, NULL));
    options.pszFolder = "ring-c-split";
    options.bSplit = 1;
    memset(&info, 0, sizeof info);
    ring = ScrivletRing_Open_1(&options, &info);
    CHECK(ScrivletRing_Write_1(ring, big, sizeof big, &info) && info.uiErrorSet == 0);
    CHECK(ScrivletRing_GetPath_1(ring, path, sizeof path) == 23 && path[18] != '1');
    CHECK(ScrivletRing_Close_1(ring, &info) && FileHolds("ring-c-split", 1, "y\0y\0y\0", 6));
    ring = ScrivletRing_Open_1(&options, &info);
    CHECK(ScrivletRing_GetPath_1(ring, path, sizeof path) == 23 && path[18] == '1');
    CHECK(ScrivletRing_Close_1(ring, &info) && info.uiErrorSet == 0);
}

/* Eight threads write 50 records each into one ring: all are written, in fewer write-through
 * calls than records. The records are large (64 KiB), so that each write takes its time even
 * where it reaches only the page cache (Wine's WriteFile): records that arrive meanwhile form
 * the next group. */
#define THREADS 8
#define RECORDS 50
#define RECORD_BYTES 65536

static tagScrivletRing_1* g_ring;
static int g_written[THREADS];
static char g_record[RECORD_BYTES];

#if defined(_WIN32)
static DWORD WINAPI Writer(void* slot)
#else
static void* Writer(void* slot)
#endif
{
    tagScrivletInfoData_1 info;
    int i;
    memset(&info, 0, sizeof info);
    for (i = 0; i < RECORDS; ++i) {
        *(int*)slot += ScrivletRing_Write_1(g_ring, g_record, sizeof g_record, &info);
    }
    return 0;
}

static void Threads(void) {
    tagScrivletRingOptions_1 options;
    tagScrivletInfoData_1 info;
    tagScrivletRingStats_1 stats;
    int i, written = 0;
#if defined(_WIN32)
    HANDLE threads[THREADS];
#else
    pthread_t threads[THREADS];
#endif

    Options(&options, "ring-c-threads");
    options.uiSize = 1048576;
    memset(g_record, 'r', sizeof g_record);
    memset(&info, 0, sizeof info);
    g_ring = ScrivletRing_Open_1(&options, &info);
    CHECK(g_ring != NULL);
    for (i = 0; i < THREADS; ++i) {
#if defined(_WIN32)
        threads[i] = CreateThread(NULL, 0, Writer, &g_written[i], 0, NULL);
#else
        pthread_create(&threads[i], NULL, Writer, &g_written[i]);
#endif
    }
#if defined(_WIN32)
    WaitForMultipleObjects(THREADS, threads, TRUE, INFINITE);
#endif
    for (i = 0; i < THREADS; ++i) {
#if defined(_WIN32)
        CloseHandle(threads[i]);
#else
        pthread_join(threads[i], NULL);
#endif
        written += g_written[i];
    }
    stats.cbSize = sizeof stats;
    CHECK(ScrivletRing_GetStats_1(g_ring, &stats, &info));
    printf("%d threads: %lu records in %lu write-through calls\n", THREADS,
           (unsigned long)stats.ullRecords, (unsigned long)stats.ullWrites);
    CHECK(written == THREADS * RECORDS && stats.ullRecords == THREADS * RECORDS);
    CHECK(stats.ullBytes == (TQ_UINT64)RECORD_BYTES * THREADS * RECORDS &&
          stats.ullWrites < stats.ullRecords);
    CHECK(ScrivletRing_Close_1(g_ring, &info) && info.uiErrorSet == 0);
}

int main(void) {
    BadArguments();
    Refusal();
    Records();
    Threads();
    if (g_failures == 0) printf("all checks passed\n");
    return g_failures == 0 ? 0 : 1;
}
