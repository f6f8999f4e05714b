// Opens up the protected members of either log file class, for tests that set up a state or
// watch one.
#ifndef SCRIVLET_TESTS_SUPPORT_PROBE_H
#define SCRIVLET_TESTS_SUPPORT_PROBE_H

#include <type_traits>

#include "error_info.h"
#include "scrivlet/scrivlet.h"

namespace scrivlet {
namespace test {

template <class C = TQCLogFile_1>
class Probe : public C {
  public:
    static constexpr bool kGuarded = std::is_same<C, TQCLogFileM_1>::value;
    using C::CreateFileName, C::m_bCounter, C::m_bSwitchedOn, C::m_hFile, C::m_szFileName;
    using C::m_szFolder, C::m_szFooter, C::m_szHeader, C::m_uiCounter, C::m_uiFileBytes;
    using C::m_uiFileCount, C::m_uiFileNumber, C::m_uiFileSize, C::m_uiHeaderLength;

    bool HasFile() const { return this->m_hFile != TQ_INVALID_HANDLE; }
    // The guarded class's mutex (null for the other class) and its time-out.
    TQ_HANDLE Mutex() const {
        if constexpr (kGuarded) return this->m_hMutex;
        return nullptr;
    }
    unsigned& Timeout() { return this->m_uiTimeout; }
    // Handles as a record's uiValue holds them.
    unsigned FileValue() const { return detail::HandleValue(this->m_hFile); }
    unsigned MutexValue() const { return detail::HandleValue(Mutex()); }
};

}  // namespace test
}  // namespace scrivlet

#endif  // SCRIVLET_TESTS_SUPPORT_PROBE_H
