// The pipe host's pipeline: standard input into a ring, one record per line, with the reading and
// converting of the next group overlapping the write of the current one.
//
// Two threads share two groups. The reading thread takes what the pipe holds, cuts it into lines
// and stores each line as the ring stores it (UTF-16 or raw, after the stamp) into the group that
// fills; the writing thread hands the group in flight to the ring, which writes it from the
// group's own memory. At most one group is being written and one is filling, each at most
// group_bytes (a single line longer than that makes its group as large as the line). A group goes
// out as soon as nothing is in flight (at the end of a read), or when the write before it ends
// and the reading thread is waiting (for input, or for room because its group is full), so a
// burst keeps the storage busy while the next group is read. When the read found the pipe empty
// and nothing is in flight, the reading thread writes the group itself: a line that arrives alone
// reaches the storage without a thread being woken.
#ifndef SCRIVLET_TOOLS_PIPE_WRITER_H
#define SCRIVLET_TOOLS_PIPE_WRITER_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "scrivlet/ring.h"

namespace scrivlet::tool {

class PipeWriter {
  public:
    enum class End { kInput, kStopped, kReadError, kWriteError };

    // text: how each line is stored (Text::utf16 or Text::raw; the ring takes the result as
    // Text::utf16_stored or Text::raw); stamp: the library's time stamp before each line.
    PipeWriter(scrivlet::Ring& ring, scrivlet::Text text, bool stamp, std::size_t group_bytes);
    ~PipeWriter();
    PipeWriter(const PipeWriter&) = delete;
    PipeWriter& operator=(const PipeWriter&) = delete;

    // Reads standard input until it ends, a stop signal comes or a write fails, and returns once
    // every line read is written (the last line also without its line end). Calls progress after
    // each read.
    End Run(const std::function<void()>& progress);

    // Lines handed to the ring and written.
    std::uint64_t lines() const { return lines_.load(std::memory_order_relaxed); }

    // Where the time of Run went, in nanoseconds.
    struct Times {
        std::uint64_t run = 0;
        std::uint64_t groups = 0;
        std::uint64_t writing = 0;    // in the ring's write, on either thread
        std::uint64_t preparing = 0;  // cutting and storing lines
        std::uint64_t room = 0;       // the reading thread waited for the group in flight
        // Groups written by the reading thread at once (the pipe was empty, nothing in flight):
        // from the end of the wait for input to the end of their read, from there to the ring's
        // write (of which storing their lines), and the write.
        std::uint64_t at_once = 0;
        std::uint64_t at_once_reading = 0;
        std::uint64_t at_once_ready = 0;
        std::uint64_t at_once_storing = 0;
        std::uint64_t at_once_writing = 0;
    };
    // After Run.
    const Times& times() const { return times_; }

  private:
    struct Group {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
        std::size_t used = 0;
        std::vector<std::string_view> records;
    };
    enum class Writer { kNone, kThread, kReader };  // who writes the group in flight

    // Reads once into the input behind the kept part of a line; returns the bytes read (0 at the
    // end of the input), or -1 on a stop signal or an error (in end_).
    long ReadInput(bool& drained);
    // Stores the complete lines of the input (all of it when everything) into the filling group,
    // handing groups on as they fill, and keeps the rest at the front.
    void StoreLines(std::size_t size, bool everything);
    void StoreLine(std::string_view line);
    // With the reading thread: hands the filling group to the writing thread when nothing is in
    // flight, or writes it here when the pipe is empty, or (when full) waits for the one in
    // flight to end.
    void HandOn(bool drained, bool full);
    // Waits until nothing is in flight, writes what fills, and stops the writing thread.
    void Finish();
    // Writes the group and empties it; adds the time to times_.writing (under mutex_).
    bool WriteGroup(Group& group, std::uint64_t& took);
    void WriterLoop();

    scrivlet::Ring& ring_;
    const scrivlet::Text text_;
    const bool stamp_;
    const std::size_t group_bytes_;
    std::string stamp_bytes_;  // the stamp of the current read as stored
    std::size_t largest_ = 0;  // the ring's largest record when last asked
    bool split_said_ = false;

    std::unique_ptr<char[]> input_;
    std::size_t input_capacity_ = 0;
    std::size_t kept_ = 0;  // bytes of an unfinished line at the front of the input

    Group groups_[2];
    std::mutex mutex_;
    std::condition_variable work_;     // to the writing thread: a group to write, or quit
    std::condition_variable changed_;  // to the reading thread: a write ended
    Group* filling_ = &groups_[0];     // the reading thread's, unless it is parked
    Group* other_ = &groups_[1];       // in flight, or empty
    Writer writer_ = Writer::kNone;
    bool parked_ = false;  // the reading thread waits and leaves the filling group alone
    bool quit_ = false;
    bool failed_ = false;
    End end_ = End::kInput;
    std::atomic<std::uint64_t> lines_{0};
    Times times_;                  // under mutex_ where both threads add
    std::uint64_t waited_ns_ = 0;  // the end of the last wait for input
    std::uint64_t read_ns_ = 0;    // the end of the last read
    std::uint64_t stored_ns_ = 0;  // its lines stored
    std::thread thread_;
};

}  // namespace scrivlet::tool

#endif  // SCRIVLET_TOOLS_PIPE_WRITER_H
