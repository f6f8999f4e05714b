/* A C host of the C interface, compiled as C: writes a ring through each of the two classes,
 * reads the files back, and checks the error records of refused calls. Exits with 0 when every
 * check holds; prints each failed check. */
#include "host.h"

static void Widen(TQ_WCHAR* target, size_t count, const char* text) {
    size_t i = 0;
    for (; i + 1 < count && text[i] != '\0'; ++i) target[i] = (TQ_WCHAR)(unsigned char)text[i];
    target[i] = 0;
}

/* Writes five records of 300 bytes into a ring of three files of 688 bytes: two records fit a
 * file, so the files hold records 1-2, 3-4 and 5. */
static void WriteRing(int guarded, const char* folder) {
    tagScrivletLogFile_1 log;
    tagScrivletInitData_1 init;
    tagScrivletInfoData_1 info;
    tagScrivletChangeData_1 change;
    /* Static, so that the frame stays within a page (no stack probe on 32-bit Windows). */
    static TQ_WCHAR path[SCRIVLET_FOLDERFILENAME_SIZE], expected[SCRIVLET_FOLDERFILENAME_SIZE];
    unsigned char record[300];
    static unsigned char bytes[1024];
    int i;

    CHECK((guarded ? ScrivletLogFileM_Construct_1 : ScrivletLogFile_Construct_1)(&log));
    memset(&info, 0, sizeof info);
    /* Without Init the guarded class has no mutex: the wait fails (the record cleared). */
    CHECK(guarded == !ScrivletLogFile_Write_1(&log, "x", 1, &info));
    CHECK(!guarded || Holds(&info, SCRIVLET_MODULE_LOGFILE_M, SCRIVLET_ERRORTYPE_SYSTEM, 6, 15, 0));
    /* A refusal of the base class carries its module in both classes. */
    memset(&info, 0, sizeof info);
    memset(&init, 0, sizeof init);
    init.uiFileSize = 688;
    CHECK(!ScrivletLogFile_Init_1(&log, &init, &info));
    CHECK(Holds(&info, SCRIVLET_MODULE_LOGFILE, SCRIVLET_ERRORTYPE_PARAMETER,
                SCRIVLET_REASON_TOO_SMALL, 1, 0));

    init.uiFileCount = 3;
    Widen(init.szFileName, 56, "ring.log");
    Widen(init.szFolder, 196, folder);
    CHECK(ScrivletLogFile_Init_1(&log, &init, &info) && ScrivletLogFile_Switch_1(&log, 1, &info));
    for (i = 0; i < 5; ++i) {
        memset(record, 'a' + i, sizeof record);
        CHECK(ScrivletLogFile_Write_1(&log, record, sizeof record, &info));
    }
    CHECK(!ScrivletLogFile_Write_1(&log, record, 689, &info));
    CHECK(Holds(&info, SCRIVLET_MODULE_LOGFILE, SCRIVLET_ERRORTYPE_PARAMETER,
                SCRIVLET_REASON_NO_ROOM, 17, 688));
    memset(&change, 0, sizeof change);
    CHECK(ScrivletLogFile_GetData_1(&log, &change, &info) && change.bSwitchedOn == 1);
    CHECK(ScrivletLogFile_CopyFolderFileName_1(&log, path, &info));
    CHECK(ScrivletLogFile_Exit_1(&log, &info));
    ScrivletLogFile_Destroy_1(&log);

    /* The path names file 3; files 1 and 3 hold exactly their records. */
    Widen(expected, SCRIVLET_FOLDERFILENAME_SIZE, folder);
    Widen(expected + strlen(folder), 20, "\\ring_0003.log");
    CHECK(memcmp(path, expected, sizeof(TQ_WCHAR) * (strlen(folder) + 15)) == 0);
    CHECK(ReadRingFile(folder, "ring", 3, bytes, sizeof bytes) == 300 && bytes[0] == 'e' &&
          bytes[299] == 'e');
    CHECK(ReadRingFile(folder, "ring", 1, bytes, sizeof bytes) == 600);
    CHECK(bytes[0] == 'a' && bytes[299] == 'a' && bytes[300] == 'b' && bytes[599] == 'b');
}

int main(void) {
    TQ_WCHAR text[25];
    unsigned int value = 99;
    tagScrivletLogFile_1 storage;

    CHECK(ScrivletGetInterfaceVersion() == 5);
    ScrivletDateTimeToString_1(((TQ_DATETIME)0x7EACu << 32) | 0x23D1782Du, text);
    CHECK(text[0] == '0' && text[1] == '4' && text[6] == '2' && text[22] == '5' && text[23] == 0);
    Widen(text, 25, "");
    CHECK(ScrivletCheckCreateFolder_1(text, &value) == SCRIVLET_FOLDER_EMPTY && value == 0);
    /* Storage that is not aligned is refused. */
    CHECK(!ScrivletLogFile_Construct_1((tagScrivletLogFile_1*)(storage.u.abStorage + 1)));

    WriteRing(0, "capi-c-plain");
    WriteRing(1, "capi-c-guarded");
    if (g_failures == 0) printf("all checks passed\n");
    return g_failures == 0 ? 0 : 1;
}
