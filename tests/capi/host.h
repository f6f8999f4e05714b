/* What the C hosts share: a check that counts and prints its failures, the check of a whole error
 * record (which it then clears), and the bytes of a ring's file. */
#ifndef SCRIVLET_TESTS_CAPI_HOST_H
#define SCRIVLET_TESTS_CAPI_HOST_H

#include <stdio.h>
#include <string.h>

#include "scrivlet/scrivlet_c.h"

static int g_failures = 0;

#define CHECK(condition)   \
    ((condition) ? (void)0 \
                 : (void)(++g_failures, printf("line %d: failed: %s\n", __LINE__, #condition)))

/* Whether the record holds exactly this failure; clears it for the next call. */
static int Holds(tagScrivletInfoData_1* info, unsigned int module, unsigned int type,
                 unsigned int error, unsigned int location, unsigned int value) {
    const int holds = info->uiErrorSet == 1 && info->uiModule == module &&
                      info->uiErrorType == type && info->uiError == error &&
                      info->uiLocation == location && info->uiValue == value;
    memset(info, 0, sizeof *info);
    return holds;
}

/* The bytes of file n of the ring name in folder (at most size), or -1 when it cannot be read. */
static long ReadRingFile(const char* folder, const char* name, int n, void* buffer, size_t size) {
    char path[300];
    FILE* file;
    long length = -1;
    sprintf(path, "%s/%s_%04d.log", folder, name, n);
    if ((file = fopen(path, "rb")) != NULL) length = (long)fread(buffer, 1, size, file);
    if (file != NULL) fclose(file);
    return length;
}

#endif /* SCRIVLET_TESTS_CAPI_HOST_H */
