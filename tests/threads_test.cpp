// Several threads writing through one TQCLogFileM_1 with frequent rotation, and every file read
// back afterwards: each record whole, in exactly one file, never cut by a counter, header or
// footer line, none missing, and each thread's records in the order it wrote them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"

using namespace scrivlet::test;

namespace {

using Info = TQCLogFile_1::tagInfoData_1;

// A record is UTF-16 text "[T:NNNN:LLL:" then the letter of thread T up to a closing "]", L code
// units in all. The sizes vary with thread and number.
WString Record(unsigned thread, unsigned number) {
    const unsigned length = 14 + (thread * 37 + number * 53) % 140;
    char head[32];
    std::snprintf(head, sizeof head, "[%u:%04u:%03u:", thread, number, length);
    std::string text = head;
    text.append(length - 1 - text.size(), static_cast<char>('a' + thread));
    return Wide(text + "]");
}

struct Written {
    unsigned thread;
    unsigned number;
};

// One file as read back: its counter and its records in order, or what is wrong with it.
struct Parsed {
    unsigned counter = 0;
    std::vector<Written> records;
    std::string error;
};

// The text of the library line at `at` behind its time stamp, without CR LF; moves `at` on.
bool Line(const WString& text, std::size_t& at, std::string& line) {
    const std::size_t end = text.find(TQ_TEXT("\r\n"), at);
    if (end == WString::npos) return false;
    line = Narrow(text.substr(at, end - at));
    at = end + 2;
    static const std::regex kStamped(R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
    std::smatch match;
    if (!std::regex_match(line, match, kStamped)) return false;
    line = match[1];
    return true;
}

Parsed Parse(const std::string& bytes) {
    Parsed out;
    if (bytes.size() % 2 != 0) {
        out.error = "odd size";
        return out;
    }
    WString text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<TQ_WCHAR>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    std::size_t at = 0;
    std::string line;
    if (!Line(text, at, line) || std::sscanf(line.c_str(), "%u 1 1", &out.counter) != 1) {
        out.error = "no counter line";
        return out;
    }
    if (!Line(text, at, line) || line != "Head 1 2") {
        out.error = "no header line";
        return out;
    }
    while (at < text.size() && text[at] == u'[') {
        unsigned thread, number, length;
        const std::string head = Narrow(text.substr(at, 12));
        if (std::sscanf(head.c_str(), "[%u:%u:%u:", &thread, &number, &length) != 3 ||
            text.compare(at, length, Record(thread, number)) != 0) {
            out.error = "broken record at " + std::to_string(at * 2);
            return out;
        }
        out.records.push_back({thread, number});
        at += length;
    }
    if (!Line(text, at, line) || line != "Foot 1 3" || at != text.size()) {
        out.error = "no footer line at the end";
    }
    return out;
}

// Writes `perThread` records from each of `threads` threads through one object into a ring of
// `fileCount` small files, while one more thread keeps reading the state and the path. Returns
// the files that remain, oldest first.
std::vector<Parsed> WriteAndReadBack(unsigned threads, unsigned perThread, unsigned fileCount) {
    TQCLogFileM_1 log;
    auto cfg = Config(fileCount, 2048, "s", "ring", "Head", "Foot", true);
    Info info = NoError();
    EXPECT_TRUE(log.Init(&cfg, &info));
    EXPECT_TRUE(log.Switch(true, &info));

    std::atomic<unsigned> failures{0};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            Info readInfo = NoError();
            TQCLogFile_1::tagChangeData_1 change{};
            TQ_WCHAR path[260];
            if (!log.GetData(&change, &readInfo) || !change.bSwitchedOn ||
                !log.CopyFolderFileName(path, &readInfo) ||
                Narrow(path).compare(0, 7, "ring\\s_") != 0) {
                ++failures;
            }
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> writers;
    for (unsigned t = 0; t < threads; ++t) {
        writers.emplace_back([&, t] {
            for (unsigned n = 0; n < perThread; ++n) {
                const WString record = Record(t, n);
                Info writeInfo = NoError();
                if (!log.Write(record.data(), static_cast<unsigned>(record.size() * 2),
                               &writeInfo)) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& writer : writers) writer.join();
    done = true;
    reader.join();
    EXPECT_EQ(failures, 0u);
    EXPECT_TRUE(log.Exit(&info)) << info.uiModule << "/" << info.uiLocation;

    std::vector<Parsed> files;
    for (unsigned number = 1; number <= fileCount; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "ring/s_%04u.log", number);
        if (!Exists(name)) continue;
        files.push_back(Parse(ReadBytes(name)));
        EXPECT_EQ(files.back().error, "") << name;
    }
    std::sort(files.begin(), files.end(),
              [](const Parsed& a, const Parsed& b) { return a.counter < b.counter; });
    return files;
}

// The numbers of each thread's records, in file order.
std::map<unsigned, std::vector<unsigned>> ByThread(const std::vector<Parsed>& files) {
    std::map<unsigned, std::vector<unsigned>> numbers;
    for (const Parsed& file : files) {
        for (const Written& record : file.records) numbers[record.thread].push_back(record.number);
    }
    return numbers;
}

// A ring large enough to keep every file (each thread's records all there, in order), and a
// ring of three that wraps (per thread, consecutive numbers up to its last record).
TEST(Threads, EveryRecordWholeOnceAndInOrder) {
    const struct {
        unsigned threads, perThread, fileCount;
    } cases[] = {{2, 80, 999}, {8, 20, 999}, {4, 50, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.threads) + " threads, " + std::to_string(c.fileCount));
        TempDir dir;
        const std::vector<Parsed> files = WriteAndReadBack(c.threads, c.perThread, c.fileCount);
        const bool wraps = c.fileCount == 3;
        ASSERT_GE(files.size(), wraps ? 3u : 9u);  // rotated often
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(files[i].counter, files[0].counter + i);
        }
        EXPECT_EQ(files[0].counter > 1, wraps);
        const auto numbers = ByThread(files);
        ASSERT_FALSE(numbers.empty());
        EXPECT_TRUE(wraps || numbers.size() == c.threads);
        for (const auto& entry : numbers) {
            const std::vector<unsigned>& got = entry.second;
            EXPECT_EQ(got.back(), c.perThread - 1) << "thread " << entry.first;
            EXPECT_TRUE(wraps || got.front() == 0) << "thread " << entry.first;
            for (std::size_t i = 1; i < got.size(); ++i) {
                EXPECT_EQ(got[i], got[i - 1] + 1) << "thread " << entry.first;
            }
        }
    }
}

}  // namespace
