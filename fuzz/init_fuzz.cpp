// Init with arbitrary bytes as the configuration record, text fields without a terminating zero
// included. The record lives in a heap block of exactly its size, so that AddressSanitizer
// catches any read past it. Init refuses the record with a parameter failure at the first of
// locations 1 to 8 (in the order Init checks them) whose limit the record breaks, carrying the
// offending number or length, and accepts it when it breaks none. The record itself is never
// changed.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>

#include "check.h"
#include "scrivlet/scrivlet.h"

typedef TQCLogFile_1::tagInitData_1 InitData;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t given = std::min(size, sizeof(InitData));
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[sizeof(InitData)]());
    std::memcpy(bytes.get(), data, given);
    InitData* config = reinterpret_cast<InitData*>(bytes.get());
    // A text's length within its array: without a terminating zero, the array's element count.
    const auto length = [](const auto& text) {
        return static_cast<unsigned>(std::find(std::begin(text), std::end(text), 0) -
                                     std::begin(text));
    };
    const unsigned count = config->uiFileCount, file_size = config->uiFileSize;
    const unsigned name = length(config->szFileName), folder = length(config->szFolder);
    const unsigned footer = length(config->szFooter), header = length(config->szHeader);
    // Each limit in the order Init checks it (the header, 8, before the footer, 7): the location,
    // whether the record breaks it, and the reason and value of its refusal.
    const struct Check {
        unsigned location;
        bool broken;
        unsigned error, value;
    } checks[] = {
        {1, count < 1, 9, count},
        {2, count > 9999, 8, count},
        {3, file_size < 688, 9, file_size},
        {4, file_size > 104857600, 8, file_size},
        {5, name > 54, 7, name},
        {6, folder > 195, 7, folder},
        {8, header > 63, 7, header},
        {7, footer > 63, 7, footer},
    };
    const Check* broken =
        std::find_if(std::begin(checks), std::end(checks), [](const Check& c) { return c.broken; });

    TQCLogFile_1 log;
    TQCLogFile_1::tagInfoData_1 info = {};
    const bool accepted = log.Init(config, &info);
    FUZZ_CHECK(std::memcmp(bytes.get(), data, given) == 0);
    // Accepted: nothing on disk yet, so no path. Refused: the whole record of the first limit.
    TQCLogFile_1::tagChangeData_1 change = {};
    if (broken == std::end(checks)) {
        FUZZ_CHECK(accepted && info.uiErrorSet == 0 && log.GetFolderFileName(&change, &info) &&
                   change.pszFolderFileName[0] == 0);
    } else {
        FUZZ_CHECK(!accepted && info.uiErrorSet == 1 && info.uiModule == 46 &&
                   info.uiErrorType == 4 && info.uiLocation == broken->location &&
                   info.uiError == broken->error && info.uiValue == broken->value);
    }
    return 0;
}
