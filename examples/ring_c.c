/* A C host of the ring (scrivlet/ring_c.h): opens a ring of four files of 64 KiB, writes records
 * one at a time and several at once, prints where they went and how they were grouped, closes
 * the ring, and shows the words of a refused configuration. Links libscrivlet-ring (on Windows
 * scrivlet-ring.dll, through its import library or scrivlet-ring.def).
 *
 * Usage: example_ring_c [folder]   (default: ring-c-demo, relative to the current directory) */
#include "scrivlet/ring_c.h"

#include <stdio.h>
#include <string.h>

/* Prints a failure in words and returns 1, the exit code of a failed run. */
static int Fail(const char* what, const tagScrivletInfoData_1* info) {
    char words[512];
    ScrivletRing_Message_1(info, words, sizeof words);
    fprintf(stderr, "%s failed: %s\n", what, words);
    return 1;
}

int main(int argc, char** argv) {
    tagScrivletRingOptions_1 options;
    tagScrivletInfoData_1 info;
    tagScrivletRingStats_1 stats;
    tagScrivletRecord_1 batch[3];
    tagScrivletRing_1* ring;
    char path[300], record[64];
    int i;

    memset(&options, 0, sizeof options); /* zero: every default */
    options.cbSize = sizeof options;
    options.pszFolder = argc > 1 ? argv[1] : "ring-c-demo";
    options.uiCount = 4;
    options.uiSize = 65536;
    options.pszHeader = "pump station 3";
    options.bCounter = 1;
    memset(&info, 0, sizeof info); /* the first failure lands here */
    ring = ScrivletRing_Open_1(&options, &info);
    if (ring == NULL) return Fail("open", &info);

    /* Each record is UTF-8 text, one line, on the storage when the call returns nonzero. Any
     * number of threads may write at once; their records are then written in groups. */
    for (i = 1; i <= 1000; ++i) {
        sprintf(record, "reading %d: 4.2 bar", i);
        if (!ScrivletRing_Write_1(ring, record, strlen(record), &info)) {
            ScrivletRing_Close_1(ring, NULL);
            return Fail("write", &info);
        }
    }
    /* Several records at once: consecutive in the ring, in as few writes as the files allow. */
    batch[0].pRecord = "valve 1 open";
    batch[1].pRecord = "valve 2 open";
    batch[2].pRecord = "pump 3 started";
    for (i = 0; i < 3; ++i) batch[i].cbRecord = strlen((const char*)batch[i].pRecord);
    if (!ScrivletRing_WriteRecords_1(ring, batch, 3, &info)) {
        ScrivletRing_Close_1(ring, NULL);
        return Fail("write records", &info);
    }

    ScrivletRing_GetPath_1(ring, path, sizeof path);
    stats.cbSize = sizeof stats;
    ScrivletRing_GetStats_1(ring, &stats, &info);
    printf("current file: %s\n", path);
    printf("%lu records, %lu bytes, in %lu write-through calls\n", (unsigned long)stats.ullRecords,
           (unsigned long)stats.ullBytes, (unsigned long)stats.ullWrites);
    if (!ScrivletRing_Close_1(ring, &info)) return Fail("close", &info); /* ends the ring */

    /* A configuration the ring refuses, in words. */
    options.uiSize = 100;
    memset(&info, 0, sizeof info);
    if (!ScrivletRing_Check_1(&options, &info)) {
        ScrivletRing_Message_1(&info, path, sizeof path);
        printf("files of 100 bytes: refused: %s\n", path);
    }
    return 0;
}
