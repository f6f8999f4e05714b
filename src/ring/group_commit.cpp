// Group commit (see group_commit.h): handing records in, leading, waiting and waking.
//
// mutex_ guards the two buffers, the leadership and each caller's pending count; a caller sleeps
// on its own condition variable, so that the end of a group wakes exactly the callers whose
// records it held (and, when there is more to write, the one caller that leads next) rather than
// every thread on a machine with fewer cores than writers.
#include "ring/group_commit.h"

#include <cstring>

#include "error_info.h"
#include "ring/text.h"

namespace scrivlet {
namespace detail {
namespace {}  // namespace

GroupCommit::GroupCommit(GroupSink& sink, std::size_t capacity, std::size_t max_records)
    : sink_(sink), capacity_(capacity), max_records_(max_records), outcomes_(max_records) {
    for (Buffer* buffer : {&waiting_, &writing_}) {
        buffer->bytes.reset(new char[capacity]);
        buffer->sizes.reserve(max_records);
        buffer->owners.reserve(max_records);
    }
}

std::size_t GroupCommit::StoredSize(std::string_view record, Encoding encoding) {
    return encoding == Encoding::kRaw ? record.size() : Utf16LineSize(record);
}

std::uint64_t GroupCommit::Records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

std::uint64_t GroupCommit::Groups() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return groups_;
}

std::uint64_t GroupCommit::Waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_.sizes.size();
}

bool GroupCommit::Fits(std::size_t stored) const {
    return waiting_.used + stored <= capacity_ && waiting_.sizes.size() < max_records_;
}

void GroupCommit::Append(std::string_view record, Encoding encoding, std::size_t stored,
                         Waiter& waiter) {
    if (gathering_ && waiting_.callers + 1 >= last_callers_) gather_.notify_one();
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

void GroupCommit::Wake(Waiter& waiter, bool lead) {
    // Notified while holding the waiter's mutex: the waiter returns (and its stack goes) only
    // after it has seen the flag under that mutex.
    std::lock_guard<std::mutex> lock(waiter.mutex);
    (lead ? waiter.lead : waiter.done) = true;
    waiter.wake.notify_one();
}

bool GroupCommit::Submit(const std::string_view* records, std::size_t count, Encoding encoding,
                         Info& error) {
    Waiter me;
    std::unique_lock<std::mutex> lock(mutex_);
    bool leading = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t stored = StoredSize(records[i], encoding);
        if (stored > sink_.Room() || stored > capacity_) {
            Info refusal{};
            sink_.Refuse(stored, refusal);
            KeepFirstFailure(me.info, refusal);
            continue;
        }
        while (!Fits(stored)) {
            // The waiting group is full: it is written first, by its leader, or by this caller
            // when nobody leads.
            if (!leader_) leader_ = leading = true;
            if (leading) {
                WriteWaitingGroup(lock);
            } else {
                space_.wait(lock);
            }
        }
        Append(records[i], encoding, stored, me);
    }
    me.appending = false;
    if (me.pending > 0 && !leading && !leader_) leader_ = leading = true;
    if (me.pending > 0 && !leading) {
        lock.unlock();
        {
            std::unique_lock<std::mutex> wait(me.mutex);
            me.wake.wait(wait, [&me] { return me.done || me.lead; });
            leading = me.lead && !me.done;
        }
        if (leading) lock.lock();
    }
    if (leading) Lead(lock, me);
    if (lock.owns_lock()) lock.unlock();
    bool released;
    {
        std::lock_guard<std::mutex> wait(me.mutex);
        released = me.done;
    }
    if (released && --returning_ == 0) {
        lock.lock();
        if (gathering_) gather_.notify_one();
        lock.unlock();
    }
    KeepFirstFailure(error, me.info);
    return (me.info.uiErrorSet & 1u) == 0;
}

void GroupCommit::Lead(std::unique_lock<std::mutex>& lock, Waiter& waiter) {
    while (waiter.pending > 0) {
        WaitForLateCallers(lock);
        WriteWaitingGroup(lock);
    }
    // Hand on to the first caller of the waiting group that waits for it (one still handing
    // records in writes the group itself when it finds it full, or leads once it is done).
    for (Waiter* next : waiting_.owners) {
        if (!next->appending) {
            Wake(*next, true);
            return;
        }
    }
    leader_ = false;
    space_.notify_all();
}

void GroupCommit::WaitForLateCallers(std::unique_lock<std::mutex>& lock) {
    // The callers of the last group come back with their next records once they have been
    // scheduled: wait until the waiting group is as large as that group was, or every one of
    // them has left (those that do not come back cost no more than getting the processor once).
    // A caller alone never waits here.
    gathering_ = true;
    gather_.wait(lock, [this] { return waiting_.callers >= last_callers_ || returning_ == 0; });
    gathering_ = false;
}

void GroupCommit::WriteWaitingGroup(std::unique_lock<std::mutex>& lock) {
    std::swap(waiting_, writing_);
    waiting_.used = 0;
    waiting_.sizes.clear();
    waiting_.owners.clear();
    waiting_.callers = 0;
    last_callers_ = writing_.callers;
    space_.notify_all();
    const std::size_t count = writing_.sizes.size();
    lock.unlock();

    for (std::size_t i = 0; i < count; ++i) outcomes_[i] = Info{};
    sink_.WriteGroup(Group{writing_.bytes.get(), writing_.sizes.data(), count}, outcomes_.data());

    lock.lock();
    records_ += count;
    ++groups_;
    for (std::size_t i = 0; i < count; ++i) {
        Waiter& owner = *writing_.owners[i];
        if ((outcomes_[i].uiErrorSet & 1u) != 0) KeepFirstFailure(owner.info, outcomes_[i]);
        --owner.pending;
    }
    // Each caller's records in a group lie in one run: wake it at the end of its run, and touch
    // it no more, since it may return at once.
    for (std::size_t i = 0; i < count; ++i) {
        Waiter& owner = *writing_.owners[i];
        const bool run_ends = i + 1 == count || writing_.owners[i + 1] != &owner;
        if (run_ends && owner.pending == 0 && !owner.appending) {
            ++returning_;
            Wake(owner, false);
        }
    }
}

}  // namespace detail
}  // namespace scrivlet
