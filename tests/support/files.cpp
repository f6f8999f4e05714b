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

WString Wide(const std::string& utf8) {
    WString out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp;
        std::size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            n = 3;
        } else {
            cp = c & 0x07;
            n = 4;
        }
        for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<TQ_WCHAR>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<TQ_WCHAR>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<TQ_WCHAR>(cp));
        }
    }
    return out;
}

std::string Narrow(const TQ_WCHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        const std::uint32_t c = static_cast<std::uint16_t>(*text);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
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

TQCLogFile_1::tagInitData_1 Config(unsigned int file_count, unsigned int file_size,
                                   const std::string& name, const std::string& folder,
                                   const std::string& header, const std::string& footer,
                                   bool counter) {
    TQCLogFile_1::tagInitData_1 data{};
    data.bCounter = counter;
    data.uiFileCount = file_count;
    data.uiFileSize = file_size;
    Put(data.szFileName, name);
    Put(data.szFolder, folder);
    Put(data.szHeader, header);
    Put(data.szFooter, footer);
    return data;
}

}  // namespace test
}  // namespace scrivlet
