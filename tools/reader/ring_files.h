// The files of a ring on disk: their names, safe reading, and their order, oldest first.
//
// Names follow the library's pattern (format.h): <name>_NNNN.log in the ring's directory. Only
// regular files of a size a ring file can have are read, and they are opened without blocking, so
// that a FIFO, a device, a directory or a broken link named like a ring file is reported (with
// the reason) instead of being read.
//
// Their order, oldest first, is the one the ring itself keeps (scrivlet/reading/order.h).
#ifndef SCRIVLET_TOOLS_READER_RING_FILES_H
#define SCRIVLET_TOOLS_READER_RING_FILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "scrivlet/host.h"
#include "scrivlet/reading/layout.h"
#include "scrivlet/reading/order.h"

namespace scrivlet::tool {

// The format's reading, shared with the ring library.
using namespace scrivlet::reading;

// Where a ring lies and what its files are called.
struct RingPlace {
    std::string directory;  // as a path on disk ("." for the current directory)
    std::string name;       // the base name as the library stores it
};

// The place of a ring given as the command line gives it (folder with '/' or the library's
// separator, empty for the current directory; base name as given).
RingPlace PlaceOf(const std::string& folder, const std::string& name);

// The file name of file number n, and the number of a file name of this ring (0: none).
std::string FileName(const RingPlace& place, unsigned int n);
unsigned int FileNumber(const RingPlace& place, const std::string& file_name);
// The path of file number n, and the ring's names for messages ("<directory>/<name>_NNNN.log").
std::string FilePath(const RingPlace& place, unsigned int n);
std::string NamePattern(const RingPlace& place);
// The file number as its name shows it ("0007").
std::string NumberText(unsigned int n);

struct FileState {
    bool exists = false;  // something of that name is there
    std::string problem;  // why it cannot be read as a ring file; empty when it can
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // nanoseconds since the epoch
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    bool readable() const { return exists && problem.empty(); }
};

// What is at path, without opening it.
FileState StatFile(const std::string& path);

// A ring file open for reading: a regular file, opened without blocking.
class FileReader {
  public:
    FileReader() = default;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Opens path if it is what state says (a readable regular file); false with the problem.
    bool Open(const std::string& path, const FileState& state, std::string& problem);
    // The bytes in [begin, end), fewer where the file ends before.
    std::string Read(std::uint64_t begin, std::uint64_t end) const;

  private:
    host::ReadOnlyFile file_;
};

struct RingFile {
    unsigned int number = 0;
    std::string path;
    FileState state;
    FileLayout layout;
};

// Reads the start and end of the file at path and recognises its layout; false with the problem
// in state.problem when it cannot be read.
bool ReadLayout(const std::string& path, const LayoutHints& hints, FileState& state,
                FileLayout& layout);

// Every file of the ring's name in its directory, in file number order; files that cannot be
// read are among them with their problem.
std::vector<RingFile> FindRingFiles(const RingPlace& place, const LayoutHints& hints);

// Sorts the readable files oldest first (empty files last) and leaves out the others. Returns the
// key that decided the order.
OrderKey OrderRingFiles(std::vector<RingFile>& files);

// What the directory holds instead of the ring, for a report that found no file of it: that the
// directory is missing, or the rings of other names that are there, or what else is there.
std::string DescribeAbsence(const RingPlace& place);

}  // namespace scrivlet::tool

#endif  // SCRIVLET_TOOLS_READER_RING_FILES_H
