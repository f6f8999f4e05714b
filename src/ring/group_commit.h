// Group commit: the waiting logic of scrivlet::Ring, apart from the files, so that a test can
// drive it with a sink of its own.
//
// Callers hand in records with Submit(). The records go into the waiting group, in arrival order,
// while the group before it is being written; each caller returns once the sink has returned for
// every one of its records. The group is written by the caller that completes it, which is
// running anyway: when a write ends, the callers it released are expected back with their next
// records, and the group is complete once they all are (or have all left, or, when no write is
// in flight and nobody was released, with the first record). So no caller is woken only to lead,
// and groups do not split into halves that take turns while the released callers are still being
// scheduled on a machine with fewer cores than writers. A caller alone never waits: its record
// completes its group at once. No timer is involved anywhere. Where a write takes less time than
// waking a caller (a RAM file system), gathering costs more than it saves: then each write is
// made with the lock held and nobody waits for anybody, until a write is slow again.
//
// A caller that finds nobody writing and nothing waiting, and whose records lie back to back in
// its own memory as they are to be stored, has them written from there: nothing is copied, and
// the group buffers are not touched (a host that prepares its records, like the pipe host, needs
// no memory of the ring's).
//
// Memory is fixed at construction: two buffers of capacity bytes and room for max_records
// records each, touched only as far as used. A caller whose record does not fit the waiting group
// waits for the next one.
#ifndef SCRIVLET_RING_GROUP_COMMIT_H
#define SCRIVLET_RING_GROUP_COMMIT_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "scrivlet/logfile.h"

namespace scrivlet {
namespace detail {

using Info = TQCLogFile_1::tagInfoData_1;

// How a record is stored: as its bytes, or as UTF-8 text turned into a UTF-16LE line (text.h).
enum class Encoding { kRaw, kUtf16Line };

// A group as the sink sees it: the stored records back to back, and their sizes, from a group
// buffer's sizes or from the views of a caller's own records.
struct Group {
    const char* bytes;
    const std::uint32_t* sizes;
    const std::string_view* views;  // when sizes is null
    std::size_t count;

    std::size_t Size(std::size_t i) const { return sizes != nullptr ? sizes[i] : views[i].size(); }
};

// Where a sink reports the records of a group that failed.
class Failures {
  public:
    // The records from to to (not included) failed with info.
    virtual void Fail(std::size_t from, std::size_t to, const Info& info) = 0;

  protected:
    ~Failures() = default;
};

class GroupSink {
  public:
    virtual ~GroupSink() = default;
    // Writes the group's records in order and reports those that fail. Runs on one thread at a
    // time.
    virtual void WriteGroup(const Group& group, Failures& failures) = 0;
    // The largest record the sink takes now (may be read while a group is written), and the
    // refusal of a larger one.
    virtual std::size_t Room() const = 0;
    virtual void Refuse(std::size_t stored, Info& info) const = 0;
};

class GroupCommit {
  public:
    GroupCommit(GroupSink& sink, std::size_t capacity, std::size_t max_records);
    GroupCommit(const GroupCommit&) = delete;
    GroupCommit& operator=(const GroupCommit&) = delete;

    // The stored size of a record.
    static std::size_t StoredSize(std::string_view record, Encoding encoding);

    // Hands in count records and returns once all are written: true when every one was, else
    // false with the first failure stored in error (a record that already holds one is left
    // alone). A record larger than the sink's room (or than Capacity()) is refused by the sink
    // and the others go on.
    bool Submit(const std::string_view* records, std::size_t count, Encoding encoding, Info& error);

    std::size_t Capacity() const { return capacity_; }

    // What the group commit has done since construction, and where its time went.
    struct Counts {
        std::uint64_t records = 0;  // given to the sink
        std::uint64_t groups = 0;
        std::uint64_t waiting = 0;   // records waiting for the next group now
        std::uint64_t write_ns = 0;  // in the sink
        // After each write that released sleeping callers: until the first of them ran again,
        // until the last of them did, and from then until the next write started.
        std::uint64_t cycles = 0;
        std::uint64_t wake_ns = 0;
        std::uint64_t turns_ns = 0;
        std::uint64_t back_ns = 0;
    };
    Counts Totals() const;

  private:
    // One caller, on its own stack while it waits. It sleeps on a condition of its own, so that
    // a released caller runs on without taking the ring's lock again.
    struct Waiter {
        bool done = false;        // every record of this caller has been written; under mutex_
        std::size_t pending = 0;  // records handed in and not yet written; under mutex_
        bool appending = true;    // still handing records in; under mutex_
        Info info{};              // the first refusal of its records; its own
        Info written{};           // the first failure of their writes; the group's writer's
        std::mutex sleep;
        std::condition_variable wake;
        bool woken = false;     // released or asked to lead, since it last woke; under sleep
        bool released = false;  // under sleep
        bool lead = false;      // under sleep
        // A waker still uses the waiter (it notifies after letting sleep go): the waiter does
        // not return before it is done.
        std::atomic<bool> touched{false};
    };
    class OwnerFailures;

    struct Buffer {
        std::unique_ptr<char[]> bytes;  // capacity_ bytes, touched only as far as used
        std::size_t used = 0;
        std::vector<std::uint32_t> sizes;
        std::vector<Waiter*> owners;  // the caller of each record
        std::size_t callers = 0;      // distinct callers with records here
    };

    bool Fits(std::size_t stored) const;
    // Whether the records lie back to back, each one taken as it is (no larger than the sink's
    // room and the capacity).
    bool BackToBack(const std::string_view* records, std::size_t count) const;
    // With the lock held, nothing in flight and nothing waiting: writes the caller's records from
    // its own memory as one group, and releases the caller as the writer of a group is
    // released.
    void WriteOwn(const std::string_view* records, std::size_t count,
                  std::unique_lock<std::mutex>& lock, Waiter& me);
    void Append(std::string_view record, Encoding encoding, std::size_t stored, Waiter& waiter);
    // Whether the waiting group is complete and nothing is in flight: it is to be written now.
    bool Ready() const;
    // With the lock held and nothing in flight: writes the waiting group (the lock is let go
    // while the sink writes), releases each caller whose records are all written and wakes them
    // after letting the lock go (the first kWakeAfterLock of them; any more before). Returns
    // without the lock, and whether me was released.
    bool WriteWaitingGroup(std::unique_lock<std::mutex>& lock, const Waiter& me);
    // With the lock held and the group in flight: has the sink write group, with the lock let go
    // unless the last write was quicker than waking a caller, and counts it as written. Returns
    // with the lock held, and when the write started and ended.
    struct Cycle {
        std::uint64_t started;
        std::uint64_t ended;
    };
    Cycle WriteOut(const Group& group, Failures& failures, std::unique_lock<std::mutex>& lock);
    // With the lock held: asks a caller of the waiting group to write it.
    void AskForWriter();
    // With the lock held, as a write starts and ends: the cycle's times into counts_.
    void WriteStarts(std::uint64_t now_ns);
    void WriteEnded(std::uint64_t start_ns, std::uint64_t end_ns, bool woke);
    // Wakes waiter, released or asked to lead (without the lock held, or with it).
    static void Wake(Waiter& waiter, bool lead);
    // A released caller runs again.
    void Back();

    GroupSink& sink_;
    const std::size_t capacity_;
    const std::size_t max_records_;

    mutable std::mutex mutex_;
    std::condition_variable space_;  // the waiting group was taken: there is room again
    Buffer waiting_;                 // the group that fills
    Buffer writing_;                 // the group being written
    bool in_flight_ = false;         // a group is being written
    // The last write was quicker than waking a caller: the next is made with the lock held, each
    // caller writing what waits, as a mutex-guarded log file would (see WriteWaitingGroup).
    bool quick_writes_ = false;
    std::size_t expected_ = 0;  // callers the waiting group is complete with
    // Callers told that their records are written and not yet gone: raised under mutex_, lowered
    // by each such caller as it leaves, which takes mutex_ only when it is the last.
    std::atomic<std::size_t> returning_{0};
    Counts counts_;  // records, groups and times; waiting is taken from waiting_
    // The end of the last write that woke callers (0 when there was none since the last start;
    // under mutex_), and when the first and the last of them ran again (0: none yet).
    std::uint64_t released_ns_ = 0;
    std::atomic<std::uint64_t> first_back_ns_{0};
    std::atomic<std::uint64_t> last_back_ns_{0};
};

}  // namespace detail
}  // namespace scrivlet

#endif  // SCRIVLET_RING_GROUP_COMMIT_H
