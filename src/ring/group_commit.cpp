// Group commit (see group_commit.h): handing records in, writing a complete group, waiting and
// waking.
//
// mutex_ guards the two buffers, the flight of a write, the group's expected callers and each
// caller's pending count. A caller sleeps on a condition variable of its own, so that the end of a
// write wakes exactly the callers whose records it held, rather than every thread on a machine
// with fewer cores than writers; it wakes them after letting mutex_ go, and a released caller goes
// on without taking mutex_ again, so that the callers of a group do not queue for it one by one
// (each turn of such a queue is a wake-up of its own). A sleeping caller is woken to write only
// when the group became complete without a caller running: the last released caller left without
// coming back.
#include "ring/group_commit.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "error_info.h"
#include "ring/text.h"

namespace scrivlet {
namespace detail {
namespace {

// How often a caller asked to write lets the last released caller come back first.
const int kLeaverYields = 16;

// The released callers of a group that are woken after the lock is let go (on the writer's
// stack); any more are woken before.
const std::size_t kWakeAfterLock = 64;

// A write quicker than this costs less than waking a caller to gather a group (a few context
// switches): the next write is made without gathering.
const std::uint64_t kQuickWriteNs = 20000;

std::uint64_t NowNs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

}  // namespace

GroupCommit::GroupCommit(GroupSink& sink, std::size_t capacity, std::size_t max_records)
    : sink_(sink), capacity_(capacity), max_records_(max_records) {
    for (Buffer* buffer : {&waiting_, &writing_}) {
        buffer->bytes.reset(new char[capacity]);
        buffer->sizes.reserve(max_records);
        buffer->owners.reserve(max_records);
    }
}

// The failures of a group's records, kept with their callers: with each record's own, or with
// the one caller whose records the group holds.
class GroupCommit::OwnerFailures final : public Failures {
  public:
    OwnerFailures(Waiter* const* owners, Waiter* only) : owners_(owners), only_(only) {}
    void Fail(std::size_t from, std::size_t to, const Info& info) override {
        for (std::size_t i = from; i < to; ++i) {
            KeepFirstFailure((only_ != nullptr ? *only_ : *owners_[i]).written, info);
        }
    }

  private:
    Waiter* const* owners_;
    Waiter* only_;
};

std::size_t GroupCommit::StoredSize(std::string_view record, Encoding encoding) {
    return encoding == Encoding::kRaw ? record.size() : Utf16LineSize(record);
}

GroupCommit::Counts GroupCommit::Totals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Counts counts = counts_;
    counts.waiting = waiting_.sizes.size();
    return counts;
}

void GroupCommit::WriteStarts(std::uint64_t now_ns) {
    if (released_ns_ == 0 && first_back_ns_.load(std::memory_order_relaxed) == 0) return;
    const std::uint64_t first = first_back_ns_.exchange(0);
    const std::uint64_t last = last_back_ns_.exchange(0);
    if (released_ns_ != 0 && first >= released_ns_ && last >= first && now_ns >= last) {
        ++counts_.cycles;
        counts_.wake_ns += first - released_ns_;
        counts_.turns_ns += last - first;
        counts_.back_ns += now_ns - last;
    }
    released_ns_ = 0;
}

void GroupCommit::WriteEnded(std::uint64_t start_ns, std::uint64_t end_ns, bool woke) {
    counts_.write_ns += end_ns - start_ns;
    if (woke) released_ns_ = end_ns;
}

void GroupCommit::Back() {
    const std::uint64_t now = NowNs();
    std::uint64_t none = 0;
    first_back_ns_.compare_exchange_strong(none, now);
    for (std::uint64_t last = last_back_ns_.load();
         last < now && !last_back_ns_.compare_exchange_weak(last, now);) {
    }
}

void GroupCommit::Wake(Waiter& waiter, bool lead) {
    waiter.touched.store(true, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> sleep(waiter.sleep);
        waiter.woken = true;
        (lead ? waiter.lead : waiter.released) = true;
    }
    // Notified after letting its mutex go, so that it does not wake only to wait for it.
    waiter.wake.notify_one();
    waiter.touched.store(false, std::memory_order_release);
}

bool GroupCommit::Fits(std::size_t stored) const {
    return waiting_.used + stored <= capacity_ && waiting_.sizes.size() < max_records_;
}

bool GroupCommit::BackToBack(const std::string_view* records, std::size_t count) const {
    const std::size_t limit = std::min(sink_.Room(), capacity_);
    for (std::size_t i = 0; i < count; ++i) {
        if (records[i].size() > limit ||
            (i > 0 && records[i - 1].data() + records[i - 1].size() != records[i].data())) {
            return false;
        }
    }
    return count > 0;
}

void GroupCommit::Append(std::string_view record, Encoding encoding, std::size_t stored,
                         Waiter& waiter) {
    char* at = waiting_.bytes.get() + waiting_.used;
    if (encoding == Encoding::kRaw) {
        if (stored != 0) std::memcpy(at, record.data(), stored);
    } else {
        StoreUtf16Line(record, at);
    }
    waiting_.used += stored;
    if (waiting_.owners.empty() || waiting_.owners.back() != &waiter) ++waiting_.callers;
    waiting_.sizes.push_back(static_cast<std::uint32_t>(stored));
    waiting_.owners.push_back(&waiter);
    ++waiter.pending;
}

bool GroupCommit::Ready() const {
    return !in_flight_ && !waiting_.sizes.empty() &&
           (quick_writes_ || waiting_.callers >= expected_ || returning_ == 0);
}

void GroupCommit::AskForWriter() {
    // A caller still handing records in writes the group itself when it finds it full.
    for (Waiter* owner : waiting_.owners) {
        if (!owner->appending) {
            Wake(*owner, true);
            return;
        }
    }
}

bool GroupCommit::Submit(const std::string_view* records, std::size_t count, Encoding encoding,
                         Info& error) {
    Waiter me;
    std::unique_lock<std::mutex> lock(mutex_);
    // Alone: nothing in flight or waiting, and no released caller expected back.
    if (encoding == Encoding::kRaw && !in_flight_ && waiting_.sizes.empty() &&
        (quick_writes_ || expected_ <= 1 || returning_ == 0) && BackToBack(records, count)) {
        WriteOwn(records, count, lock, me);
        count = 0;  // all written
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t stored = StoredSize(records[i], encoding);
        if (stored > sink_.Room() || stored > capacity_) {
            Info refusal{};
            sink_.Refuse(stored, refusal);
            KeepFirstFailure(me.info, refusal);
            continue;
        }
        // A full waiting group is written first: by this caller when nothing is in flight.
        while (!Fits(stored)) {
            if (in_flight_) {
                space_.wait(lock);
            } else {
                WriteWaitingGroup(lock, me);
                lock.lock();
            }
        }
        Append(records[i], encoding, stored, me);
    }
    me.appending = false;
    bool done = me.pending == 0;
    bool asked = false;
    while (!done) {
        // Asked to write because the last released caller left: it may be on its way back with
        // its next record, so give it the processor a few times while the group is short of it.
        for (int yields = 0;
             asked && yields < kLeaverYields && !in_flight_ && waiting_.callers < expected_;
             ++yields) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
        if (Ready()) {
            // The group this caller completed (or was asked to write).
            done = WriteWaitingGroup(lock, me);
            if (!done) lock.lock();
            continue;
        }
        lock.unlock();
        {
            std::unique_lock<std::mutex> sleep(me.sleep);
            me.wake.wait(sleep, [&me] { return me.woken; });
            me.woken = false;
            done = me.released;
            asked = me.lead;
            me.lead = false;
        }
        while (me.touched.load(std::memory_order_acquire)) std::this_thread::yield();
        if (done) {
            Back();  // released: on its way without the lock
            break;
        }
        lock.lock();
    }
    // Released by a write, its own or another's (me.done, under the lock, is this thread's to
    // read only while it holds the lock, or after the writer told it).
    const bool released = done && (!lock.owns_lock() || me.done);
    if (lock.owns_lock()) lock.unlock();
    // The last released caller to leave completes the waiting group of those that are back.
    if (released && --returning_ == 0) {
        lock.lock();
        if (Ready()) AskForWriter();
        lock.unlock();
    }
    KeepFirstFailure(me.info, me.written);
    KeepFirstFailure(error, me.info);
    return (me.info.uiErrorSet & 1u) == 0;
}

bool GroupCommit::WriteWaitingGroup(std::unique_lock<std::mutex>& lock, const Waiter& me) {
    std::swap(waiting_, writing_);
    waiting_.used = 0;
    waiting_.sizes.clear();
    waiting_.owners.clear();
    waiting_.callers = 0;
    in_flight_ = true;
    space_.notify_all();
    const std::size_t count = writing_.sizes.size();

    OwnerFailures failures(writing_.owners.data(), nullptr);
    const Cycle cycle = WriteOut(Group{writing_.bytes.get(), writing_.sizes.data(), nullptr, count},
                                 failures, lock);
    for (std::size_t i = 0; i < count; ++i) --writing_.owners[i]->pending;
    // Each caller's records in a group lie in one run: release it at the end of its run. The
    // first kWakeAfterLock are woken once the lock is let go; any more at once.
    std::size_t released = 0;
    Waiter* wake[kWakeAfterLock];
    std::size_t woken = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Waiter& owner = *writing_.owners[i];
        const bool run_ends = i + 1 == count || writing_.owners[i + 1] != &owner;
        if (run_ends && owner.pending == 0 && !owner.appending) {
            ++released;
            ++returning_;
            owner.done = true;
            if (&owner == &me) continue;  // this caller, running
            if (woken < kWakeAfterLock) {
                wake[woken++] = &owner;
            } else {
                Wake(owner, false);
            }
        }
    }
    // The next group is complete once the callers just released are back, beside those that
    // came during the write.
    expected_ = released + waiting_.callers;
    WriteEnded(cycle.started, cycle.ended, released > 1);
    space_.notify_all();
    if (Ready()) AskForWriter();
    const bool done = me.done;
    // Woken without the lock held: a released caller does not need it to go on.
    lock.unlock();
    for (std::size_t i = 0; i < woken; ++i) Wake(*wake[i], false);
    return done;
}

GroupCommit::Cycle GroupCommit::WriteOut(const Group& group, Failures& failures,
                                         std::unique_lock<std::mutex>& lock) {
    const bool hold_lock = quick_writes_;
    const std::uint64_t started = NowNs();
    WriteStarts(started);
    if (!hold_lock) lock.unlock();
    sink_.WriteGroup(group, failures);
    const std::uint64_t ended = NowNs();
    if (!hold_lock) lock.lock();
    quick_writes_ = ended - started < kQuickWriteNs;
    in_flight_ = false;
    counts_.records += group.count;
    ++counts_.groups;
    return Cycle{started, ended};
}

void GroupCommit::WriteOwn(const std::string_view* records, std::size_t count,
                           std::unique_lock<std::mutex>& lock, Waiter& me) {
    in_flight_ = true;
    OwnerFailures failures(nullptr, &me);
    const Cycle cycle = WriteOut(Group{records[0].data(), nullptr, records, count}, failures, lock);
    WriteEnded(cycle.started, cycle.ended, false);
    // Released as the writer of a group: those that came during the write expect it back.
    me.done = true;
    ++returning_;
    expected_ = 1 + waiting_.callers;
    space_.notify_all();
    if (Ready()) AskForWriter();
}

}  // namespace detail
}  // namespace scrivlet
