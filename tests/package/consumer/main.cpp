// A host built against the installed package: it reaches each family of the exported surface once
// and exits with 1 when an answer is not the expected one, printing each.
#include <scrivlet/scrivlet.h>

#include <cstdio>
#include <string>

int main() {
    int failures = 0;
    auto expect = [&failures](bool ok, const char* what) {
        if (!ok) std::printf("FAILED: %s\n", what);
        failures += ok ? 0 : 1;
    };
    using Text = std::basic_string<TQ_WCHAR>;
    expect(ScrivletGetInterfaceVersion() == 5, "interface version 5");
    TQ_WCHAR text[25];
    TQ_DateTime::DateTimeSpaceToString_1(0x00007EAC23D1782DULL, text);
    expect(Text(text) == TQ_TEXT("2026.12.04 15:17:30.045 "), "year-first time stamp");
    TQ_DateTime::DateTimeToString_1(0x00007EAC23D1782DULL, text);
    expect(Text(text) == TQ_TEXT("04.12.2026 15:17:30.045"), "day-first time stamp");
    expect(TQ_DateTime::GetLocalDateTime_1() >> 36 >= 2024, "the clock reads a current year");
    unsigned int value = 1;
    expect(TQ_Folder::CheckCreateFolder_1(TQ_TEXT("consumer-logs\\sub"), value) == 0 && value == 0,
           "folder created");

    TQCLogFile_1 log;
    TQCLogFile_1::tagInfoData_1 info = {};
    TQCLogFile_1::tagInitData_1 config = {};
    config.uiFileCount = 2;
    config.uiFileSize = 687;
    expect(!log.Init(&config, &info) && info.uiLocation == 3 && info.uiValue == 687,
           "file size 687 refused at location 3");
    info = TQCLogFile_1::tagInfoData_1();
    config.uiFileSize = 688;
    Text(TQ_TEXT("host.log")).copy(config.szFileName, 8);
    TQCLogFile_1::tagChangeData_1 state = {};
    expect(log.Init(&config, &info) && log.Switch(true, &info) &&
               log.Write("record\r\n", 8, &info) && log.GetFolderFileName(&state, &info) &&
               log.Switch(false, &info),
           "configured, switched on, record written, switched off");
    expect(Text(state.pszFolderFileName) == TQ_TEXT("host_0001.log"), "file name host_0001.log");
    TQCLogFileM_1 guarded;
    expect(guarded.Init(&config, &info) && guarded.Exit(&info), "guarded object");
    std::printf("%s\n", failures == 0 ? "consumer: all checks passed" : "consumer: FAILED");
    return failures == 0 ? 0 : 1;
}
