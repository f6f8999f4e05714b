// The physical limit that the library is measured against: a ring of files written with plain
// write(2) calls on descriptors opened with the library's flags (O_RDWR | O_CLOEXEC | O_DSYNC),
// the same bytes in the same calls, and the same rotation points. Where the library forms a
// counter, header or footer line with a fresh time stamp, the ring writes a prepared block of the
// same length; where the library checks the folder, locks and replaces a file, the ring opens it
// with O_CREAT | O_TRUNC. Everything the library does beyond that is its overhead.
#ifndef SCRIVLET_BENCH_RAW_RING_H
#define SCRIVLET_BENCH_RAW_RING_H

#include <string>
#include <vector>

namespace scrivlet::bench {

// The shape of a ring, in the library's terms: file size and count, and the lengths in bytes
// of the lines that the library adds (0: no such line).
struct Shape {
    unsigned int file_size = 0;
    unsigned int file_count = 0;
    bool counter = false;
    unsigned int header_bytes = 0;
    unsigned int footer_bytes = 0;
};

// Bytes of the counter line that shows the given counter value: a 24-character time stamp, the
// number, " 1 1" and CR LF, two bytes per character.
unsigned int CounterLineBytes(unsigned int counter);

class RawRing {
  public:
    RawRing() = default;
    RawRing(const RawRing&) = delete;
    RawRing& operator=(const RawRing&) = delete;
    ~RawRing() { Abandon(); }

    // Prepares the names <folder>/raw_NNNN.log and opens file 1 with its counter and header.
    bool Start(const std::string& folder, const Shape& shape);
    // One record, after a rotation when the record would leave no room for the footer, with the
    // library's test.
    bool Write(const void* data, unsigned int count);
    // Footer, close, next file of the ring, counter and header.
    bool Rotate();
    // Footer and close.
    bool Stop();
    // Closes without footer.
    void Abandon();

  private:
    bool OpenNext();
    bool Put(const void* data, unsigned int count);

    Shape shape_;
    std::vector<std::string> names_;
    int fd_ = -1;
    unsigned int number_ = 0;
    unsigned int bytes_ = 0;
    unsigned int counter_ = 1;
};

}  // namespace scrivlet::bench

#endif  // SCRIVLET_BENCH_RAW_RING_H
