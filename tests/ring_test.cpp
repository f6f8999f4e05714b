// Many threads through one TQCLogFileM_1 and through one scrivlet::Ring (its group commit), with
// frequent rotation, and every file read back afterwards; then the ring alone: a failing group
// write fails exactly its callers, a failed rotation is recovered, the configuration's refusals
// and the error words, records of exactly the room, and records split to fit.
#include "scrivlet/ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <regex>
#include <thread>
#include <vector>

#include "support/support.h"

namespace scrivlet {
namespace test {
namespace {

namespace fs = std::filesystem;

const unsigned kFileSize = 2048;

// "[T:NNNN:LLL:" then the letter of thread T up to a closing "]", L characters in all (written
// as UTF-16). The sizes vary with thread and number.
std::string Record(unsigned thread, unsigned number) {
    const unsigned length = 14 + (thread * 37 + number * 53) % 140;
    char head[32];
    std::snprintf(head, sizeof head, "[%u:%04u:%03u:", thread, number, length);
    std::string text = head;
    return text + std::string(length - 1 - text.size(), static_cast<char>('a' + thread)) + "]";
}

// A file as read back: its counter line, its header line, whole records and its footer line of
// 34 characters. Returns its counter and the bytes of its first record, and adds its records to
// each thread's numbers, or fails.
std::pair<unsigned, unsigned> Parse(const std::string& bytes,
                                    std::map<unsigned, std::vector<unsigned>>& numbers) {
    std::string text;  // UTF-16 as ASCII, which is all the file may hold
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) text += bytes[i + 1] ? '?' : bytes[i];
    const std::string stamp = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3} )";
    std::smatch head;
    const bool lines =
        bytes.size() % 2 == 0 && text.size() > 34 &&
        std::regex_search(text, head,
                          std::regex(stamp + R"((\d+) 1 1\r\n)" + stamp + "Head 1 2\r\n"),
                          std::regex_constants::match_continuous) &&
        std::regex_match(text.substr(text.size() - 34), std::regex(stamp + "Foot 1 3\r\n"));
    EXPECT_TRUE(lines) << "library lines missing or out of place";
    if (!lines) return {0, 0};
    unsigned first = 0;
    for (auto at = static_cast<std::size_t>(head.length()); at < text.size() - 34;) {
        unsigned thread = 0, number = 0, length = 0;
        std::sscanf(text.c_str() + at, "[%u:%u:%u:", &thread, &number, &length);
        if (length == 0 || text.compare(at, length, Record(thread, number)) != 0 ||
            at + length > text.size() - 34) {
            ADD_FAILURE() << "broken record at byte " << at * 2;
            break;
        }
        first = first == 0 ? 2 * length : first;
        numbers[thread].push_back(number);
        at += length;
    }
    return {static_cast<unsigned>(std::stoul(head[1])), first};
}

// Storage as slow as a disk's: every WriteFile waits while g_hold is set (g_arrived counts those
// that came) and takes g_slow; then it notes, for each thread, the number after its last record
// written (a thread's records are written in order).
std::atomic<bool> g_hold{false};
std::atomic<int> g_arrived{0};
std::chrono::microseconds g_slow{0};
std::atomic<unsigned> g_stored[16];
os::WriteFileFunction* g_next_write = nullptr;

os::BOOL StorageWrite(os::HANDLE h, const void* data, DWORD count, DWORD* written, void* ov) {
    ++g_arrived;
    while (g_hold) std::this_thread::yield();
    std::this_thread::sleep_for(g_slow);
    const os::BOOL ok = g_next_write(h, data, count, written, ov);
    std::string text;  // UTF-16 as ASCII
    for (DWORD i = 0; i < count; i += 2) text += static_cast<const char*>(data)[i];
    unsigned t = 0, n = 0;
    for (std::size_t at = text.find('['); at != std::string::npos; at = text.find('[', at + 1)) {
        if (ok && std::sscanf(&text[at], "[%u:%u:", &t, &n) == 2) g_stored[t % 16] = n + 1;
    }
    return ok;
}

// Writers through the guarded log file or the ring; one more thread keeps reading the state and
// the path. A ring of files large enough to keep every file (each thread's records all there, in
// order), or of three that wraps (per thread, consecutive numbers up to its last record). The
// ring's writers hand in one to three records a call on slow storage, into groups that such calls
// often fill: a call returns only once its records are all stored, and writes are shared.
TEST(Threads, EveryRecordWholeOnceInOrderAndRotatedExactly) {
    const struct {
        bool ring;
        unsigned threads, per_thread, file_count;
    } cases[] = {{false, 2, 80, 999},
                 {false, 8, 20, 999},
                 {false, 4, 50, 3},
                 {true, 16, 100, 999},
                 {true, 4, 50, 3}};
    g_next_write = os::Table().WriteFile;
    os::Table().WriteFile = StorageWrite;
    for (const auto& c : cases) {
        for (auto& stored : g_stored) stored = 0;
        g_slow = std::chrono::microseconds(c.ring ? 100 : 0);
        SCOPED_TRACE(std::string(c.ring ? "ring, " : "guarded log file, ") +
                     std::to_string(c.threads) + " threads, " + std::to_string(c.file_count));
        TempDir dir;
        TQCLogFileM_1 log;
        Ring ring;
        Error error;
        Info info{};
        // Groups of the room of a file, so that the records of one call often fill a group.
        const RingOptions options{"ring", "s",       c.file_count, kFileSize, "Head", "Foot",
                                  true,   Text::raw, false,        false,     1};
        ASSERT_TRUE(
            c.ring ? ring.open(options, error)
                   : Open(log, Config(c.file_count, kFileSize, "s", "ring", "Head", "Foot", true),
                          &info))
            << error.message();
        std::atomic<unsigned> failures{0};
        std::atomic<bool> done{false};
        std::thread reader([&] {
            while (!done) {
                // GetData fills both fields, GetFolderFileName only the path.
                Info read{};
                Change change{}, name{};
                TQ_WCHAR path[260];
                failures += c.ring ? fs::path(ring.path()).parent_path() != "ring"
                                   : !log.GetData(&change, &read) || !change.bSwitchedOn ||
                                         !log.GetFolderFileName(&name, &read) || name.bSwitchedOn ||
                                         name.pszFolderFileName != change.pszFolderFileName ||
                                         !log.CopyFolderFileName(path, &read) ||
                                         Narrow(path).compare(0, 7, "ring\\s_") != 0;
                std::this_thread::yield();
            }
        });
        std::vector<std::thread> writers;
        for (unsigned t = 0; t < c.threads; ++t) {
            writers.emplace_back([&, t] {
                for (unsigned n = 0, k = 1; n < c.per_thread; n += k) {
                    k = c.ring ? std::min(1 + (n + t) % 3, c.per_thread - n) : 1;
                    std::string held[3];
                    std::string_view views[3];
                    for (unsigned i = 0; i < k; ++i) {
                        views[i] = held[i] = Utf16Bytes(Record(t, n + i));
                    }
                    Info write{};
                    Error mine;
                    EXPECT_TRUE(c.ring ? ring.write(views, k, mine) && g_stored[t] >= n + k
                                       : log.Write(views[0].data(),
                                                   static_cast<unsigned>(views[0].size()), &write))
                        << "thread " << t << ", record " << n << ": " << mine.message();
                }
            });
        }
        for (std::thread& writer : writers) writer.join();
        done = true;
        reader.join();
        EXPECT_EQ(failures, 0u);
        EXPECT_TRUE(c.ring ? ring.close(error) : log.Exit(&info)) << info.uiLocation;
        // On slow storage the ring's writers share their writes (a guarded log file has none);
        // where the ring wraps every few records, rotations split the groups as well.
        // Callers slept while groups were written, and the ring timed both.
        const RingStats stats = ring.stats();
        EXPECT_TRUE(!c.ring || c.file_count <= 3 ||
                    (stats.writes * 2 <= stats.records && stats.cycles > 0 && stats.write_ns > 0 &&
                     stats.wake_ns > 0))
            << stats.writes << " writes for " << stats.records << " records";

        // The files in the order of their counters, each thread's numbers in that order; a file
        // ends only where the next record would not have fitted before its footer.
        std::map<unsigned, std::string> files;
        for (const auto& entry : fs::directory_iterator("ring")) {
            std::map<unsigned, std::vector<unsigned>> ignored;
            files[Parse(ReadBytes(entry.path()), ignored).first] = ReadBytes(entry.path());
        }
        const bool wraps = c.file_count == 3;
        ASSERT_GE(files.size(), wraps ? 3u : 9u);  // rotated often
        EXPECT_EQ(files.begin()->first > 1, wraps);
        EXPECT_EQ(files.rbegin()->first - files.begin()->first + 1, files.size());
        std::map<unsigned, std::vector<unsigned>> numbers;
        std::size_t previous = kFileSize;
        for (const auto& file : files) {
            EXPECT_GT(previous + Parse(file.second, numbers).second, kFileSize) << file.first;
            previous = file.second.size();
        }
        EXPECT_TRUE(wraps || numbers.size() == c.threads);
        for (const auto& entry : numbers) {
            const std::vector<unsigned>& got = entry.second;
            EXPECT_EQ(got.back(), c.per_thread - 1) << "thread " << entry.first;
            EXPECT_TRUE(wraps || got.front() == 0) << "thread " << entry.first;
            for (std::size_t i = 1; i < got.size(); ++i) {
                EXPECT_EQ(got[i], got[i - 1] + 1) << "thread " << entry.first;
            }
        }
    }
    os::Table().WriteFile = g_next_write;
}

class RingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_next_write = os::Table().WriteFile;
        os::Table().WriteFile = StorageWrite;
        g_slow = std::chrono::microseconds(0);
    }
    void TearDown() override { os::Table().WriteFile = g_next_write; }

    static RingOptions Options(const std::string& folder) {
        return {folder, SCRIVLET_DEFAULT_NAME, 3, 4096, "ring test", "end", true, Text::raw};
    }

    TempDir dir_;
    FaultScope faults_;
};

TEST_F(RingTest, FailedGroupFailsItsCallersOnlyAndRotationRecovers) {
    Ring ring;
    Error error;
    ASSERT_TRUE(ring.open(Options("faults"), error)) << error.message();
    // The first record's write is held; three more arrive and wait as one group.
    g_hold = true;
    g_arrived = 0;
    Error first;
    const std::string records[] = {Record(0, 0), Record(1, 0), Record(2, 0), Record(3, 0)};
    std::thread leader([&] { EXPECT_TRUE(ring.write(records[0], first)); });
    while (g_arrived == 0) std::this_thread::yield();
    std::vector<Error> errors(3);
    std::vector<std::thread> group;
    for (int t = 1; t <= 3; ++t) {
        group.emplace_back([&, t] { EXPECT_FALSE(ring.write(records[t], errors[t - 1])); });
    }
    while (ring.stats().waiting < 3) std::this_thread::yield();
    faults_.FailCall(Op::kWriteFile, 2,
                     os::ERROR_DISK_FULL);  // the group's write, after the held one
    g_hold = false;
    leader.join();
    for (std::thread& thread : group) thread.join();
    EXPECT_FALSE(first.failed()) << first.message();
    for (const Error& e : errors) {
        EXPECT_EQ(e.info, (Info{TQCLogFile_1::MODULE_LOGFILE, os::ERROR_DISK_FULL,
                                TQCLogFile_1::ERRORTYPE_SYSTEM, 18, 0, 1}));
        EXPECT_EQ(e.message(),
                  "writing a record: the write failed: system error 112, disk full "
                  "[log file 46, place 18, system error]");
    }
    // A rotation whose new file cannot be created fails its group; the next group switches the
    // ring off and on again and goes on in the file after it.
    const std::string big(3000, 'b');
    EXPECT_TRUE(ring.write(big, error)) << error.message();
    faults_.FailCall(Op::kCreateFileW, 1, os::ERROR_ACCESS_DENIED);
    Error refused;
    EXPECT_FALSE(ring.write(big, refused));
    EXPECT_EQ(refused.info.uiLocation, 9u);
    EXPECT_TRUE(ring.write(big, error)) << error.message();
    EXPECT_EQ(fs::path(ring.path()), fs::path("faults") / "LogFile_1_0003.log");
    ASSERT_TRUE(ring.close(error));
    const std::string file1 = ReadBytes("faults/LogFile_1_0001.log");
    EXPECT_NE(file1.find(records[0]), std::string::npos);
    EXPECT_EQ(file1.find(records[1]), std::string::npos);
    EXPECT_NE(ReadBytes("faults/LogFile_1_0003.log").find(big), std::string::npos);
}

// The ring's own places have words (the log file's refusals through the ring, with the true
// length of a text too long for its array: cli.refusals), and a record no file holds is refused
// or split.
TEST_F(RingTest, RefusalsWordsAndSplitting) {
    Ring ring;
    Error error;
    RingOptions options = Options("");
    EXPECT_FALSE(ring.write("x", error));
    EXPECT_EQ(error.message(),
              "using the ring: the ring is not open [ring 50, place 1, runtime error]");

    options.folder = fs::absolute("abs/ring").string();
    options.text = Text::utf16;
    error.clear();
    ASSERT_TRUE(ring.open(options, error)) << error.message();
    EXPECT_EQ(fs::path(ring.path()), fs::path(options.folder) / "LogFile_1_0001.log");
    const std::size_t largest = ring.largest_record();
    EXPECT_FALSE(ring.write(std::string(largest, 'x'), error));
    EXPECT_EQ(error.info.uiLocation, 17u);
    EXPECT_EQ(error.info.uiValue, largest);
    ASSERT_TRUE(ring.close(error));

    // Split, as text or as text already stored: the cut of the pieces (2 bytes short of the
    // room: the next counter line may be longer) falls behind the first half of U+1F600's
    // surrogate pair, which goes on whole in file 2.
    options.split = true;
    options.folder = "split";
    options.count = 20;
    error.clear();
    ASSERT_TRUE(ring.open(options, error));
    // The cut of the pieces falls behind the first half of U+1F600's surrogate pair, which goes
    // on whole in file 2.
    const std::size_t units = ring.largest_record() / 2 - 1;
    const std::string tail = std::string(16, 'z') + "\r\n";
    ASSERT_TRUE(ring.write(std::string(units, 'y') + "\xF0\x9F\x98\x80" + tail, error));
    EXPECT_EQ(ring.stats().records, 2u);
    EXPECT_NE(ReadBytes("split/LogFile_1_0001.log").find(Utf16Bytes(std::string(units, 'y'))),
              std::string::npos);
    const std::string pair = std::string("\x3D\xD8\x00\xDE", 4) + Utf16Bytes(tail);
    EXPECT_NE(ReadBytes("split/LogFile_1_0002.log").find(pair), std::string::npos);
    // Lines that file 1 held whole still go in when the counter line of file 10 is longer.
    for (int n = 0; n < 10; ++n) {
        EXPECT_TRUE(ring.write(std::string(largest / 2 - 2, 'w'), error)) << n << error.message();
    }
    ASSERT_TRUE(ring.close(error));

    // Without a counter line a record of exactly largest_record() goes in whole, and so does
    // every piece of a longer one cut to that size: files 1 and 2 hold exactly the file size.
    for (const bool split : {false, true}) {
        options = Options(split ? "pieces" : "exact");
        options.counter = false;
        options.split = split;
        ASSERT_TRUE(ring.open(options, error)) << error.message();
        std::string record(split ? 5 * ring.largest_record() / 2 : ring.largest_record(), ' ');
        for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<char>('a' + i % 26);
        EXPECT_TRUE(ring.write(record, error) && (split || ring.write(record, error)));
        ASSERT_TRUE(ring.close(error)) << error.message();
        const std::size_t head = 2 * format::TextLineLength(9),
                          foot = 2 * format::TextLineLength(3);
        std::string stored;
        for (const char* n : {"1", "2", "3"}) {
            const std::string file = ReadBytes(options.folder + "/LogFile_1_000" + n + ".log");
            EXPECT_TRUE(*n == '3' || file.size() == 4096) << n << ": " << file.size();
            if (file.size() > head + foot) stored += file.substr(head, file.size() - head - foot);
        }
        EXPECT_TRUE(stored == (split ? record : record + record)) << stored.size();
    }
}

// What store() makes of a record, against the compiler's own UTF-16: a character of each width
// at every place around the 16-byte steps of the ASCII runs, ill-formed bytes, line ends; and raw
// records stored as given.
TEST(Ring, StoredForm) {
    const std::pair<std::string, std::u16string> widths[] = {{"\xC3\xA9", u"\u00E9"},
                                                             {"\xE2\x82\xAC", u"\u20AC"},
                                                             {"\xF0\x9F\x98\x80", u"\U0001F600"},
                                                             {"\xFF", u"\uFFFD"},
                                                             {"\xE2\x82", u"\uFFFD"}};
    std::vector<std::pair<std::string, std::u16string>> cases = {
        {"", u"\r\n"}, {"\n", u"\r\n"}, {"x\r\n", u"x\r\n"}, {"a\rb\n\n", u"a\rb\n\r\n"}};
    const std::string ascii = "The quick brown fox jumps over the lazy dog, 0123456789!";
    const std::u16string wide(ascii.begin(), ascii.end());
    for (const auto& [bytes, unit] : widths) {
        for (std::size_t at = 0; at <= 40; ++at) {
            cases.push_back({ascii.substr(0, at) + bytes + ascii.substr(at, 40 - at) + "\n",
                             wide.substr(0, at) + unit + wide.substr(at, 40 - at) + u"\r\n"});
        }
    }
    for (const auto& [record, text] : cases) {
        std::string expected;
        for (const char16_t c : text)
            expected += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        std::string stored(2 * record.size() + 4, '\0');
        stored.resize(
            static_cast<std::size_t>(store(record, Text::utf16, &stored[0]) - &stored[0]));
        EXPECT_EQ(stored, expected) << record;
        EXPECT_EQ(stored_size(record, Text::utf16), expected.size()) << record;
        std::string raw(record.size(), '\0');
        EXPECT_EQ(store(record, Text::raw, &raw[0]), &raw[0] + record.size());
        EXPECT_EQ(raw, record);
        EXPECT_EQ(stored_size(record, Text::utf16_stored), record.size());
    }
}

}  // namespace
}  // namespace test
}  // namespace scrivlet
