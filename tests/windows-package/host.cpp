// A host of Microsoft's C++ ABI built from the Windows archive: a log file of the classes
// (msvc/'s DLL) and a ring through the ring library's C interface. Prints "host: ok" when every
// call succeeded; the CI step then reads what they wrote.
#include "scrivlet/ring_c.h"
#include "scrivlet/scrivlet.h"

extern "C" int __cdecl printf(const char* format, ...);

namespace {

template <unsigned N>
void SetText(TQ_WCHAR (&field)[N], const char* text) {
    unsigned i = 0;
    for (; i + 1 < N && text[i] != 0; ++i) field[i] = static_cast<TQ_WCHAR>(text[i]);
    field[i] = 0;
}

template <typename Info>
int Fail(const char* what, const Info& info) {
    printf("host: %s failed: module %u, location %u, error %u\n", what, info.uiModule,
           info.uiLocation, info.uiError);
    return 1;
}

}  // namespace

int main() {
    TQCLogFile_1 log;
    TQCLogFile_1::tagInitData_1 config = {};
    config.uiFileCount = 2;
    config.uiFileSize = 4096;
    SetText(config.szFileName, "classes");
    SetText(config.szFolder, "classes");
    TQCLogFile_1::tagInfoData_1 info = {};
    static const char kRecord[] = "written through the classes\r\n";
    if (!log.Init(&config, &info)) return Fail("Init", info);
    if (!log.Switch(true, &info)) return Fail("Switch on", info);
    if (!log.Write(kRecord, sizeof kRecord - 1, &info)) return Fail("Write", info);
    if (!log.Exit(&info)) return Fail("Exit", info);

    tagScrivletRingOptions_1 options = {};
    options.cbSize = sizeof options;
    options.pszFolder = "ring";
    tagScrivletInfoData_1 ring_info = {};
    tagScrivletRing_1* ring = ScrivletRing_Open_1(&options, &ring_info);
    if (ring == nullptr) return Fail("ScrivletRing_Open_1", ring_info);
    static const char kLine[] = "written through ring_c.h";
    if (!ScrivletRing_Write_1(ring, kLine, sizeof kLine - 1, &ring_info)) {
        return Fail("ScrivletRing_Write_1", ring_info);
    }
    if (!ScrivletRing_Close_1(ring, &ring_info)) return Fail("ScrivletRing_Close_1", ring_info);
    printf("host: ok\n");
    return 0;
}
