// The raw ring: plain write(2) calls with the library's open flags and rotation points.
#include "raw_ring.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace scrivlet::bench {
namespace {

// Stands in for the library's lines; only the length matters.
const char kLineBytes[512] = {};

}  // namespace

unsigned int CounterLineBytes(unsigned int counter) {
    unsigned int digits = 1;
    while (counter >= 10) {
        counter /= 10;
        ++digits;
    }
    return 2 * (24 + digits + 6);
}

bool RawRing::Start(const std::string& folder, const Shape& shape) {
    shape_ = shape;
    names_.clear();
    for (unsigned int n = 1; n <= shape.file_count; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/raw_%04u.log", n);
        names_.push_back(folder + name);
    }
    number_ = 0;
    counter_ = 1;
    return OpenNext();
}

bool RawRing::Put(const void* data, unsigned int count) {
    ssize_t written;
    do {
        written = write(fd_, data, count);
    } while (written < 0 && errno == EINTR);
    if (written < 0) return false;
    bytes_ += static_cast<unsigned int>(written);
    return static_cast<unsigned int>(written) == count;
}

bool RawRing::OpenNext() {
    number_ = number_ + 1 <= shape_.file_count ? number_ + 1 : 1;
    fd_ = open(names_[number_ - 1].c_str(), O_RDWR | O_CLOEXEC | O_DSYNC | O_CREAT | O_TRUNC, 0666);
    if (fd_ < 0) return false;
    bytes_ = 0;
    if (shape_.counter) {
        const unsigned int bytes = CounterLineBytes(counter_);
        counter_ = counter_ == 0xFFFFFFFFu ? 1 : counter_ + 1;
        if (!Put(kLineBytes, bytes)) return false;
    }
    if (shape_.header_bytes != 0 && !Put(kLineBytes, shape_.header_bytes)) return false;
    return true;
}

bool RawRing::Write(const void* data, unsigned int count) {
    if (bytes_ + count > shape_.file_size - shape_.footer_bytes && !Rotate()) return false;
    return Put(data, count);
}

bool RawRing::Rotate() { return Stop() && OpenNext(); }

bool RawRing::Stop() {
    if (fd_ < 0) return true;
    bool ok = shape_.footer_bytes == 0 || Put(kLineBytes, shape_.footer_bytes);
    if (close(fd_) != 0) ok = false;
    fd_ = -1;
    bytes_ = 0;
    return ok;
}

void RawRing::Abandon() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    bytes_ = 0;
}

}  // namespace scrivlet::bench
