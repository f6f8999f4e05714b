// Checking and creating folder paths against the real file system, in each test's own directory.
// On Linux a drive such as "C:" is a directory of that name in the current directory; on Windows
// it is a real drive, so only the set-up differs (which drive is missing, where a test folder
// goes); the expected results are the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>

#include "support/support.h"

namespace fs = std::filesystem;
using namespace scrivlet::test;

namespace {

// The result, the out-value, and the queries and creations made on the way.
using Walked = std::tuple<int, unsigned, unsigned, unsigned>;
Walked Walk(const FaultScope& faults, const std::string& path) {
    const unsigned queries = faults.Calls(Op::kGetFileAttributesW);
    const unsigned creations = faults.Calls(Op::kCreateDirectoryW);
    unsigned int value = 12345;  // set on entry
    const int result = TQ_Folder::CheckCreateFolder_1(Wide(path).c_str(), value);
    return Walked(result, value, faults.Calls(Op::kGetFileAttributesW) - queries,
                  faults.Calls(Op::kCreateDirectoryW) - creations);
}

// A library path as a path of the file system this test runs on.
fs::path Native(std::string path) {
    if (fs::path::preferred_separator == '/') std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool IsDirectory(const std::string& path) {
    std::error_code ignored;
    return fs::is_directory(Native(path), ignored);
}

// Drive C: exists (on Linux a directory "C:" here); the folder made on it is removed at the end.
struct DriveC {
    explicit DriveC(const std::string& made) : folder(Native(made)) {
        fs::create_directory("C:", ignored);
    }
    ~DriveC() { fs::remove_all(folder, ignored); }
    fs::path folder;
    std::error_code ignored;
};

TEST(Folder, WalkResultsParentsFirstAndFailures) {
    TempDir dir;
    const std::string top = "C:\\Scrivlet-" + dir.path().filename().string();
    DriveC drive(top);
    std::ofstream("file") << "x";
    std::string missing;  // a drive letter with a colon that does not exist here
    for (char letter = 'Z'; letter > 'C' && missing.empty(); --letter) {
        if (!IsDirectory(std::string(1, letter) + ":\\")) missing = std::string(1, letter) + ":";
    }
    FaultScope faults;
    // Path; result, out-value, queries, creations.
    const std::pair<std::string, Walked> cases[] = {
        {"", {1, 0, 0, 0}},
        {"\\\\\\", {2, 0, 0, 0}},
        {"C:", {0, 0, 1, 0}},
        {"C:\\", {0, 0, 1, 0}},
        {"Logs\\App", {0, 0, 2, 2}},
        {"Inner\\\\Deep", {0, 0, 3, 2}},          // an empty name between two backslashes
        {"file", {0, 0, 1, 0}},                   // any object counts as present
        {"file\\sub", {6, 3, 2, 0}},              // a file where a folder is expected
        {"C:/ScrivletAbsent/App", {6, 3, 2, 0}},  // '/' separates nothing
        {"C:\\a:b", {4, 0, 2, 0}},                // any colon ends a drive prefix
        {"\\Logs", {6, 3, 1, 0}},                 // an empty first prefix is no drive
        {"\\\\server\\share\\Logs", {6, 3, 1, 0}},
        {missing + "\\Logs", {4, 0, 1, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(Walk(faults, c.first), c.second) << c.first;
    EXPECT_TRUE(IsDirectory("Logs\\App"));
    EXPECT_FALSE(IsDirectory("C:\\ScrivletAbsent"));

    // Missing directories are created top down; the last creation leaves the last error 0.
    scrivlet::os::SetLastError(1234);
    EXPECT_EQ(Walk(faults, top + "\\App\\"), Walked(0, 0, 3, 2));
    EXPECT_TRUE(IsDirectory(top + "\\App"));
    EXPECT_EQ(scrivlet::os::GetLastError(), 0u);
    // All present: nothing created, the last error untouched.
    scrivlet::os::SetLastError(1234);
    EXPECT_EQ(Walk(faults, top + "\\App"), Walked(0, 0, 3, 0));
    EXPECT_EQ(scrivlet::os::GetLastError(), 1234u);
    // The second creation fails: the parent made by the first stays.
    faults.FailCall(Op::kCreateDirectoryW, 2, 5);
    EXPECT_EQ(Walk(faults, top + "\\B\\C"), Walked(5, 5, 4, 2));
    EXPECT_TRUE(IsDirectory(top + "\\B") && !IsDirectory(top + "\\B\\C"));
    // A query that fails for another reason than absence.
    faults.FailCall(Op::kGetFileAttributesW, 2, 5);
    EXPECT_EQ(Walk(faults, top + "\\E"), Walked(6, 5, 2, 0));
    // An empty first prefix reported absent is created like any other, never taken for a drive.
    faults.FailCall(Op::kGetFileAttributesW, 1, 2);
    EXPECT_EQ(Walk(faults, "\\Logs"), Walked(5, 3, 1, 1));
    // 195 characters pass the limit and the walk begins (its first query made to fail here).
    for (const std::string& path :
         {std::string(97, 'a') + "\\" + std::string(97, 'b'), std::string(193, 'a') + "\\\\"}) {
        faults.FailCall(Op::kGetFileAttributesW, 1, 5);
        EXPECT_EQ(Walk(faults, path), Walked(6, 5, 1, 0)) << path.size();
    }
    // One more is refused before anything is touched, counting trailing backslashes too.
    EXPECT_EQ(Walk(faults, std::string(196, 'a')), Walked(3, 196, 0, 0));
    EXPECT_EQ(Walk(faults, std::string(190, 'a') + "\\\\\\\\\\\\"), Walked(3, 196, 0, 0));
    EXPECT_EQ(Walk(faults, std::string(300, 'a')), Walked(3, 300, 0, 0));
}

}  // namespace
