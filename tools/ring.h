// The options that name a ring, the same in every command, and what follows from them: the
// configuration record for the library and the paths of the ring's files on disk.
#ifndef SCRIVLET_TOOLS_RING_H
#define SCRIVLET_TOOLS_RING_H

#include <string>

#include "scrivlet/scrivlet.h"

namespace CLI {
class App;
}

namespace scrivlet_tool {

struct RingOptions {
    std::string folder;              // as given: '/' or '\' between directories; empty: here
    std::string name = "LogFile_1";  // base file name; cut at its first '.'
    unsigned int count = 5;
    unsigned int size = 10485760;
    std::string header;
    std::string footer;
    bool counter = false;
    bool headerGiven = false;  // --header was given (perhaps empty: no header line)
    bool footerGiven = false;
};

// Adds --folder, --name, --count, --size, --header, --footer and --counter to a command; after
// parsing, headerGiven and footerGiven tell whether --header and --footer were given.
void AddRingOptions(CLI::App& command, RingOptions& ring);

// Configures log with the ring's options. On a refusal the record holds the library's failure,
// with the true length of a text that did not even fit the record's array.
bool InitRing(TQCLogFile_1& log, const RingOptions& ring, TQCLogFile_1::tagInfoData_1& info);

// The folder as the library takes it: every '/' turned into '\'.
std::u16string LibraryFolder(const RingOptions& ring);

// The base name as the library stores it: cut at the first '.'.
std::string StoredName(const RingOptions& ring);

// The directory that holds the ring's files, as a path on disk ("." when no folder is given).
std::string RingDirectory(const RingOptions& ring);

// The path on disk of file number n ("<directory>/<name>_NNNN.log").
std::string RingFilePath(const RingOptions& ring, unsigned int n);

// A UTF-16 path from the library in the form of the disk: each '\' becomes '/'.
std::string DiskPath(const TQ_WCHAR* path);

}  // namespace scrivlet_tool

#endif  // SCRIVLET_TOOLS_RING_H
