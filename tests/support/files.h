// Test helpers for files and text: a private working directory per test, reading a file back,
// UTF-16 conversions, a configuration record filled from ordinary strings, and error records
// that compare and print as a whole.
#ifndef SCRIVLET_TESTS_SUPPORT_FILES_H
#define SCRIVLET_TESTS_SUPPORT_FILES_H

#include <filesystem>
#include <ostream>
#include <string>

#include "scrivlet/scrivlet.h"

namespace scrivlet {
namespace test {

using WString = std::basic_string<TQ_WCHAR>;
using Info = TQCLogFile_1::tagInfoData_1;
using InitData = TQCLogFile_1::tagInitData_1;
using Change = TQCLogFile_1::tagChangeData_1;

// Creates a fresh, empty directory and makes it the current directory; removes it and goes back
// when it ends. Tests run in parallel processes, each in its own directory.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// ASCII text as UTF-16, and back (for messages and comparisons; other characters become '?').
WString Wide(const std::string& ascii);
std::string Narrow(const TQ_WCHAR* text);
inline std::string Narrow(const WString& text) { return Narrow(text.c_str()); }

// The bytes of a file ("" when it cannot be read), and whether it exists.
std::string ReadBytes(const std::filesystem::path& path);
bool Exists(const std::filesystem::path& path);

// Text as the library writes it into a file: UTF-16LE bytes.
std::string Utf16Bytes(const std::string& ascii);

// A configuration record: zeroed, then the given values.
InitData Config(unsigned int file_count, unsigned int file_size, const std::string& name = "",
                const std::string& folder = "", const std::string& header = "",
                const std::string& footer = "", bool counter = false);

// An empty error record.
inline Info NoError() { return Info{}; }

// Init with config, then switch on; false at the first refusal, which info holds.
bool Open(TQCLogFile_1& log, InitData config, Info* info);

}  // namespace test
}  // namespace scrivlet

// Error records are equal when all six fields are; they print as {module, error, type, location,
// value, set}.
bool operator==(const TQCLogFile_1::tagInfoData_1& a, const TQCLogFile_1::tagInfoData_1& b);
void PrintTo(const TQCLogFile_1::tagInfoData_1& info, std::ostream* os);

#endif  // SCRIVLET_TESTS_SUPPORT_FILES_H
