// The POSIX side of the platform layer: errno as Windows error codes, UTF-16 paths as native
// paths, and the directory operations and per-thread last error built on them, against real files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <thread>
#include <utility>

#include "platform/posix/errors.h"
#include "platform/posix/paths.h"
#include "support/files.h"

namespace os = scrivlet::os;
using scrivlet::test::TempDir;

namespace {

TEST(PosixErrors, ErrnoTable) {
    const struct {
        int error;
        os::DWORD code;
    } cases[] = {
        {ENOTDIR, 3}, {EACCES, 5},   {EPERM, 5},    {EBADF, 6},          {ENOMEM, 8},
        {EROFS, 19},  {ENOSPC, 112}, {EEXIST, 183}, {ENAMETOOLONG, 206}, {ECHILD, 31},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(os::posix::ErrorFromErrno(c.error, "x"), c.code) << "errno " << c.error;
    }
}

TEST(PosixErrors, MissingObjectDependsOnItsParent) {
    TempDir dir;
    std::filesystem::create_directory("present");
    const std::string absolute = dir.path().string();
    EXPECT_EQ(os::posix::ErrorFromErrno(ENOENT, "missing"), 2u);
    EXPECT_EQ(os::posix::ErrorFromErrno(ENOENT, "present/missing"), 2u);
    EXPECT_EQ(os::posix::ErrorFromErrno(ENOENT, "missing/child"), 3u);
    EXPECT_EQ(os::posix::ErrorFromErrno(ENOENT, (absolute + "/missing/child").c_str()), 3u);
    EXPECT_EQ(os::posix::ErrorFromErrno(ENOENT, nullptr), 2u);
}

TEST(PosixErrors, NativePath) {
    char out[os::posix::kNativePathSize];
    ASSERT_EQ(os::posix::NativePath(u"C:\\Logs\\a/b\\", out, sizeof out), 0u);
    EXPECT_STREQ(out, "C:/Logs/a/b/");
    // U+00E9 and U+1F600 (a surrogate pair) in UTF-8.
    ASSERT_EQ(os::posix::NativePath(u"\u00e9\U0001F600", out, sizeof out), 0u);
    EXPECT_STREQ(out, "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(os::posix::NativePath(u"", out, sizeof out), 3u);
    EXPECT_EQ(os::posix::NativePath(nullptr, out, sizeof out), 3u);
    const char16_t lone_high[] = {'a', 0xD800, 0};
    const char16_t high_then_text[] = {0xD800, 'a', 0};
    const char16_t lone_low[] = {0xDC00, 0};
    EXPECT_EQ(os::posix::NativePath(lone_high, out, sizeof out), 123u);
    EXPECT_EQ(os::posix::NativePath(high_then_text, out, sizeof out), 123u);
    EXPECT_EQ(os::posix::NativePath(lone_low, out, sizeof out), 123u);
    EXPECT_EQ(os::posix::NativePath(u"abcd", out, 4), 206u);
}

TEST(PosixErrors, DirectoriesAgainstRealFiles) {
    TempDir dir;
    std::ofstream("file") << "x";
    const mode_t previous = umask(027);
    EXPECT_TRUE(os::CreateDirectoryW(u"a", nullptr));
    EXPECT_TRUE(os::CreateDirectoryW(u"a\\b", nullptr));
    umask(previous);
    struct stat info;
    ASSERT_EQ(stat("a/b", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0750u);

    EXPECT_EQ(os::GetFileAttributesW(u"a\\b"), os::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(os::GetFileAttributesW(u"file"), os::FILE_ATTRIBUTE_NORMAL);

    // Path; the last error after the failed query and after the failed creation.
    const std::pair<const char16_t*, os::DWORD> failures[] = {
        {u"a\\b\\c\\d", 3}, {u"file\\x", 3}, {u"", 3}, {u"a\xD800", 123}};
    for (const auto& f : failures) {
        os::SetLastError(0);
        EXPECT_EQ(os::GetFileAttributesW(f.first), os::INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(os::GetLastError(), f.second) << scrivlet::test::Narrow(f.first);
        os::SetLastError(0);
        EXPECT_FALSE(os::CreateDirectoryW(f.first, nullptr));
        EXPECT_EQ(os::GetLastError(), f.second) << scrivlet::test::Narrow(f.first);
    }
    EXPECT_EQ(os::GetFileAttributesW(u"missing"), os::INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os::GetLastError(), 2u);
    EXPECT_FALSE(os::CreateDirectoryW(u"a", nullptr));
    EXPECT_EQ(os::GetLastError(), 183u);
}

TEST(PosixErrors, LastErrorIsPerThread) {
    os::SetLastError(42);
    std::thread([] {
        EXPECT_EQ(os::GetLastError(), 0u);
        os::SetLastError(7);
    }).join();
    EXPECT_EQ(os::GetLastError(), 42u);
}

}  // namespace
