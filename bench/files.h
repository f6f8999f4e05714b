// Folders and files of the benchmark runs: each contender writes into a folder of its own, which
// is emptied before every run so that every run starts from the same state.
#ifndef SCRIVLET_BENCH_FILES_H
#define SCRIVLET_BENCH_FILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace scrivlet::bench {

// Creates folder (and its parents) if needed and removes the files in it; false on failure.
bool EmptyFolder(const std::string& folder);

// Removes the files in folder and the folder itself.
void RemoveFolder(const std::string& folder);

// The sizes of the files in folder, in the order of their names.
std::vector<std::uint64_t> FileSizes(const std::string& folder);

// The file system that holds the folder: "<type> (<device> on <mount point>)".
std::string FileSystemType(const std::string& folder);

}  // namespace scrivlet::bench

#endif  // SCRIVLET_BENCH_FILES_H
