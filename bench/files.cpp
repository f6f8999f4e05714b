// Emptying and inspecting the folders of the benchmark runs.
#include "files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace scrivlet::bench {
namespace {

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeFolders(const std::string& folder) {
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == '/') {
            const std::string prefix = folder.substr(0, i);
            if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

}  // namespace

bool EmptyFolder(const std::string& folder) {
    if (!MakeFolders(folder)) return false;
    for (const std::string& name : Names(folder)) {
        if (unlink((folder + "/" + name).c_str()) != 0) return false;
    }
    return true;
}

void RemoveFolder(const std::string& folder) {
    EmptyFolder(folder);
    rmdir(folder.c_str());
}

std::vector<std::uint64_t> FileSizes(const std::string& folder) {
    std::vector<std::uint64_t> sizes;
    for (const std::string& name : Names(folder)) {
        struct stat info;
        if (stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            sizes.push_back(static_cast<std::uint64_t>(info.st_size));
        }
    }
    return sizes;
}

std::string FileSystemType(const std::string& folder) {
    // The mount that holds the folder is the one with the longest mount point above it.
    char real[PATH_MAX];
    if (realpath(folder.c_str(), real) == nullptr) return "unknown";
    const std::string path = real;
    std::string best_type = "unknown";
    std::size_t best_length = 0;
    std::FILE* mounts = std::fopen("/proc/self/mounts", "r");
    if (mounts == nullptr) return best_type;
    char device[512], point[512], type[64];
    while (std::fscanf(mounts, "%511s %511s %63s %*[^\n]", device, point, type) == 3) {
        const std::string mount = point;
        const bool above = mount == "/" || path == mount ||
                           (path.compare(0, mount.size(), mount) == 0 && path[mount.size()] == '/');
        if (above && mount.size() >= best_length) {
            best_length = mount.size();
            best_type = std::string(type) + " (" + device + " on " + mount + ")";
        }
    }
    std::fclose(mounts);
    return best_type;
}

}  // namespace scrivlet::bench
