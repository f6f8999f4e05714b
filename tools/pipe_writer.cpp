// The pipe host's pipeline (see pipe_writer.h): the reading thread's reads, lines and hand-overs
// first, then the writing thread and the end.
//
// mutex_ guards which group fills and which is in flight, who writes it, and whether the reading
// thread is parked. The reading thread stores lines into the filling group without the lock; the
// writing thread swaps the groups only while the reading thread is parked, and the reading thread
// takes up its group again only under the lock.
#include "pipe_writer.h"

#include <chrono>
#include <cstring>
#include <iostream>

#include "scrivlet/datetime.h"
#include "scrivlet/format.h"
#include "scrivlet/host.h"

namespace scrivlet::tool {
namespace {

std::uint64_t NowNs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

// The most bytes one read takes from the pipe: what one conversion step handles before the
// group's state is looked at again.
const std::size_t kReadBytes = std::size_t{256} << 10;
// The size the pipe on standard input is enlarged to (as far as the system allows): a burst
// waits there while a group is written, and each read finds a read's worth.
const std::size_t kPipeBytes = std::size_t{1} << 20;

// The library's own time stamp of this moment, its trailing blank included, stored with text.
std::string StoredStamp(scrivlet::Text text) {
    TQ_WCHAR wide[format::kStampLength + 1] = {};
    TQ_DateTime::DateTimeSpaceToString_1(TQ_DateTime::GetLocalDateTime_1(), wide);
    std::string stamp;
    for (std::size_t i = 0; wide[i] != 0; ++i) {
        stamp.push_back(static_cast<char>(wide[i]));
        if (text == scrivlet::Text::utf16) stamp.push_back(static_cast<char>(wide[i] >> 8));
    }
    return stamp;
}

void Allocate(std::unique_ptr<char[]>& bytes, std::size_t& capacity, std::size_t size) {
    bytes.reset(new char[size]);
    capacity = size;
}

}  // namespace

PipeWriter::PipeWriter(scrivlet::Ring& ring, scrivlet::Text text, bool stamp,
                       std::size_t group_bytes)
    : ring_(ring),
      text_(text),
      stamp_(stamp),
      group_bytes_(group_bytes),
      largest_(ring.largest_record()) {
    host::EnlargeInputPipe(kPipeBytes);
    Allocate(input_, input_capacity_, kReadBytes);
    for (Group& group : groups_) Allocate(group.bytes, group.capacity, group_bytes);
    // The stop signals go to the reading thread, whose wait for input they cut short.
    thread_ = host::StartThreadWithoutStops([this] { WriterLoop(); });
}

PipeWriter::~PipeWriter() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    work_.notify_one();
    thread_.join();
}

PipeWriter::End PipeWriter::Run(const std::function<void()>& progress) {
    const std::uint64_t start = NowNs();
    for (;;) {
        bool drained = false;
        const long got = ReadInput(drained);
        read_ns_ = NowNs();
        // The last line without a line end, or what was read before a stop: nothing is dropped.
        StoreLines(got > 0 ? static_cast<std::size_t>(got) : 0, got <= 0);
        stored_ns_ = NowNs();
        times_.preparing += stored_ns_ - read_ns_;  // with the waits for room, taken out below
        if (got <= 0) break;
        HandOn(drained, false);
        progress();
        std::lock_guard<std::mutex> lock(mutex_);
        if (failed_) break;
    }
    Finish();
    times_.preparing -= times_.room;
    times_.run = NowNs() - start;
    return failed_ ? End::kWriteError : end_;
}

long PipeWriter::ReadInput(bool& drained) {
    for (;;) {
        if (host::StopSignal() != 0) {
            end_ = End::kStopped;
            return -1;
        }
        if (kept_ == input_capacity_) {  // a line longer than the input holds: room for more
            std::unique_ptr<char[]> larger(new char[2 * input_capacity_]);
            std::memcpy(larger.get(), input_.get(), kept_);
            input_ = std::move(larger);
            input_capacity_ *= 2;
        }
        // Parked while waiting, with a time-out, so that a signal that comes just before the
        // wait is seen soon.
        {
            std::lock_guard<std::mutex> lock(mutex_);
            parked_ = true;
        }
        const host::Input ready = host::WaitForInput(200);
        waited_ns_ = NowNs();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            parked_ = false;
        }
        if (ready == host::Input::kFailed) {
            end_ = End::kReadError;
            return -1;
        }
        if (ready != host::Input::kReady) continue;
        const std::size_t room = input_capacity_ - kept_;
        std::size_t got = 0;
        const host::Read read = host::ReadInput(input_.get() + kept_, room, got);
        if (read == host::Read::kRead) {
            drained = got < room;
            return static_cast<long>(got);
        }
        if (read == host::Read::kEnd) return 0;
        if (read == host::Read::kFailed) {
            end_ = End::kReadError;
            return -1;
        }
    }
}

void PipeWriter::StoreLines(std::size_t size, bool everything) {
    char* const data = input_.get();
    const std::size_t total = kept_ + size;
    // One stamp for the lines of one read: the moment they were taken from the pipe.
    if (stamp_) stamp_bytes_ = StoredStamp(text_);
    std::size_t begin = 0;
    for (const char* at = data + kept_;
         (at = static_cast<const char*>(std::memchr(at, '\n', data + total - at))) != nullptr;
         ++at) {
        const std::size_t end = static_cast<std::size_t>(at - data) + 1;
        StoreLine(std::string_view(data + begin, end - begin));
        begin = end;
    }
    if (everything && begin < total) {
        StoreLine(std::string_view(data + begin, total - begin));
        begin = total;
    }
    kept_ = total - begin;
    std::memmove(data, data + begin, kept_);
}

void PipeWriter::StoreLine(std::string_view line) {
    const std::size_t most =
        stamp_bytes_.size() + (text_ == scrivlet::Text::utf16 ? 2 * line.size() + 4 : line.size());
    // A group's memory is its bytes and the views of its records.
    const std::size_t views = (filling_->records.size() + 1) * sizeof(std::string_view);
    if (filling_->used + most > filling_->capacity ||
        (views + filling_->used + most > group_bytes_ && !filling_->records.empty())) {
        if (!filling_->records.empty()) HandOn(false, true);
        if (!filling_->records.empty()) {  // a write failed: nothing more is written
            filling_->records.clear();
            filling_->used = 0;
        }
        if (most > filling_->capacity) Allocate(filling_->bytes, filling_->capacity, most);
    }
    Group& group = *filling_;
    char* const at = group.bytes.get() + group.used;
    std::memcpy(at, stamp_bytes_.data(), stamp_bytes_.size());
    const char* const end = scrivlet::store(line, text_, at + stamp_bytes_.size());
    const std::size_t size = static_cast<std::size_t>(end - at);
    group.records.emplace_back(at, size);
    group.used += size;
    // The largest record can shrink by a character when the counter line grows: ask again.
    if (size + format::kBytesPerChar > largest_ && !split_said_) {
        largest_ = ring_.largest_record();
        if (size > largest_) {
            std::cerr << "scrivlet write: a line is longer than the largest record a file holds ("
                      << largest_ << " bytes); such lines are written as several records\n";
            split_said_ = true;
        }
    }
}

void PipeWriter::HandOn(bool drained, bool full) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (full && writer_ != Writer::kNone && !failed_) {
        // The writing thread takes this group when its write ends.
        parked_ = true;
        const std::uint64_t waiting = NowNs();
        changed_.wait(lock, [this] {
            return filling_->records.empty() || writer_ == Writer::kNone || failed_;
        });
        times_.room += NowNs() - waiting;
        parked_ = false;
    }
    if (writer_ != Writer::kNone || failed_ || filling_->records.empty()) return;
    if (drained && !full) {
        // Nothing more waits in the pipe: written here, without waking anybody.
        writer_ = Writer::kReader;
        lock.unlock();
        const std::uint64_t ready = NowNs() - read_ns_;
        std::uint64_t took = 0;
        const bool ok = WriteGroup(*filling_, took);
        lock.lock();
        writer_ = Writer::kNone;
        failed_ = failed_ || !ok;
        times_.writing += took;
        ++times_.groups;
        ++times_.at_once;
        times_.at_once_reading += read_ns_ - waited_ns_;
        times_.at_once_ready += ready;
        times_.at_once_storing += stored_ns_ - read_ns_;
        times_.at_once_writing += took;
        return;
    }
    std::swap(filling_, other_);
    writer_ = Writer::kThread;
    work_.notify_one();
}

bool PipeWriter::WriteGroup(Group& group, std::uint64_t& took) {
    scrivlet::Error error;
    const std::uint64_t start = NowNs();
    const bool ok = ring_.write(group.records.data(), group.records.size(), error);
    took = NowNs() - start;
    if (ok) lines_.fetch_add(group.records.size(), std::memory_order_relaxed);
    if (!ok) std::cerr << "scrivlet write: writing the lines failed: " << error.message() << "\n";
    group.records.clear();
    group.used = 0;
    // A group that grew for one long line goes back to its size.
    if (group.capacity > group_bytes_) Allocate(group.bytes, group.capacity, group_bytes_);
    return ok;
}

void PipeWriter::WriterLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return writer_ == Writer::kThread || quit_; });
        if (writer_ != Writer::kThread) return;
        Group& group = *other_;
        lock.unlock();
        std::uint64_t took = 0;
        const bool ok = WriteGroup(group, took);
        lock.lock();
        failed_ = failed_ || !ok;
        times_.writing += took;
        ++times_.groups;
        // The reading thread waits: its group goes out at once, without waking anybody first.
        if (!failed_ && parked_ && !filling_->records.empty()) {
            std::swap(filling_, other_);
        } else {
            writer_ = Writer::kNone;
        }
        changed_.notify_one();
    }
}

void PipeWriter::Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return writer_ == Writer::kNone; });
    if (!failed_ && !filling_->records.empty()) {
        lock.unlock();
        std::uint64_t took = 0;
        const bool ok = WriteGroup(*filling_, took);
        lock.lock();
        failed_ = !ok;
        times_.writing += took;
        ++times_.groups;
    }
    quit_ = true;
    lock.unlock();
    work_.notify_one();
    thread_.join();
}

}  // namespace scrivlet::tool
