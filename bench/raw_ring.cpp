// The raw ring: plain write(2) calls with the library's open flags and rotation points.
#include "raw_ring.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace bench {
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
    m_shape = shape;
    m_names.clear();
    for (unsigned int n = 1; n <= shape.file_count; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/raw_%04u.log", n);
        m_names.push_back(folder + name);
    }
    m_number = 0;
    m_counter = 1;
    return OpenNext();
}

bool RawRing::Put(const void* data, unsigned int count) {
    ssize_t written;
    do {
        written = write(m_fd, data, count);
    } while (written < 0 && errno == EINTR);
    if (written < 0) return false;
    m_bytes += static_cast<unsigned int>(written);
    return static_cast<unsigned int>(written) == count;
}

bool RawRing::OpenNext() {
    m_number = m_number + 1 <= m_shape.file_count ? m_number + 1 : 1;
    m_fd =
        open(m_names[m_number - 1].c_str(), O_RDWR | O_CLOEXEC | O_DSYNC | O_CREAT | O_TRUNC, 0666);
    if (m_fd < 0) return false;
    m_bytes = 0;
    if (m_shape.counter) {
        const unsigned int bytes = CounterLineBytes(m_counter);
        m_counter = m_counter == 0xFFFFFFFFu ? 1 : m_counter + 1;
        if (!Put(kLineBytes, bytes)) return false;
    }
    if (m_shape.header_bytes != 0 && !Put(kLineBytes, m_shape.header_bytes)) return false;
    return true;
}

bool RawRing::Write(const void* data, unsigned int count) {
    if (m_bytes + count > m_shape.file_size - m_shape.footer_bytes && !Rotate()) return false;
    return Put(data, count);
}

bool RawRing::Rotate() { return Stop() && OpenNext(); }

bool RawRing::Stop() {
    if (m_fd < 0) return true;
    bool ok = m_shape.footer_bytes == 0 || Put(kLineBytes, m_shape.footer_bytes);
    if (close(m_fd) != 0) ok = false;
    m_fd = -1;
    m_bytes = 0;
    return ok;
}

void RawRing::Abandon() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    m_bytes = 0;
}

}  // namespace bench
