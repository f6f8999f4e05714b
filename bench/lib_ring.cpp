// Configuration texts and helpers of the library side of the benchmarks.
#include "lib_ring.h"

namespace scrivlet::bench {

const char kHeaderText[] = "Scrivlet benchmark";
const char kFooterText[] = "end of file";

bool PutWide(TQ_WCHAR* field, std::size_t elements, const std::string& text) {
    if (text.size() >= elements) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) return false;  // the benchmark's paths and texts are ASCII
        field[i] = static_cast<TQ_WCHAR>(c);
    }
    field[text.size()] = 0;
    return true;
}

void Die(const char* what, const TQCLogFile_1::tagInfoData_1& info) {
    std::fprintf(stderr,
                 "scrivlet_bench: %s failed: module %u, location %u, error type %u, error %u, "
                 "value %u\n",
                 what, info.uiModule, info.uiLocation, info.uiErrorType, info.uiError,
                 info.uiValue);
    std::exit(1);
}

}  // namespace scrivlet::bench
