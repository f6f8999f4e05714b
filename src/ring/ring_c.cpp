// The ring's C interface (ring_c.h): each function forwards to scrivlet::Ring, turning the C
// records into the class's options and counts. Divided into: the guard that every fallible
// function runs its call in (the caller's error record in, first failure wins, every exception
// caught and recorded), the conversions, and the functions in the header's order.
#include "scrivlet/ring_c.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "error_info.h"
#include "platform/platform.h"
#include "scrivlet/ring.h"

// The opaque ring of the C interface.
struct tagScrivletRing_1 {
    scrivlet::Ring ring;
};

namespace scrivlet {
namespace {

using Info = TQCLogFile_1::tagInfoData_1;

static_assert(sizeof(tagScrivletInfoData_1) == sizeof(Info), "the C record is the C++ record");
static_assert(SCRIVLET_MODULE_RING == kModuleRing && SCRIVLET_RING_NOT_OPEN == kRingNotOpen &&
                  SCRIVLET_RING_ALREADY_OPEN == kRingAlreadyOpen &&
                  SCRIVLET_RING_BAD_ARGUMENT == kRingBadArgument &&
                  SCRIVLET_RING_CONTINUE_FAILED == kRingContinueFailed &&
                  SCRIVLET_RING_RECORD_SIZE == kRingRecordSize &&
                  SCRIVLET_RING_RUNTIME == kRingRuntime,
              "the C places are the ring's");
static_assert(sizeof(tagScrivletRingStats_1) == 8 + 4 * 8, "the counts lie alike on every ABI");

// Records a null pointer argument (its number, from 1) or a record whose cbSize is below this
// generation's; both return false for the call to return.
bool BadArgument(Error& error, unsigned int number) {
    detail::StoreFailure(&error.info, kModuleRing, 0, TQCLogFile_1::ERRORTYPE_PARAMETER,
                         kRingBadArgument, number);
    return false;
}

bool SmallRecord(Error& error, unsigned int size) {
    detail::StoreFailure(&error.info, kModuleRing, TQCLogFile_1::REASON_TOO_SMALL,
                         TQCLogFile_1::ERRORTYPE_PARAMETER, kRingRecordSize, size);
    return false;
}

// Runs call(error) with the caller's record in error, so that a failure already stored there
// wins, and copies the record back when the call changed it (pInfo may be null). An exception
// is a failure of the runtime: no memory, or anything else. 1 when the call returned true.
template <typename Call>
int Guard(tagScrivletInfoData_1* pInfo, Call call) noexcept {
    Error error;
    if (pInfo != nullptr) std::memcpy(&error.info, pInfo, sizeof error.info);
    const Info before = error.info;
    bool ok = false;
    try {
        ok = call(error);
    } catch (const std::bad_alloc&) {
        detail::StoreFailure(&error.info, kModuleRing, os::ERROR_NOT_ENOUGH_MEMORY,
                             TQCLogFile_1::ERRORTYPE_SYSTEM, kRingRuntime, 0);
    } catch (...) {
        detail::StoreFailure(&error.info, kModuleRing, 0, TQCLogFile_1::ERRORTYPE_RUNTIME,
                             kRingRuntime, 0);
    }
    if (pInfo != nullptr && std::memcmp(&before, &error.info, sizeof before) != 0) {
        std::memcpy(pInfo, &error.info, sizeof error.info);
    }
    return ok ? 1 : 0;
}

// The class's options from the C record: zero or an empty text keeps the default.
bool ToOptions(const tagScrivletRingOptions_1* source, RingOptions& options, Error& error) {
    if (source == nullptr) return BadArgument(error, 1);
    if (source->cbSize < sizeof *source) return SmallRecord(error, source->cbSize);
    const auto text = [](const char* from, std::string& to) {
        if (from != nullptr && *from != '\0') to = from;
    };
    text(source->pszFolder, options.folder);
    text(source->pszName, options.name);
    text(source->pszHeader, options.header);
    text(source->pszFooter, options.footer);
    if (source->uiCount != 0) options.count = source->uiCount;
    if (source->uiSize != 0) options.size = source->uiSize;
    options.counter = source->bCounter != 0;
    options.text = source->bRaw != 0 ? Text::raw : Text::utf16;
    options.split = source->bSplit != 0;
    options.resume = source->bFresh == 0;
    return true;
}

std::string_view View(const void* bytes, std::size_t size) {
    return size == 0 ? std::string_view() : std::string_view(static_cast<const char*>(bytes), size);
}

// Copies text into a buffer of size bytes, cut at a UTF-8 character boundary and terminated
// (nothing when size is 0); returns the length of the whole text.
std::size_t CopyOut(const std::string& text, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return text.size();
    std::size_t n = text.size() < size ? text.size() : size - 1;
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return text.size();
}

// Records in one call of WriteRecords that are handed on without allocating.
const std::size_t kStackRecords = 64;

}  // namespace
}  // namespace scrivlet

using scrivlet::Error;

tagScrivletRing_1* ScrivletRing_Open_1(const tagScrivletRingOptions_1* pOptions,
                                       tagScrivletInfoData_1* pInfo) {
    tagScrivletRing_1* opened = nullptr;
    scrivlet::Guard(pInfo, [&](Error& error) {
        scrivlet::RingOptions options;
        if (!scrivlet::ToOptions(pOptions, options, error)) return false;
        std::unique_ptr<tagScrivletRing_1> ring(new tagScrivletRing_1);
        if (!ring->ring.open(options, error)) return false;
        opened = ring.release();
        return true;
    });
    return opened;
}

int ScrivletRing_Check_1(const tagScrivletRingOptions_1* pOptions, tagScrivletInfoData_1* pInfo) {
    return scrivlet::Guard(pInfo, [&](Error& error) {
        scrivlet::RingOptions options;
        return scrivlet::ToOptions(pOptions, options, error) &&
               scrivlet::Ring::check(options, error);
    });
}

int ScrivletRing_Write_1(tagScrivletRing_1* pRing, const void* pRecord, size_t cbRecord,
                         tagScrivletInfoData_1* pInfo) {
    return scrivlet::Guard(pInfo, [&](Error& error) {
        if (pRing == nullptr) return scrivlet::BadArgument(error, 1);
        if (pRecord == nullptr && cbRecord != 0) return scrivlet::BadArgument(error, 2);
        return pRing->ring.write(scrivlet::View(pRecord, cbRecord), error);
    });
}

int ScrivletRing_WriteRecords_1(tagScrivletRing_1* pRing, const tagScrivletRecord_1* pRecords,
                                size_t cRecords, tagScrivletInfoData_1* pInfo) {
    return scrivlet::Guard(pInfo, [&](Error& error) {
        if (pRing == nullptr) return scrivlet::BadArgument(error, 1);
        if (pRecords == nullptr && cRecords != 0) return scrivlet::BadArgument(error, 2);
        std::string_view few[scrivlet::kStackRecords];
        std::vector<std::string_view> many;
        std::string_view* views = few;
        if (cRecords > scrivlet::kStackRecords) {
            many.resize(cRecords);
            views = many.data();
        }
        for (std::size_t i = 0; i < cRecords; ++i) {
            const tagScrivletRecord_1& record = pRecords[i];
            if (record.pRecord == nullptr && record.cbRecord != 0) {
                return scrivlet::BadArgument(error, 2);
            }
            views[i] = scrivlet::View(record.pRecord, record.cbRecord);
        }
        return pRing->ring.write(views, cRecords, error);
    });
}

int ScrivletRing_GetStats_1(const tagScrivletRing_1* pRing, tagScrivletRingStats_1* pStats,
                            tagScrivletInfoData_1* pInfo) {
    return scrivlet::Guard(pInfo, [&](Error& error) {
        if (pRing == nullptr) return scrivlet::BadArgument(error, 1);
        if (pStats == nullptr) return scrivlet::BadArgument(error, 2);
        if (pStats->cbSize < sizeof *pStats) return scrivlet::SmallRecord(error, pStats->cbSize);
        const scrivlet::RingStats stats = pRing->ring.stats();
        pStats->ullRecords = stats.records;
        pStats->ullWrites = stats.writes;
        pStats->ullBytes = stats.bytes;
        pStats->ullWaiting = stats.waiting;
        return true;
    });
}

size_t ScrivletRing_GetPath_1(const tagScrivletRing_1* pRing, char* pszBuffer, size_t cbBuffer) {
    try {
        return scrivlet::CopyOut(pRing != nullptr ? pRing->ring.path() : std::string(), pszBuffer,
                                 cbBuffer);
    } catch (...) {
        return scrivlet::CopyOut(std::string(), pszBuffer, cbBuffer);  // allocates nothing
    }
}

int ScrivletRing_Close_1(tagScrivletRing_1* pRing, tagScrivletInfoData_1* pInfo) {
    return scrivlet::Guard(pInfo, [&](Error& error) {
        if (pRing == nullptr) return scrivlet::BadArgument(error, 1);
        const std::unique_ptr<tagScrivletRing_1> ring(pRing);  // ended whatever close gives
        return ring->ring.close(error);
    });
}

size_t ScrivletRing_Message_1(const tagScrivletInfoData_1* pInfo, char* pszBuffer,
                              size_t cbBuffer) {
    Error error;
    if (pInfo != nullptr) std::memcpy(&error.info, pInfo, sizeof error.info);
    try {
        return scrivlet::CopyOut(error.message(), pszBuffer, cbBuffer);
    } catch (...) {
        return scrivlet::CopyOut(std::string(), pszBuffer, cbBuffer);
    }
}
