// The peer: spdlog's rotating file sink (multi-threaded variant), set up to write each record's
// bytes as they are (pattern "%v", no end of line added), with the same file size and number of
// files as the library's ring. Two ways of use:
// - flush: the logger flushes the sink after every record (fflush: the bytes reach the kernel and
//   survive a crash of the process, but not a crash of the machine or a power loss);
// - fdatasync: as flush, then fdatasync on the sink's file, so that each record is on the storage
//   when the call returns, which is what the library promises for every Write.
#ifndef SCRIVLET_BENCH_PEER_SPDLOG_H
#define SCRIVLET_BENCH_PEER_SPDLOG_H

#include <memory>
#include <string>

namespace scrivlet::bench {

class SpdlogPeer {
  public:
    SpdlogPeer();
    ~SpdlogPeer();
    SpdlogPeer(const SpdlogPeer&) = delete;
    SpdlogPeer& operator=(const SpdlogPeer&) = delete;

    // A ring of file_count files (the current one and file_count - 1 rotated ones) of at most
    // file_size bytes in folder.
    void Start(const std::string& folder, unsigned int file_size, unsigned int file_count,
               bool sync);
    void Put(const void* data, unsigned int count);
    void Stop();
    // Files opened so far (the first one and one per rotation).
    unsigned int Opens() const;

    // "spdlog 1.10.0"
    static std::string Version();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace scrivlet::bench

#endif  // SCRIVLET_BENCH_PEER_SPDLOG_H
