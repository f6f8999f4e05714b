// The order of a ring's files (see order.h).
#include "scrivlet/reading/order.h"

#include <algorithm>

#include "scrivlet/format.h"

namespace scrivlet::reading {
namespace {

using Files = std::vector<FileFacts>;

struct Older {
    const Files& files;

    bool ByModified(std::size_t a, std::size_t b) const {
        if (files[a].mtime != files[b].mtime) return files[a].mtime < files[b].mtime;
        return files[a].number < files[b].number;
    }
    bool ByStamp(std::size_t a, std::size_t b) const {
        if (files[a].first_stamp != files[b].first_stamp) {
            return files[a].first_stamp < files[b].first_stamp;
        }
        return ByModified(a, b);
    }
};

// Counter order: runs of counters that follow each other, the runs ordered by first stamp.
void OrderByCounter(const Files& files, std::vector<std::size_t>& order) {
    const Older older{files};
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (files[a].counter_value != files[b].counter_value) {
            return files[a].counter_value < files[b].counter_value;
        }
        return older.ByStamp(a, b);
    });
    std::vector<std::vector<std::size_t>> runs;
    bool from_one = false;  // the counters so far follow each other from 1
    for (std::size_t i : order) {
        const bool follows =
            !runs.empty() &&
            format::NextCounter(files[runs.back().back()].counter_value) == files[i].counter_value;
        // A writer that starts afresh counts from 1 again in files 1, 2, ... and leaves the higher
        // counters of the writers before it in the files it has not reached: among counters that
        // follow each other from 1, a file begun before the one counted before it is older.
        const bool earlier = follows && from_one && !files[i].first_stamp.empty() &&
                             files[i].first_stamp < files[runs.back().back()].first_stamp;
        if (!follows) from_one = files[i].counter_value == 1;
        if (!follows || earlier) runs.emplace_back();
        runs.back().push_back(i);
    }
    // The counter's wrap: a run ending at the largest counter goes on with the run that starts
    // at the counter that follows it.
    if (runs.size() > 1 && format::NextCounter(files[runs.back().back()].counter_value) ==
                               files[runs.front().front()].counter_value) {
        runs.back().insert(runs.back().end(), runs.front().begin(), runs.front().end());
        runs.erase(runs.begin());
    }
    std::stable_sort(runs.begin(), runs.end(),
                     [&](const std::vector<std::size_t>& a, const std::vector<std::size_t>& b) {
                         return older.ByStamp(a.front(), b.front());
                     });
    order.clear();
    for (const auto& run : runs) order.insert(order.end(), run.begin(), run.end());
}

}  // namespace

const char* OrderKeyName(OrderKey key) {
    switch (key) {
        case OrderKey::kCounter:
            return "counter";
        case OrderKey::kStamp:
            return "first time stamp";
        default:
            return "modification time";
    }
}

OrderKey OrderOldestFirst(const Files& files, std::vector<std::size_t>& order) {
    const Older older{files};
    std::vector<std::size_t> empty;
    order.clear();
    bool all_counters = true;
    bool all_stamps = true;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].size == 0) {
            empty.push_back(i);
            continue;
        }
        order.push_back(i);
        all_counters = all_counters && files[i].counter;
        all_stamps = all_stamps && !files[i].first_stamp.empty();
    }
    std::sort(empty.begin(), empty.end(),
              [&](std::size_t a, std::size_t b) { return older.ByModified(a, b); });
    OrderKey key = OrderKey::kModified;
    if (all_counters) {
        key = OrderKey::kCounter;
        OrderByCounter(files, order);
    } else if (all_stamps) {
        key = OrderKey::kStamp;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return older.ByStamp(a, b); });
    } else {
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return older.ByModified(a, b); });
    }
    order.insert(order.end(), empty.begin(), empty.end());
    return key;
}

}  // namespace scrivlet::reading
