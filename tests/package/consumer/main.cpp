// A host built against the installed package: it reaches each family of the exported surface once
// and exits with 1 at the first answer that is not the expected one.
#include <scrivlet/scrivlet.h>

#include <cstdio>

namespace {

int failures = 0;

void Expect(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

bool Equal(const TQ_WCHAR* a, const TQ_WCHAR* b) {
    for (; *a != 0 && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

}  // namespace

int main() {
    Expect(ScrivletGetInterfaceVersion() == 5, "interface version 5");

    TQ_WCHAR text[25];
    TQ_DateTime::DateTimeSpaceToString_1(0x00007EAC23D1782DULL, text);
    Expect(Equal(text, TQ_TEXT("2026.12.04 15:17:30.045 ")), "year-first time stamp");
    TQ_DateTime::DateTimeToString_1(0x00007EAC23D1782DULL, text);
    Expect(Equal(text, TQ_TEXT("04.12.2026 15:17:30.045")), "day-first time stamp");
    Expect(TQ_DateTime::GetLocalDateTime_1() >> 36 >= 2024, "the clock reads a current year");

    unsigned int value = 1;
    Expect(TQ_Folder::CheckCreateFolder_1(TQ_TEXT("consumer-logs\\sub"), value) == 0 && value == 0,
           "folder created");

    TQCLogFile_1 log;
    TQCLogFile_1::tagInfoData_1 info = {};
    TQCLogFile_1::tagInitData_1 config = {};
    config.uiFileCount = 2;
    config.uiFileSize = 687;
    Expect(!log.Init(&config, &info) && info.uiLocation == 3 && info.uiValue == 687,
           "file size 687 refused at location 3");
    info = TQCLogFile_1::tagInfoData_1();
    config.uiFileSize = 688;
    const TQ_WCHAR name[] = TQ_TEXT("host.log");
    for (unsigned i = 0; i < sizeof name / sizeof name[0]; ++i) config.szFileName[i] = name[i];
    Expect(log.Init(&config, &info), "configuration accepted");
    Expect(log.Switch(true, &info), "switched on");
    Expect(log.Write("record\r\n", 8, &info), "record written");
    TQCLogFile_1::tagChangeData_1 state = {};
    log.GetFolderFileName(&state, &info);
    Expect(Equal(state.pszFolderFileName, TQ_TEXT("host_0001.log")), "file name host_0001.log");
    Expect(log.Switch(false, &info), "switched off");

    TQCLogFileM_1 guarded;
    Expect(guarded.Init(&config, &info) && guarded.Exit(&info), "guarded object");

    std::printf("%s\n", failures == 0 ? "consumer: all checks passed" : "consumer: FAILED");
    return failures == 0 ? 0 : 1;
}
