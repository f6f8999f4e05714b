// A ring opened on a folder that already holds it: every state a host can leave behind (closed
// cleanly, killed with a record cut short, full, wrapped, in another encoding, beside files that
// are not the ring's), the bytes of every file afterwards, and the refusals.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <regex>

#include "scrivlet/format.h"
#include "scrivlet/ring.h"
#include "support/support.h"

namespace scrivlet {
namespace test {
namespace {

namespace fs = std::filesystem;

// A file's UTF-16LE text as ASCII with each time stamp as "S"; bytes that are no ASCII UTF-16 unit
// (a raw ring's records) in brackets.
std::string Shown(const std::string& bytes) {
    std::string text;
    bool raw = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool unit = i + 1 < bytes.size() && bytes[i + 1] == 0 && bytes[i] != 0;
        if (unit == raw) text += unit ? "]" : "[";
        raw = !unit;
        text += bytes[i];
        i += unit;
    }
    if (raw) text += "]";
    return std::regex_replace(text, std::regex(R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3} )"),
                              "S ");
}

RingOptions Options(unsigned count, unsigned size, Text text = Text::utf16) {
    RingOptions options;
    options.folder = "r";
    options.count = count;
    options.size = size;
    options.counter = true;
    options.header = "H";
    options.footer = "F";
    options.text = text;
    return options;
}

std::string File(unsigned n) {
    char name[32];
    std::snprintf(name, sizeof name, "r/LogFile_1_%04u.log", n);
    return ReadBytes(name);
}

// Writes records through a log file object that is then left without its footer, as a killed
// writer leaves its file; the last bytes are a record cut short when torn is not empty.
void Killed(const RingOptions& options, const std::vector<std::string>& records,
            const std::string& torn) {
    TQCLogFile_1 log;
    Info info{};
    ASSERT_TRUE(Open(log, Config(options.count, options.size, "", "r", "H", "F", true), &info));
    for (const std::string& record : records) {
        ASSERT_TRUE(log.Write(record.data(), static_cast<unsigned>(record.size()), &info));
    }
    if (!torn.empty()) log.Write(torn.data(), static_cast<unsigned>(torn.size()), &info);
    log.ShutDown();
}

void Write(const RingOptions& options, const std::vector<std::string>& records) {
    Ring ring;
    Error error;
    ASSERT_TRUE(ring.open(options, error)) << error.message();
    for (const std::string& record : records) ASSERT_TRUE(ring.write(record, error));
    ASSERT_TRUE(ring.close(error)) << error.message();
}

const char kMark[] = "S 1 1 1\r\nS H 1 2\r\n";  // the opening lines of file 1

TEST(Resume, EveryStateIsContinuedWithoutReplacingAnything) {
    const std::string abc = Utf16Bytes("abc\r\n");
    const std::string mark = kMark;
    const std::string x(450, 'x');
    const std::string y(300, 'y');
    const std::string z(300, 'z');
    const std::string more =
        "new\r\nS F 1 3\r\n";  // the one record the test writes, and the footer
    struct Case {
        const char* name;
        std::function<void()> before;  // leaves the folder as a host did
        Text text;
        std::vector<std::string> files;  // the files afterwards, as Shown shows them
    } cases[] = {
        {"closed cleanly: the run goes on behind the footer",
         [&] {
             Write(Options(2, 4096), {"a", "b"});
         },
         Text::utf16,
         {mark + "a\r\nb\r\nS F 1 3\r\n" + mark + more}},
        {"killed: the run goes on behind the last record",
         [&] { Killed(Options(2, 4096), {abc}, ""); },
         Text::utf16,
         {mark + "abc\r\n" + mark + more}},
        {"a text record cut short is dropped, never glued to the next one",
         [&] { Killed(Options(2, 4096), {abc}, Utf16Bytes("de")); },
         Text::utf16,
         {mark + "abc\r\n" + mark + more}},
        {"an odd byte of a cut record goes with it",
         [&] { Killed(Options(2, 4096), {abc}, Utf16Bytes("de").substr(0, 3)); },
         Text::utf16,
         {mark + "abc\r\n" + mark + more}},
        {"the bytes of a line end between two characters do not end a cut record",
         [&] { Killed(Options(2, 4096), {abc}, std::string("A\r\0\n\0B", 6)); },
         Text::utf16,
         {mark + "abc\r\n" + mark + more}},
        {"a file without a whole record starts again from its top",
         [&] { Killed(Options(2, 4096), {}, Utf16Bytes("de")); },
         Text::utf16,
         {mark + more}},
        {"an unfinished tail longer than any torn record is ended, not dropped",
         [&] { Killed(Options(2, 1 << 20), {std::string(70000, 'x')}, ""); },
         Text::utf16,
         {mark + "[" + std::string(70000, 'x') + "]\r\n" + mark + more}},
        {"a raw tail without its line end gets one",
         [&] { Killed(Options(2, 688), {"abc"}, ""); },
         Text::raw,
         {mark + "[abc\n]" + mark + "[new]S F 1 3\r\n"}},
        {"a full file is closed with its footer and the ring moves on",
         [&] { Killed(Options(2, 688), {x}, ""); },
         Text::raw,
         {mark + "[" + x + "\n]S F 1 3\r\n", "S 2 1 1\r\nS H 1 2\r\n[new]S F 1 3\r\n"}},
        {"a wrapped ring goes on in its newest file, wherever it lies",
         [&] {
             Write(Options(2, 688, Text::raw), {y, y, z});
         },
         Text::raw,
         {"S 3 1 1\r\nS H 1 2\r\n[" + z + "]S F 1 3\r\nS 3 1 1\r\nS H 1 2\r\n[new]S F 1 3\r\n",
          "S 2 1 1\r\nS H 1 2\r\n[" + y + "]S F 1 3\r\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        c.before();
        Write(Options(2, c.text == Text::raw ? 688 : 1 << 20, c.text), {"new"});
        for (unsigned n = 1; n <= 2; ++n) {
            EXPECT_EQ(Shown(File(n)), n <= c.files.size() ? c.files[n - 1] : "") << "file " << n;
        }
    }
}

TEST(Resume, OnlyTheRingsOwnFilesCountAndASecondWriterIsRefused) {
    TempDir dir;
    const std::string y(300, 'y');
    Write(Options(2, 688, Text::raw), {y, y, y, "z"});  // file 1 with counter 3, file 2 with 2
    // Beside it, none of them continued or changed, each newer by its time: a file cut short
    // inside its opening lines (it holds nothing, and the others keep their order by counter),
    // a directory in a file's place, and a file with counter 9 under a number above the count
    // and under another name.
    std::string nine = File(1);
    nine[2 * format::kStampLength] = '9';
    std::ofstream("r/LogFile_1_0005.log", std::ios::binary) << nine;
    std::ofstream("r/Other_0001.log", std::ios::binary) << nine;
    std::ofstream("r/LogFile_1_0003.log", std::ios::binary) << Utf16Bytes("2026.12.0");
    fs::create_directories("r/LogFile_1_0004.log");
    fs::last_write_time("r/LogFile_1_0001.log",
                        fs::file_time_type::clock::now() - std::chrono::seconds(20));
    const std::string two = File(2);
    Write(Options(4, 688, Text::raw), {"b"});
    EXPECT_EQ(Shown(File(1)),
              "S 3 1 1\r\nS H 1 2\r\n[" + y + "z]S F 1 3\r\nS 3 1 1\r\nS H 1 2\r\n[b]S F 1 3\r\n");
    EXPECT_EQ(File(2), two);
    EXPECT_EQ(File(3), Utf16Bytes("2026.12.0"));
    EXPECT_TRUE(File(5) == nine && ReadBytes("r/Other_0001.log") == nine);
    EXPECT_TRUE(fs::is_directory("r/LogFile_1_0004.log"));

    // A second writer on the same ring is refused, and the first one's file stays as it is.
    Ring first;
    Ring second;
    Error error;
    ASSERT_TRUE(first.open(Options(3, 4096), error));
    const std::string open = File(1);
    EXPECT_FALSE(second.open(Options(3, 4096), error));
    EXPECT_EQ(error.info.uiLocation, 9u);
    EXPECT_EQ(error.info.uiError, 32u) << error.message();
    EXPECT_EQ(File(1), open);
}

}  // namespace
}  // namespace test
}  // namespace scrivlet
