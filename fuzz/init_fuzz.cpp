// Init with arbitrary bytes as the configuration record, text fields without a terminating zero
// included. The record lives in a heap block of exactly its size, so that AddressSanitizer
// catches any read past it. Init either accepts the record, and then every value is within its
// limit, or refuses it with a parameter failure at the first of locations 1 to 8 (in the order
// Init checks them) whose limit the record breaks, carrying the offending number or length. The
// record itself is never changed.
#include <cstdint>
#include <cstring>
#include <memory>

#include "check.h"
#include "scrivlet/scrivlet.h"

namespace {

typedef TQCLogFile_1::tagInitData_1 InitData;
typedef TQCLogFile_1::tagInfoData_1 Info;

template <std::size_t N>
unsigned Length(const TQ_WCHAR (&text)[N]) {
    unsigned n = 0;
    while (n < N && text[n] != 0) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[sizeof(InitData)]());
    std::memcpy(bytes.get(), data, size < sizeof(InitData) ? size : sizeof(InitData));
    InitData* config = reinterpret_cast<InitData*>(bytes.get());

    const unsigned count = config->uiFileCount;
    const unsigned file_size = config->uiFileSize;
    const unsigned name = Length(config->szFileName);
    const unsigned folder = Length(config->szFolder);
    const unsigned footer = Length(config->szFooter);
    const unsigned header = Length(config->szHeader);

    TQCLogFile_1 log;
    Info info = {};
    const bool accepted = log.Init(config, &info);
    FUZZ_CHECK(std::memcmp(bytes.get(), data, size < sizeof(InitData) ? size : sizeof(InitData)) ==
               0);
    if (accepted) {
        FUZZ_CHECK(info.uiErrorSet == 0);
        FUZZ_CHECK(count >= 1 && count <= 9999);
        FUZZ_CHECK(file_size >= 688 && file_size <= 104857600);
        FUZZ_CHECK(name <= 54 && folder <= 195 && footer <= 63 && header <= 63);
        TQCLogFile_1::tagChangeData_1 change = {};
        FUZZ_CHECK(log.GetFolderFileName(&change, &info) && change.pszFolderFileName[0] == 0);
        return 0;
    }
    FUZZ_CHECK(info.uiErrorSet == 1 && info.uiModule == 46 && info.uiErrorType == 4);
    // The first limit that the record breaks, in the order Init checks them.
    struct Expected {
        bool broken;
        unsigned error, value;
    } const kOrder[8] = {
        {count < 1, 9, count},
        {count > 9999, 8, count},
        {file_size < 688, 9, file_size},
        {file_size > 104857600, 8, file_size},
        {name > 54, 7, name},
        {folder > 195, 7, folder},
        {footer > 63, 7, footer},
        {header > 63, 7, header},
    };
    // Header (8) is checked before footer (7).
    const unsigned order[8] = {1, 2, 3, 4, 5, 6, 8, 7};
    unsigned location = 0;
    for (unsigned at : order) {
        if (kOrder[at - 1].broken) {
            location = at;
            break;
        }
    }
    FUZZ_CHECK(location != 0);
    FUZZ_CHECK(info.uiLocation == location);
    FUZZ_CHECK(info.uiError == kOrder[location - 1].error);
    FUZZ_CHECK(info.uiValue == kOrder[location - 1].value);
    return 0;
}
