// Test helpers for files and text.
#include "support/files.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace scrivlet {
namespace test {

namespace fs = std::filesystem;

TempDir::TempDir() : previous_(fs::current_path()) {
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0;; ++attempt) {
        std::ostringstream name;
        name << "scrivlet-test-" << std::hex << stamp << '-' << random() << '-' << attempt;
        path_ = fs::temp_directory_path() / name.str();
        if (fs::create_directory(path_)) break;
    }
    fs::current_path(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
}

WString Wide(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

std::string Narrow(const TQ_WCHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out.push_back(*text < 0x80 ? char(*text) : '?');
    return out;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

std::string Utf16Bytes(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

namespace {

template <std::size_t N>
void Put(TQ_WCHAR (&field)[N], const std::string& text) {
    const WString wide = Wide(text);
    for (std::size_t i = 0; i < N; ++i) field[i] = i < wide.size() ? wide[i] : 0;
}

}  // namespace

InitData Config(unsigned int file_count, unsigned int file_size, const std::string& name,
                const std::string& folder, const std::string& header, const std::string& footer,
                bool counter) {
    InitData data{};
    data.bCounter = counter;
    data.uiFileCount = file_count;
    data.uiFileSize = file_size;
    Put(data.szFileName, name);
    Put(data.szFolder, folder);
    Put(data.szHeader, header);
    Put(data.szFooter, footer);
    return data;
}

bool Open(TQCLogFile_1& log, InitData config, Info* info) {
    return log.Init(&config, info) && log.Switch(true, info);
}

}  // namespace test
}  // namespace scrivlet

bool operator==(const TQCLogFile_1::tagInfoData_1& a, const TQCLogFile_1::tagInfoData_1& b) {
    return a.uiModule == b.uiModule && a.uiError == b.uiError && a.uiErrorType == b.uiErrorType &&
           a.uiLocation == b.uiLocation && a.uiValue == b.uiValue && a.uiErrorSet == b.uiErrorSet;
}

void PrintTo(const TQCLogFile_1::tagInfoData_1& i, std::ostream* os) {
    *os << "{" << i.uiModule << ", " << i.uiError << ", " << i.uiErrorType << ", " << i.uiLocation
        << ", " << i.uiValue << ", " << i.uiErrorSet << "}";
}
