// Several threads writing through one TQCLogFileM_1 with frequent rotation, while one more thread
// keeps reading the state and the path, and every file read back afterwards: each record whole,
// in exactly one file, never cut by a counter, header or footer line, none missing, and each
// thread's records in the order it wrote them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/support.h"

using namespace scrivlet::test;

namespace {

// A record is "[T:NNNN:LLL:" then the letter of thread T up to a closing "]", L characters in
// all, written as UTF-16. The sizes vary with thread and number.
std::string Record(unsigned thread, unsigned number) {
    const unsigned length = 14 + (thread * 37 + number * 53) % 140;
    char head[32];
    std::snprintf(head, sizeof head, "[%u:%04u:%03u:", thread, number, length);
    std::string text = head;
    return text + std::string(length - 1 - text.size(), static_cast<char>('a' + thread)) + "]";
}

// A file as read back: its counter line, its header line, whole records and its footer line of 34
// characters. Returns its counter and adds its records to each thread's numbers, or fails.
unsigned Parse(const std::string& bytes, std::map<unsigned, std::vector<unsigned>>& numbers) {
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
    if (!lines) return 0;
    for (auto at = static_cast<std::size_t>(head.length()); at < text.size() - 34;) {
        unsigned thread = 0, number = 0, length = 0;
        std::sscanf(text.c_str() + at, "[%u:%u:%u:", &thread, &number, &length);
        if (length == 0 || text.compare(at, length, Record(thread, number)) != 0 ||
            at + length > text.size() - 34) {
            ADD_FAILURE() << "broken record at byte " << at * 2;
            break;
        }
        numbers[thread].push_back(number);
        at += length;
    }
    return static_cast<unsigned>(std::stoul(head[1]));
}

// A ring large enough to keep every file (each thread's records all there, in order), and a ring
// of three that wraps (per thread, consecutive numbers up to its last record).
TEST(Threads, EveryRecordWholeOnceAndInOrder) {
    const struct {
        unsigned threads, per_thread, file_count;
    } cases[] = {{2, 80, 999}, {8, 20, 999}, {4, 50, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.threads) + " threads, " + std::to_string(c.file_count));
        TempDir dir;
        TQCLogFileM_1 log;
        Info info = NoError();
        ASSERT_TRUE(
            Open(log, Config(c.file_count, 2048, "s", "ring", "Head", "Foot", true), &info));
        std::atomic<unsigned> failures{0};
        std::atomic<bool> done{false};
        std::thread reader([&] {
            while (!done) {
                Info read = NoError();
                Change change{};
                TQ_WCHAR path[260];
                failures += !log.GetData(&change, &read) || !change.bSwitchedOn ||
                            !log.CopyFolderFileName(path, &read) ||
                            Narrow(path).compare(0, 7, "ring\\s_") != 0;
                std::this_thread::yield();
            }
        });
        std::vector<std::thread> writers;
        for (unsigned t = 0; t < c.threads; ++t) {
            writers.emplace_back([&, t] {
                for (unsigned n = 0; n < c.per_thread; ++n) {
                    const std::string record = Utf16Bytes(Record(t, n));
                    Info write = NoError();
                    failures +=
                        !log.Write(record.data(), static_cast<unsigned>(record.size()), &write);
                }
            });
        }
        for (std::thread& writer : writers) writer.join();
        done = true;
        reader.join();
        EXPECT_EQ(failures, 0u);
        EXPECT_TRUE(log.Exit(&info)) << info.uiModule << "/" << info.uiLocation;

        // The files in the order of their counters, each thread's numbers in that order.
        std::map<unsigned, std::string> files;
        for (unsigned number = 1; number <= c.file_count; ++number) {
            char name[32];
            std::snprintf(name, sizeof name, "ring/s_%04u.log", number);
            if (!Exists(name)) continue;
            std::map<unsigned, std::vector<unsigned>> ignored;
            files[Parse(ReadBytes(name), ignored)] = ReadBytes(name);
        }
        const bool wraps = c.file_count == 3;
        ASSERT_GE(files.size(), wraps ? 3u : 9u);  // rotated often
        EXPECT_EQ(files.begin()->first > 1, wraps);
        EXPECT_EQ(files.rbegin()->first - files.begin()->first + 1, files.size());
        std::map<unsigned, std::vector<unsigned>> numbers;
        for (const auto& file : files) Parse(file.second, numbers);
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
}

}  // namespace
