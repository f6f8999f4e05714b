// Power cuts on POSIX. Every state that a cut could leave of a writer's files (built by the
// explorer in crashstates/ from the durability the POSIX stand-ins declare) keeps every
// acknowledged record; and the stand-ins do what they declare, as seen from their fsync and
// fdatasync calls and from the flags of the descriptors they open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "crash/record.h"
#include "crashstates/explorer.h"
#include "platform/posix/durability.h"
#include "platform/posix/handle_table.h"
#include "scrivlet/ring.h"
#include "support/support.h"

namespace {

std::vector<std::string> g_synced;  // the paths of the descriptors synced, in order

void NoteSync(int fd) {
    char link[64], path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    g_synced.push_back(std::string(path, length > 0 ? static_cast<std::size_t>(length) : 0));
}

}  // namespace

// This program's own fsync and fdatasync: the stand-ins' calls end here, are noted, and go on to
// the kernel.
extern "C" int fsync(int fd) {
    NoteSync(fd);
    return static_cast<int>(syscall(SYS_fsync, fd));
}
extern "C" int fdatasync(int fd) {
    NoteSync(fd);
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}

namespace {

using namespace scrivlet::test;
namespace os = scrivlet::os;
namespace crash = scrivlet::crash;
namespace fs = std::filesystem;

struct Writer {
    const char* name;
    bool lines;  // counter, header and footer lines
    bool ring;   // through scrivlet::Ring, four records a call (one group each)
};

void PrintTo(const Writer& writer, std::ostream* os) { *os << writer.name; }

class PowerCut : public ::testing::TestWithParam<Writer> {};

// The writer creates its folder (two directories), wraps a ring of 3 files twice, writes 3 more
// records and is cut.
TEST_P(PowerCut, EveryStateKeepsTheAcknowledgedRecords) {
    TempDir dir;
    const bool lines = GetParam().lines;
    Trace trace;
    Probe<> log;  // outlive the recording: the cut comes before anything is closed
    scrivlet::Ring ring;
    {
        Recorder recorder(&trace);
        Info info = NoError();
        if (GetParam().ring) {
            scrivlet::RingOptions options;
            options.folder = "crash/ring";
            options.name = "log";
            options.count = 3;
            options.size = 688;
            options.header = "h";
            options.footer = "f";
            options.counter = true;
            options.text = scrivlet::Text::raw;
            scrivlet::Error error;
            ASSERT_TRUE(ring.open(options, error)) << error.message();
            std::string path = ring.path();
            for (unsigned n = 1, opened = 1; opened < 7; n += 4) {
                const std::string records[] = {crash::Record(n), crash::Record(n + 1),
                                               crash::Record(n + 2), crash::Record(n + 3)};
                const std::string_view views[] = {records[0], records[1], records[2], records[3]};
                ASSERT_TRUE(ring.write(views, 4, error)) << error.message();
                for (const std::string& record : records) trace.Acknowledge(record);
                if (ring.path() != path) ++opened, path = ring.path();
            }
        } else {
            ASSERT_TRUE(Open(
                log,
                Config(3, 688, "log", "crash\\ring", lines ? "h" : "", lines ? "f" : "", lines),
                &info));
            unsigned opened = 1, in_file = 0;
            for (unsigned n = 1; opened < 7 || in_file < 3; ++n, ++in_file) {
                const unsigned number = log.m_uiFileNumber;
                const std::string record = crash::Record(n);
                ASSERT_TRUE(log.Write(record.data(), crash::kRecordSize, &info)) << n;
                trace.Acknowledge(record);
                if (log.m_uiFileNumber != number) ++opened, in_file = 0;
            }
        }
    }
#ifdef SCRIVLET_TOOL
    const std::string tool = SCRIVLET_TOOL;
#else
    const std::string tool;
#endif
    const std::string args = std::string("--folder crash/ring --name log --count 3 --size 688 ") +
                             (lines ? "--header h --footer f --counter" : "--raw");
    const Exploration result = Explore(trace, tool, args, dir.path() / "states");
    std::string failures;
    for (const std::string& failure : result.failures) failures += "\n" + failure;
    EXPECT_EQ(failures, "");
    std::printf("%zu operations, %zu records: %zu cuts, %zu states, %zu checked by verify\n",
                trace.ops.size(), trace.acknowledged.size(), result.cuts, result.states,
                result.verified);
}

INSTANTIATE_TEST_SUITE_P(Writers, PowerCut,
                         ::testing::Values(Writer{"Records", false, false},
                                           Writer{"Lines", true, false},
                                           Writer{"Ring", true, true}),
                         [](const auto& param) { return std::string(param.param.name); });

bool Synced(const fs::path& path) {
    return std::count(g_synced.begin(), g_synced.end(), fs::canonical(path).string()) > 0;
}

bool WritesThrough(os::HANDLE file) {
    const os::posix::Object* object = os::posix::Find(file, os::posix::Kind::kFile);
    return object != nullptr && (fcntl(object->fd, F_GETFL) & O_DSYNC) == O_DSYNC;
}

TEST(Durability, StandInsKeepWhatTheyDeclare) {
    TempDir dir;
    const os::posix::Durability& declared = os::posix::kDurability;
    g_synced.clear();
    ASSERT_TRUE(os::CreateDirectoryW(Wide("d").c_str(), nullptr));
    EXPECT_EQ(Synced(dir.path()), declared.directory_entry) << "a new directory's parent";
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing a file" : "creating a file");
        g_synced.clear();
        const os::HANDLE file =
            os::CreateFileW(Wide("d\\f").c_str(), os::GENERIC_READ | os::GENERIC_WRITE,
                            os::FILE_SHARE_READ, nullptr, os::CREATE_ALWAYS,
                            os::FILE_ATTRIBUTE_NORMAL | os::FILE_FLAG_WRITE_THROUGH, nullptr);
        ASSERT_NE(file, os::InvalidHandleValue());
        if (replacing) {
            EXPECT_EQ(Synced("d/f"), declared.truncation);
        } else {
            EXPECT_EQ(Synced("d"), declared.file_entry) << "a new file's directory";
        }
        // Writes through, so that each write (and with it a truncation) is on the storage.
        EXPECT_EQ(WritesThrough(file), declared.write);
        os::DWORD written = 0;
        EXPECT_TRUE(os::WriteFile(file, "abc", 3, &written, nullptr));
        EXPECT_TRUE(os::CloseHandle(file));
    }
}

}  // namespace
