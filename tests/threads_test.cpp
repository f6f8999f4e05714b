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
#include <utility>
#include <vector>

#include "support/files.h"

using namespace scrivlet::test;

namespace {

// A record is "[T:NNNN:LLL:" then the letter of thread T up to a closing "]", L characters in
// all, written as UTF-16. The sizes vary with thread and number.
std::string Record(unsigned thread, unsigned number) {
    const unsigned length = 14 + (thread * 37 + number * 53) % 140;
    char head[32];
    std::snprintf(head, sizeof head, "[%u:%04u:%03u:", thread, number, length);
    std::string text = head;
    text.append(length - 1 - text.size(), static_cast<char>('a' + thread));
    return text + "]";
}

// One file as read back: its counter and its records (thread, number) in order, or what is wrong
// with it.
struct Parsed {
    unsigned counter = 0;
    std::vector<std::pair<unsigned, unsigned>> records;
    std::string error;
};

// A file is its counter line, its header line, whole records and its footer line of 34
// characters at the end.
Parsed Parse(const std::string& bytes) {
    Parsed out;
    std::string text;  // UTF-16 as ASCII, which is all the file may hold
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += bytes[i + 1] == 0 ? bytes[i] : '?';
    const std::string stamp = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3} )";
    const std::regex head(stamp + R"((\d+) 1 1\r\n)" + stamp + "Head 1 2\r\n"),
        foot(stamp + "Foot 1 3\r\n");
    std::smatch lines;
    if (bytes.size() % 2 != 0 ||
        !std::regex_search(text, lines, head, std::regex_constants::match_continuous) ||
        lines[0].second > text.cend() - 34 ||
        !std::regex_match(text.substr(text.size() - 34), foot)) {
        out.error = "library lines missing or out of place";
        return out;
    }
    out.counter = static_cast<unsigned>(std::stoul(lines[1]));
    for (auto at = static_cast<std::size_t>(lines.length()); at < text.size() - 34;) {
        unsigned thread, number, length;
        if (std::sscanf(text.c_str() + at, "[%u:%u:%u:", &thread, &number, &length) != 3 ||
            at + length > text.size() - 34 ||
            text.compare(at, length, Record(thread, number)) != 0) {
            out.error = "broken record at " + std::to_string(at * 2);
            return out;
        }
        out.records.push_back({thread, number});
        at += length;
    }
    return out;
}

// Writes `perThread` records from each of `threads` threads through one object into a ring of
// `fileCount` small files, while one more thread keeps reading the state and the path. Returns
// the files that remain, oldest first.
std::vector<Parsed> WriteAndReadBack(unsigned threads, unsigned perThread, unsigned fileCount) {
    TQCLogFileM_1 log;
    Info info = NoError();
    EXPECT_TRUE(Open(log, Config(fileCount, 2048, "s", "ring", "Head", "Foot", true), &info));

    std::atomic<unsigned> failures{0};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            Info readInfo = NoError();
            Change change{};
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
                const std::string record = Utf16Bytes(Record(t, n));
                Info writeInfo = NoError();
                if (!log.Write(record.data(), static_cast<unsigned>(record.size()), &writeInfo)) {
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
        std::map<unsigned, std::vector<unsigned>> numbers;  // each thread's, in file order
        for (const Parsed& file : files) {
            for (const auto& record : file.records) numbers[record.first].push_back(record.second);
        }
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
