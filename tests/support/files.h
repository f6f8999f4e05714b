// Test helpers for files and text: a private working directory per test, reading a file back,
// UTF-16 conversions, and a configuration record filled from ordinary strings.
#ifndef SCRIVLET_TESTS_SUPPORT_FILES_H
#define SCRIVLET_TESTS_SUPPORT_FILES_H

#include <filesystem>
#include <string>

#include "scrivlet/scrivlet.h"

namespace scrivlet {
namespace test {

using WString = std::basic_string<TQ_WCHAR>;

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
TQCLogFile_1::tagInitData_1 Config(unsigned int file_count, unsigned int file_size,
                                   const std::string& name = "", const std::string& folder = "",
                                   const std::string& header = "", const std::string& footer = "",
                                   bool counter = false);

// An empty error record.
inline TQCLogFile_1::tagInfoData_1 NoError() { return TQCLogFile_1::tagInfoData_1{}; }

}  // namespace test
}  // namespace scrivlet

#endif  // SCRIVLET_TESTS_SUPPORT_FILES_H
